#pragma once
// Values to text: format patterns for numbers and dates, the general float
// text, the currency texts and integer text. Every routine has an appending
// form (append...) that writes into a caller's buffer, for per-cell use
// without allocations, and a returning form. All take the regional settings
// explicitly, defaulting to the current set.
//
// A pattern is compiled once into a small program of steps and run for each
// value. NumberFormat and DateTimeFormat hold the program of one pattern;
// the routines taking a pattern keep the programs of the last few patterns
// each thread used, so passing the same pattern again costs a lookup.
#include "rtl/currency.h"
#include "rtl/datetime.h"
#include "rtl/settings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace rtl {

/// Number format pattern, up to three sections "positive;negative;zero"
/// (an empty or missing negative section uses the positive one with a
/// leading "-", an empty or missing zero section the positive one).
/// Letters:
///   0   a digit, or 0 when the value has none there
///   #   a digit, or nothing
///   .   the first one places the regional decimal separator; it is written
///       only when a decimal digit follows it
///   ,   anywhere among the integer placeholders: group the integer part by
///       thousands with the regional thousands separator
///   E+ E- e+ e-  followed by 1..4 zeros: scientific notation, the zeros
///       giving the minimum exponent digits; "+" always writes the sign,
///       "-" only for negative exponents
///   "x" 'x'  literal text; any other character is literal too
/// The value is taken at 15 significant digits and rounded to the pattern's
/// decimals half away from zero (so 1.005 with "0.00" is "1.01"). A value
/// that rounds to zero uses the zero section and carries no minus sign.
/// An empty pattern gives the general float text. NaN and infinities give
/// "NAN", "INF", "-INF".
void appendFormatFloat(std::string& out, std::string_view pattern, double value,
                       const FormatSettings& fs = formatSettings());
std::string formatFloat(std::string_view pattern, double value,
                        const FormatSettings& fs = formatSettings());

/// formatFloat for an exact currency amount: its four decimals are used as
/// they are, never through a double.
void appendFormatCurr(std::string& out, std::string_view pattern, Currency value,
                      const FormatSettings& fs = formatSettings());
std::string formatCurr(std::string_view pattern, Currency value,
                       const FormatSettings& fs = formatSettings());

namespace detail {
struct NumberProgram;
struct DateProgram;
} // namespace detail

/// A number pattern compiled once, for writing many values alike: gives
/// exactly the text of appendFormatFloat / appendFormatCurr with the same
/// pattern. Separators are read from the settings given at each call.
/// Copies share the compiled program.
class NumberFormat {
public:
    explicit NumberFormat(std::string pattern = "");

    const std::string& pattern() const { return pattern_; }
    void append(std::string& out, double value, const FormatSettings& fs = formatSettings()) const;
    void append(std::string& out, Currency value,
                const FormatSettings& fs = formatSettings()) const;

private:
    std::string pattern_;
    std::shared_ptr<const detail::NumberProgram> program_; // null for the empty pattern
};

/// General float text: the shortest text of at most 15 significant digits,
/// no trailing zeros or trailing separator, regional decimal separator, no
/// grouping. Scientific ("1.5E20", "1E-6": mantissa, "E", exponent with a
/// "-" only when negative and no leading zeros) when the integer part would
/// have more than 15 digits or the magnitude is below 0.00001. Zero is "0".
void appendFloatToStr(std::string& out, double value, const FormatSettings& fs = formatSettings());
std::string floatToStr(double value, const FormatSettings& fs = formatSettings());

/// Currency text (what a fixed-point value reads as text): exact, up to four
/// decimals with trailing zeros dropped, regional decimal separator, no
/// grouping, no symbol: 123.45 is "123,45" in Brazil, 100 is "100".
void appendCurrToStr(std::string& out, Currency value, const FormatSettings& fs = formatSettings());
std::string currToStr(Currency value, const FormatSettings& fs = formatSettings());

/// Regional currency text: symbol placed by currencyFormat/negCurrFormat,
/// thousands grouped, regional decimal separator, exactly `digits` decimals
/// (0..4, rounded half away from zero), at most `precision` significant
/// digits (further digits become zeros).
/// Brazilian: 1234.5 -> "R$ 1.234,50", -1234.5 -> "-R$ 1.234,50".
void appendCurrencyText(std::string& out, Currency value, int digits = 2, int precision = 12,
                        const FormatSettings& fs = formatSettings());
std::string currencyText(Currency value, int digits = 2, int precision = 12,
                         const FormatSettings& fs = formatSettings());
/// The same for a double (taken at 15 significant digits first).
void appendCurrencyText(std::string& out, double value, int digits = 2, int precision = 12,
                        const FormatSettings& fs = formatSettings());
std::string currencyText(double value, int digits = 2, int precision = 12,
                         const FormatSettings& fs = formatSettings());

/// Decimal digits, "-" before a negative value, no grouping.
void appendIntToStr(std::string& out, std::int64_t value);
std::string intToStr(std::int64_t value);

/// Date-time format pattern. Letters (case-insensitive):
///   c        short date, then a blank and the long time unless the time is midnight
///   d dd     day, without / with a leading zero
///   ddd dddd short / long day name; ddddd short date format; dddddd long date format
///   m mm     month (minutes when right after an h or hh letter)
///   mmm mmmm short / long month name
///   yy yyyy  two-digit / four-digit year (y counts as yy, yyy as yyyy)
///   h hh     hour (12-hour clock when an am/pm letter is in the pattern)
///   n nn     minute;  s ss second;  z zzz  milliseconds (zzz with leading zeros)
///   t tt     short / long time format
///   am/pm    "am" or "pm", a/p "a" or "p", each letter in the case written;
///   ampm     the regional AM or PM text
///   /  :     the regional date / time separator
///   "x" 'x'  literal text; any other character is literal too
/// An empty pattern behaves as "c". Values outside years 1..9999 give "".
void appendFormatDateTime(std::string& out, std::string_view pattern, TDateTime value,
                          const FormatSettings& fs = formatSettings());
std::string formatDateTime(std::string_view pattern, TDateTime value,
                           const FormatSettings& fs = formatSettings());

/// A date-time pattern compiled once, for writing many values alike (a grid
/// column, an exported field): gives exactly the text of
/// appendFormatDateTime with the same pattern and settings. The patterns it
/// names (c, ddddd, dddddd, t, tt) are taken from the settings given to the
/// constructor; separators, names and AM/PM texts are read from the settings
/// given at each call. A default-constructed format writes nothing. Copies
/// share the compiled program.
class DateTimeFormat {
public:
    DateTimeFormat() = default;
    explicit DateTimeFormat(std::string_view pattern, const FormatSettings& fs = formatSettings());

    void append(std::string& out, TDateTime value,
                const FormatSettings& fs = formatSettings()) const;
    std::string format(TDateTime value, const FormatSettings& fs = formatSettings()) const;

private:
    std::shared_ptr<const detail::DateProgram> program_;
};

/// The regional short date.
std::string dateToStr(TDateTime value, const FormatSettings& fs = formatSettings());
/// The regional long time.
std::string timeToStr(TDateTime value, const FormatSettings& fs = formatSettings());
/// Short date, a blank and the long time; the time is left out at midnight.
std::string dateTimeToStr(TDateTime value, const FormatSettings& fs = formatSettings());

} // namespace rtl
