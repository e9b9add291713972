#pragma once
// The value decoder of the column types that have no exact counterpart among
// the dataset's field kinds: 128-bit integers and the numerics of 19 to 38
// digits built on them, decimal floating point, times and timestamps with a
// time zone, and byte strings (text in OCTETS). Servers that know those types
// are asked to send them as their exact text (FbExactBindingsSQL); the
// decoder turns that text into the regional text the user reads and back.
// Their native forms, which a client library that knows them passes through,
// are decoded here as well, to the same text the server would give.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// How a column's value is read when it is none of the classic kinds.
enum class TFbExactKind : unsigned char {
    None,
    Decimal,     ///< INT128, NUMERIC/DECIMAL(19..38, s): digits with a point
    DecFloat,    ///< DECFLOAT(16/34): digits, point, exponent, special values
    TimeTz,      ///< TIME WITH TIME ZONE: "hh:mm:ss.ffff zone"
    TimestampTz, ///< TIMESTAMP WITH TIME ZONE: "yyyy-mm-dd hh:mm:ss.ffff zone"
    Octets       ///< CHAR/VARCHAR in OCTETS (BINARY, VARBINARY): raw bytes
};

/// Native type codes of Firebird 4 and later (without the nullable bit).
enum : int {
    FbSqlInt128 = 32752,
    FbSqlDecFloat16 = 32760,
    FbSqlDecFloat34 = 32762,
    FbSqlTimeTz = 32756,
    FbSqlTimestampTz = 32754,
    FbSqlTimeTzEx = 32750,
    FbSqlTimestampTzEx = 32748
};

/// The kind of a catalog column (RDB$FIELD_TYPE and its character set):
/// 26 INT128 (and the numerics built on it), 24/25 DECFLOAT, 28/29 TIME and
/// TIMESTAMP WITH TIME ZONE, a CHAR/VARCHAR in OCTETS (set 1).
TFbExactKind FbExactKindOfCatalog(int fieldType, int charSetId);
/// The kind of a native described type; None for every classic type.
TFbExactKind FbExactKindOfSQLType(int sqlType);
/// True for the native type codes the decoder reads (FbNativeText).
bool FbIsNativeExactType(int sqlType);

/// The statements that ask a server of Firebird 4 or later for the exact
/// text of every type above (none for older servers, whose attachment stays
/// as it is). `serverVersion` is the engine version ("4.0.5").
std::vector<std::string> FbExactBindingsSQL(std::string_view serverVersion);

/// The server's text of a native value: `sqlType` without the nullable bit,
/// `scale` the described scale, `data` the described bytes (16 for INT128,
/// 8/16 for DECFLOAT, 8/12 for TIME WITH TIME ZONE and its extended form,
/// 12/16 for the timestamps). Zones are given as the offset the value
/// carries (the extended forms) or as the zone's id when only that is known.
/// Empty when `size` does not fit the type.
std::string FbNativeText(int sqlType, int scale, const unsigned char* data, std::size_t size);
/// A scaled 128-bit little-endian integer as digits with a point.
std::string FbInt128Text(const unsigned char* data, int scale);
/// A decimal64 (8 bytes) or decimal128 (16 bytes), little-endian, in its
/// densely packed encoding, as scientific text ("1.5E+300", "-0", "0.001",
/// "Infinity", "NaN", "sNaN").
std::string FbDecFloatText(const unsigned char* data, std::size_t size);

/// The regional text of a value of `kind` whose server text is `text`:
/// decimal separator (and, when `grouped`, thousands separators) of the
/// regional settings, dates and times in the regional short date and long
/// time formats with the fraction of a second when there is one, and the
/// zone; OCTETS as two upper-case hexadecimal digits per byte. Text that is
/// not what the server gives passes unchanged.
void FbAppendExactText(std::string& out, TFbExactKind kind, std::string_view text, bool grouped);
std::string FbExactText(TFbExactKind kind, std::string_view text, bool grouped = false);

/// The server's text of a value the user typed in the regional form: the
/// inverse of FbAppendExactText (thousands separators dropped, the decimal
/// separator a point, dates to yyyy-mm-dd, hexadecimal digits to bytes).
/// False when the text is not such a value; `out` then holds the text as
/// typed, for the server to judge.
bool FbExactTextForServer(TFbExactKind kind, std::string_view typed, std::string& out);

// Text read as a boolean: TryTextToBoolean (FbUtils.h), defined with the
// decoder, the one rule of the statement's and the dataset's readers.
