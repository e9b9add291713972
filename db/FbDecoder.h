#pragma once
// The decoder of the classic numeric and date-time types: one set of
// conversions over a value's type code, scale and bytes (the server's wire
// form), read alike by a dataset's fields, which keep those bytes in the
// record cache, and by a statement's entries, which hold them in their
// descriptors. Texts read as numbers and dates here too. The readers keep
// their own way of failing; the values they give are the decoder's.
#include "rtl/currency.h"
#include "rtl/datetime.h"

#include <ibase.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

/// The integer a SHORT, LONG or INT64 holds at `p`,
/// which needs no alignment.
inline std::int64_t FbScaledInt(int sqlType, const void* p) {
    switch (sqlType) {
    case SQL_SHORT: {
        std::int16_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case SQL_LONG: {
        std::int32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    default: {
        std::int64_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    }
}

/// The double nearest to the exact decimal `value` * 10^`scale`.
double FbScaledToDouble(std::int64_t value, int scale);
/// `value` * 10^`scale` as currency, decimals beyond the fourth rounded half
/// away from zero; false when it does not fit.
bool FbScaledToCurrency(std::int64_t value, int scale, rtl::Currency& out);
/// `value` * 10^`scale` truncated toward zero (no 64-bit overflow for scale <= 0).
std::int64_t FbScaledToInt64(std::int64_t value, int scale);
/// The double of a SHORT, LONG, INT64 (scaled), FLOAT, DOUBLE or D_FLOAT.
double FbNumberToDouble(int sqlType, int scale, const void* p);
/// The number of a SHORT, LONG or INT64 (scaled), FLOAT, DOUBLE or D_FLOAT
/// as text: whole numbers without decimals, scales of up to four decimals as
/// currency text, the rest as a float's text (regional decimal separator).
void FbAppendNumberText(std::string& out, int sqlType, int scale, const void* p);

/// A double truncated toward zero; false when not finite or out of range.
bool FbDoubleToInt64(double value, std::int64_t& out);
bool FbDoubleToInt32(double value, std::int32_t& out);
/// A 64-bit integer in 32 bits; false when out of range.
bool FbInt64ToInt32(std::int64_t value, std::int32_t& out);

/// A DATE, TIME or TIMESTAMP as a date-time, proleptic
/// Gregorian from 0001-01-01 to 9999-12-31; fractions of a second dropped.
rtl::TDateTime FbDateTimeOf(int sqlType, const void* p);

/// Stored text read as a number or a date-time in the regional settings;
/// trailing blanks (a CHAR's padding) are not part of the value.
bool FbTextToInt64(std::string_view text, std::int64_t& out);
bool FbTextToInt32(std::string_view text, std::int32_t& out);
bool FbTextToDouble(std::string_view text, double& out);
bool FbTextToCurrency(std::string_view text, rtl::Currency& out);
bool FbTextToDateTime(std::string_view text, rtl::TDateTime& out);
