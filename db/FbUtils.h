#pragma once
// Identifier helpers, the named-parameter parser and the mapping of SQL
// types to field kinds. Everything here is a pure function of its inputs.
#include "db/FbTypes.h"

#include <string>
#include <string_view>
#include <vector>

/// Removes leading and trailing characters whose code is 32 or less.
std::string FbTrim(std::string_view s);

/// Removes trailing characters whose code is 32 or less.
std::string FbTrimRight(std::string_view s);

/// Upper-cases a Latin-1 text: a-z and the accented letters 0xE0-0xFE
/// (except the division sign 0xF7).
std::string FbUpperCase(std::string_view s);

/// The form under which parameter and column names are stored and looked
/// up: trimmed; in dialect 1 upper-cased; in other dialects a name starting
/// with a double quote loses its first and last character and has every
/// doubled double quote made single, any other name is upper-cased.
std::string NormalizeIdentifier(int dialect, std::string_view name);

/// An identifier as it is written into generated SQL: in dialect 1 trimmed
/// and upper-cased, in other dialects wrapped in double quotes, with every
/// double quote inside doubled (nothing trimmed).
std::string QuoteIdentifier(int dialect, std::string_view name);

/// What the named-parameter parser makes of a statement text.
struct TFbParsedSQL {
    /// The text for the server: every marker replaced by a single "?".
    std::string Text;
    /// The names of the markers as written (quotes removed), in order.
    std::vector<std::string> Names;
    /// 0 on success, otherwise the client error code of the detail text:
    /// 100 "EOF in comment detected", 101 "EOF in string detected",
    /// 102 "Parameter name expected". Text and Names are then incomplete.
    int Error = 0;
};

/// Replaces the named markers (":name", ':"name"') of `sql` by "?" and
/// collects their names. Strings in single or double quotes and /* */
/// comments are skipped; "--" opens no comment. The character right after
/// a name is copied unexamined. A marker without a name ("?" or ":" before a
/// non-name character) is named "FbParam0", "FbParam1", ... when
/// `inventNames` is true, otherwise it is error 102.
TFbParsedSQL ParseParams(std::string_view sql, bool inventNames);

/// The unique name of a result column: its alias, or "F_1" when the alias
/// is empty, with a counter appended (ID, ID1, ID2 ...; F_1, F_2 ...) while
/// the normalised name is among `taken` (normalised names of the earlier
/// columns). A name and counter that would reach 32 characters are cut to 31.
std::string UniqueColumnName(int dialect, std::string_view alias,
                             const std::vector<std::string>& taken);

/// The field kind of a described column or parameter (type code with or
/// without its nullable bit, scale 0 or negative, blob subtype, declared
/// length).
TFbFieldKind FieldKindOfColumn(int sqlType, int scale, int subType, int length);

/// The field kind of a catalog field definition (RDB$FIELD_TYPE,
/// RDB$FIELD_SCALE, RDB$FIELD_SUB_TYPE, RDB$FIELD_LENGTH).
TFbFieldKind FieldKindOfCatalogType(int fieldType, int scale, int subType, int length);

/// The text of a boolean value as the program shows it everywhere:
/// "SIM" or "N\xc3O".
const char* BooleanText(bool value);

/// A boolean typed as text: "True", "1", "S", "SIM" are true; "False",
/// "0", "N", "N\xc3O", "NAO" are false; case and surrounding blanks are
/// ignored. False (value untouched) for any other text.
bool TryTextToBoolean(std::string_view text, bool& value);

/// Name of a statement cursor: `name` followed by 8 random decimal digits.
std::string MakeCursorName(std::string_view name);
