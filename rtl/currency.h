#pragma once
// Fixed-point money: a signed 64-bit count of ten-thousandths, so amounts up
// to 922337203685477.5807 with four exact decimals.
#include <compare>
#include <cstdint>

namespace rtl {

class Currency {
public:
    static constexpr std::int64_t scale = 10000;

    constexpr Currency() = default;
    /// A whole amount (the count of units, not of ten-thousandths).
    static constexpr Currency fromUnits(std::int64_t units) { return fromRaw(units * scale); }
    /// `raw` ten-thousandths: fromRaw(12345) is 1.2345.
    static constexpr Currency fromRaw(std::int64_t raw) {
        Currency c;
        c.raw_ = raw;
        return c;
    }
    /// The double times 10000 rounded to the nearest integer (halves away
    /// from zero). False when the double is not finite or out of range.
    static bool tryFromDouble(double v, Currency& out);
    /// As tryFromDouble; throws EConvertError "'<v>' is not a valid floating
    /// point value" (general float text) when out of range.
    static Currency fromDouble(double v);
    /// `value` with `decimals` implied decimals (0..18), exactly:
    /// tryFromScaled(12345, 2, c) gives 123.45. Digits beyond four decimals
    /// are rounded half away from zero. False on overflow or bad `decimals`.
    static bool tryFromScaled(std::int64_t value, int decimals, Currency& out);

    constexpr std::int64_t raw() const { return raw_; }
    double toDouble() const { return static_cast<double>(raw_) / scale; }
    /// The whole units, truncated toward zero.
    constexpr std::int64_t units() const { return raw_ / scale; }

    constexpr auto operator<=>(const Currency&) const = default;
    constexpr Currency operator-() const { return fromRaw(-raw_); }
    constexpr Currency operator+(Currency o) const { return fromRaw(raw_ + o.raw_); }
    constexpr Currency operator-(Currency o) const { return fromRaw(raw_ - o.raw_); }

private:
    std::int64_t raw_ = 0;
};

} // namespace rtl
