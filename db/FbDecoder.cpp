#include "db/FbDecoder.h"

#include "rtl/format.h"
#include "rtl/parse.h"
#include "rtl/settings.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

// Days between 17 November 1858 (the engine's day 0) and 30 December 1899.
constexpr int kEngineDayOffset = 15018;
constexpr int kTimeUnitsPerSecond = 10000; // ISC_TIME counts 1/10000 s

// Powers of ten a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::int64_t kExactIntegers = std::int64_t{1} << 53;

std::int64_t powerOfTen(int n) {
    std::int64_t r = 1;
    while (n-- > 0)
        r *= 10;
    return r;
}

template <class T> T load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::string_view withoutPadding(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

double engineDate(ISC_DATE d) {
    return static_cast<double>(static_cast<int>(d) - kEngineDayOffset);
}

double engineTime(ISC_TIME t) {
    return static_cast<double>(t / kTimeUnitsPerSecond) / 86400.0;
}

/// The exact decimal of a scaled integer, as currency text writes it: the
/// regional decimal separator, no trailing zeros after it.
void appendExactDecimal(std::string& out, std::int64_t value, int decimals) {
    char buf[24];
    const auto magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const auto end = std::to_chars(buf, buf + sizeof buf, magnitude).ptr;
    std::string digits(static_cast<std::size_t>(decimals) + 1 > static_cast<std::size_t>(end - buf)
                           ? static_cast<std::size_t>(decimals) + 1 -
                                 static_cast<std::size_t>(end - buf)
                           : 0,
                       '0');
    digits.append(buf, end);
    const std::size_t whole = digits.size() - static_cast<std::size_t>(decimals);
    std::size_t last = digits.size();
    while (last > whole && digits[last - 1] == '0')
        --last;
    if (value < 0) out += '-';
    out.append(digits, 0, whole);
    if (last == whole) return;
    out += rtl::formatSettings().decimalSeparator;
    out.append(digits, whole, last - whole);
}

} // namespace

double FbScaledToDouble(std::int64_t value, int scale) {
    if (scale == 0) return static_cast<double>(value);
    const int decimals = -scale;
    // Both operands exact: one correctly rounded division gives the nearest
    // double. Otherwise the exact decimal is read, not a rounded quotient.
    if (decimals > 0 && decimals <= 22 && value > -kExactIntegers && value < kExactIntegers)
        return static_cast<double>(value) / kExactPowers[decimals];
    char buf[48];
    auto [end, ec] = std::to_chars(buf, buf + 24, value);
    *end++ = 'e';
    end = std::to_chars(end, buf + sizeof buf, scale).ptr;
    double r = 0;
    std::from_chars(buf, end, r);
    return r;
}

bool FbScaledToCurrency(std::int64_t value, int scale, rtl::Currency& out) {
    // More decimals than a 64-bit integer has digits is no value of a column.
    return rtl::Currency::tryFromScaled(value, -scale, out);
}

std::int64_t FbScaledToInt64(std::int64_t value, int scale) {
    if (scale >= 0) return value;
    // Integer division truncates toward zero; no 64-bit value reaches 10^19.
    if (-scale > 18) return 0;
    return value / powerOfTen(-scale);
}

double FbNumberToDouble(int sqlType, int scale, const void* p) {
    switch (sqlType) {
    case SQL_FLOAT:
        return load<float>(p);
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return load<double>(p);
    default:
        return FbScaledToDouble(FbScaledInt(sqlType, p), scale);
    }
}

void FbAppendNumberText(std::string& out, int sqlType, int scale, const void* p) {
    switch (sqlType) {
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        rtl::appendFloatToStr(out, FbNumberToDouble(sqlType, scale, p));
        return;
    default:
        break;
    }
    const std::int64_t v = FbScaledInt(sqlType, p);
    rtl::Currency c;
    if (scale == 0)
        rtl::appendIntToStr(out, v);
    else if (scale < -4 || scale > 0) // a positive scale only in a hostile descriptor
        rtl::appendFloatToStr(out, FbScaledToDouble(v, scale));
    else if (FbScaledToCurrency(v, scale, c))
        rtl::appendCurrToStr(out, c);
    else
        appendExactDecimal(out, v, -scale); // beyond currency's range, still exact
}

bool FbDoubleToInt64(double value, std::int64_t& out) {
    if (!std::isfinite(value)) return false;
    const double t = std::trunc(value);
    // -2^63 is exact; 2^63 is the first value out of range.
    if (t < -9223372036854775808.0 || t >= 9223372036854775808.0) return false;
    out = static_cast<std::int64_t>(t);
    return true;
}

bool FbDoubleToInt32(double value, std::int32_t& out) {
    std::int64_t v;
    return FbDoubleToInt64(value, v) && FbInt64ToInt32(v, out);
}

bool FbInt64ToInt32(std::int64_t value, std::int32_t& out) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return false;
    out = static_cast<std::int32_t>(value);
    return true;
}

rtl::TDateTime FbDateTimeOf(int sqlType, const void* p) {
    switch (sqlType) {
    case SQL_TYPE_DATE:
        return engineDate(load<ISC_DATE>(p));
    case SQL_TYPE_TIME:
        return engineTime(load<ISC_TIME>(p));
    default: {
        const auto ts = load<ISC_TIMESTAMP>(p);
        return rtl::combineDateTime(engineDate(ts.timestamp_date), engineTime(ts.timestamp_time));
    }
    }
}

bool FbTextToInt64(std::string_view text, std::int64_t& out) {
    return rtl::tryStrToInt64(withoutPadding(text), out);
}

bool FbTextToInt32(std::string_view text, std::int32_t& out) {
    return rtl::tryStrToInt(withoutPadding(text), out);
}

bool FbTextToDouble(std::string_view text, double& out) {
    return rtl::tryStrToFloat(withoutPadding(text), out);
}

bool FbTextToCurrency(std::string_view text, rtl::Currency& out) {
    return rtl::tryStrToCurr(withoutPadding(text), out);
}

bool FbTextToDateTime(std::string_view text, rtl::TDateTime& out) {
    return rtl::tryStrToDateTime(withoutPadding(text), out);
}
