#pragma once
// Text to values, with the regional formats. The try... forms return false
// and leave `out` unchanged; the others throw EConvertError with the classic
// message quoting the whole input as given.
#include "rtl/currency.h"
#include "rtl/datetime.h"
#include "rtl/settings.h"

#include <cstdint>
#include <string_view>

namespace rtl {

/// Optional leading and trailing blanks/control characters, an optional
/// sign, then decimal digits, or hexadecimal after "$" or "0x"/"0X".
/// Out-of-range values fail. Error: "'<s>' is not a valid integer value".
bool tryStrToInt(std::string_view s, std::int32_t& out);
std::int32_t strToInt(std::string_view s);
bool tryStrToInt64(std::string_view s, std::int64_t& out);
std::int64_t strToInt64(std::string_view s);

/// Optional blanks around; optional sign; digits with at most one regional
/// decimal separator (at least one digit in all); optional exponent "E"/"e"
/// with optional sign and digits. No thousands separators, no other decimal
/// separator. Error: "'<s>' is not a valid floating point value".
bool tryStrToFloat(std::string_view s, double& out, const FormatSettings& fs = formatSettings());
double strToFloat(std::string_view s, const FormatSettings& fs = formatSettings());

/// The same syntax read exactly into ten-thousandths (never through a double);
/// digits beyond four decimals are rounded half away from zero; out of the
/// Currency range fails. Error: "'<s>' is not a valid floating point value".
bool tryStrToCurr(std::string_view s, Currency& out, const FormatSettings& fs = formatSettings());
Currency strToCurr(std::string_view s, const FormatSettings& fs = formatSettings());

/// tryStrToFloat and tryStrToCurr that also read the regional thousands
/// separator in the integer part, between groups of three digits
/// ("-1.234.567,5" with Brazilian settings). A separator elsewhere fails.
bool tryStrToFloatGrouped(std::string_view s, double& out,
                          const FormatSettings& fs = formatSettings());
bool tryStrToCurrGrouped(std::string_view s, Currency& out,
                         const FormatSettings& fs = formatSettings());

/// A date of three numbers separated by the regional date separator, in the
/// order of d, m and y in shortDateFormat (two numbers: day and month of the
/// current year). Years below 100 written with at most two digits are
/// placed by twoDigitYearCenturyWindow. Blanks around the numbers are
/// allowed. Error: "'<s>' is not a valid date".
bool tryStrToDate(std::string_view s, TDateTime& out, const FormatSettings& fs = formatSettings());
TDateTime strToDate(std::string_view s, const FormatSettings& fs = formatSettings());

/// "h:n", "h:n:s" or "h:n:s.zzz" (regional time separator; the millisecond
/// part after the regional decimal separator or "."), optionally followed
/// or preceded by the regional AM/PM text or "AM"/"PM"/"A"/"P" (then hours
/// 1..12). Error: "'<s>' is not a valid time".
bool tryStrToTime(std::string_view s, TDateTime& out, const FormatSettings& fs = formatSettings());
TDateTime strToTime(std::string_view s, const FormatSettings& fs = formatSettings());

/// A date, optionally followed by blanks and a time; or a time alone (on day 0).
/// Error: "'<s>' is not a valid date and time".
bool tryStrToDateTime(std::string_view s, TDateTime& out,
                      const FormatSettings& fs = formatSettings());
TDateTime strToDateTime(std::string_view s, const FormatSettings& fs = formatSettings());

} // namespace rtl
