#include "rtl/currency.h"
#include "rtl/errors.h"
#include "rtl/format.h"

#include <cmath>
#include <limits>

namespace rtl {

bool Currency::tryFromDouble(double v, Currency& out) {
    if (!std::isfinite(v)) return false;
    double scaled = std::round(v * scale);
    // 2^63 is exactly representable; anything at or beyond it overflows.
    if (scaled >= 9223372036854775808.0 || scaled < -9223372036854775808.0) return false;
    out = fromRaw(static_cast<std::int64_t>(scaled));
    return true;
}

Currency Currency::fromDouble(double v) {
    Currency c;
    if (!tryFromDouble(v, c)) throwNotValid(floatToStr(v), "floating point value");
    return c;
}

bool Currency::tryFromScaled(std::int64_t value, int decimals, Currency& out) {
    if (decimals < 0 || decimals > 18) return false;
    if (decimals <= 4) {
        std::int64_t factor = 1;
        for (int i = decimals; i < 4; ++i)
            factor *= 10;
        std::int64_t r;
        if (__builtin_mul_overflow(value, factor, &r)) return false;
        out = fromRaw(r);
        return true;
    }
    std::int64_t divisor = 1;
    for (int i = 4; i < decimals; ++i)
        divisor *= 10;
    std::int64_t q = value / divisor;
    std::int64_t rem = value % divisor;
    // Half away from zero; |rem| * 2 cannot overflow since divisor <= 10^14.
    if (rem < 0 ? -rem * 2 >= divisor : rem * 2 >= divisor) q += value < 0 ? -1 : 1;
    out = fromRaw(q);
    return true;
}

} // namespace rtl
