#pragma once
// Internal: a number as decimal digits, shared by the formatting routines.
// value = (neg ? -1 : 1) * 0.d1d2...dn * 10^exp; n == 0 is zero.
#include "rtl/currency.h"

namespace rtl::detail {

struct Decimal {
    char digits[24];
    int n = 0;
    int exp = 0;
    bool neg = false;

    bool isZero() const { return n == 0; }
    /// The digit at `i` (0-based from the first significant one), '0' past the end.
    char at(int i) const { return i >= 0 && i < n ? digits[i] : '0'; }
};

/// A finite double at `precision` (1..17) significant digits, correctly
/// rounded (exact ties to even), trailing zeros dropped. Integer arithmetic
/// on the mantissa where it fits, else decimalFromDoubleGeneral.
Decimal decimalFromDouble(double v, int precision);
/// The same through the standard library's conversion: the reference the
/// integer path must match digit for digit.
Decimal decimalFromDoubleGeneral(double v, int precision);
/// An exact currency amount.
Decimal decimalFromCurrency(Currency c);
/// Rounds half away from zero keeping `keep` leading digits (keep <= 0 rounds
/// to zero or, with a first digit of 5 or more at keep == 0, to one unit of
/// the next higher place). Trailing zeros are dropped afterwards.
void roundDigits(Decimal& d, int keep);
/// Rounds to `decimals` places after the decimal point.
inline void roundDecimals(Decimal& d, int decimals) {
    roundDigits(d, d.exp + decimals);
}

} // namespace rtl::detail
