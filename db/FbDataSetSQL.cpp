// Text generation for the table dataset: pure functions of their inputs.
#include "db/FbTable.h"
#include "db/FbUtils.h"

#include <algorithm>
#include <array>

namespace {

const char* const kLineEnd = "\r\n";

std::string selectHead(int dialect, std::string_view table) {
    std::string q = QuoteIdentifier(dialect, table);
    return "select " + q + ".*, RDB$DB_KEY as FB_INTERNAL_DBKEY from " + q;
}

std::vector<std::string> splitFields(std::string_view list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(';', start);
        if (end == std::string_view::npos) end = list.size();
        std::string_view part = list.substr(start, end - start);
        if (!FbTrim(part).empty()) out.emplace_back(part);
        start = end + 1;
    }
    return out;
}

// Firebird 3's reserved words, sorted: as a plain name each of them would be
// read as the keyword. Its other keywords are fine as names.
// clang-format off
constexpr std::array<std::string_view, 198> kReservedWords{
    "ADD", "ADMIN", "ALL", "ALTER", "AND", "ANY", "AS", "AT", "AVG", "BEGIN", "BETWEEN", "BIGINT",
    "BIT_LENGTH", "BLOB", "BOOLEAN", "BOTH", "BY", "CASE", "CAST", "CHAR", "CHARACTER",
    "CHARACTER_LENGTH", "CHAR_LENGTH", "CHECK", "CLOSE", "COLLATE", "COLUMN", "COMMIT", "CONNECT",
    "CONSTRAINT", "CORR", "COUNT", "COVAR_POP", "COVAR_SAMP", "CREATE", "CROSS", "CURRENT",
    "CURRENT_CONNECTION", "CURRENT_DATE", "CURRENT_ROLE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
    "CURRENT_TRANSACTION", "CURRENT_USER", "CURSOR", "DATE", "DAY", "DEC", "DECIMAL", "DECLARE",
    "DEFAULT", "DELETE", "DELETING", "DETERMINISTIC", "DISCONNECT", "DISTINCT", "DOUBLE", "DROP",
    "ELSE", "END", "ESCAPE", "EXECUTE", "EXISTS", "EXTERNAL", "EXTRACT", "FALSE", "FETCH", "FILTER",
    "FLOAT", "FOR", "FOREIGN", "FROM", "FULL", "FUNCTION", "GDSCODE", "GLOBAL", "GRANT", "GROUP",
    "HAVING", "HOUR", "IN", "INDEX", "INNER", "INSENSITIVE", "INSERT", "INSERTING", "INT",
    "INTEGER", "INTO", "IS", "JOIN", "LEADING", "LEFT", "LIKE", "LOCALTIME", "LOCALTIMESTAMP",
    "LONG", "LOWER", "MAX", "MERGE", "MIN", "MINUTE", "MONTH", "NATIONAL", "NATURAL", "NCHAR", "NO",
    "NOT", "NULL", "NUMERIC", "OCTET_LENGTH", "OF", "OFFSET", "ON", "ONLY", "OPEN", "OR", "ORDER",
    "OUTER", "OVER", "PARAMETER", "PLAN", "POSITION", "POST_EVENT", "PRECISION", "PRIMARY",
    "PROCEDURE", "RDB$DB_KEY", "RDB$RECORD_VERSION", "REAL", "RECORD_VERSION", "RECREATE",
    "RECURSIVE", "REFERENCES", "REGR_AVGX", "REGR_AVGY", "REGR_COUNT", "REGR_INTERCEPT", "REGR_R2",
    "REGR_SLOPE", "REGR_SXX", "REGR_SXY", "REGR_SYY", "RELEASE", "RETURN", "RETURNING_VALUES",
    "RETURNS", "REVOKE", "RIGHT", "ROLLBACK", "ROW", "ROWS", "ROW_COUNT", "SAVEPOINT", "SCROLL",
    "SECOND", "SELECT", "SENSITIVE", "SET", "SIMILAR", "SMALLINT", "SOME", "SQLCODE", "SQLSTATE",
    "START", "STDDEV_POP", "STDDEV_SAMP", "SUM", "TABLE", "THEN", "TIME", "TIMESTAMP", "TO",
    "TRAILING", "TRIGGER", "TRIM", "TRUE", "UNION", "UNIQUE", "UNKNOWN", "UPDATE", "UPDATING",
    "UPPER", "USER", "USING", "VALUE", "VALUES", "VARCHAR", "VARIABLE", "VARYING", "VAR_POP",
    "VAR_SAMP", "VIEW", "WHEN", "WHERE", "WHILE", "WITH", "YEAR"};
// clang-format on
static_assert(std::is_sorted(kReservedWords.begin(), kReservedWords.end()),
              "binary_search below needs the words in order, none missing");

// A name the parser reads back as itself: a letter, then letters, digits,
// "_" or "$", all upper case (the parser upper-cases plain names), and no
// reserved word.
bool plainName(std::string_view name) {
    if (name.empty() || name[0] < 'A' || name[0] > 'Z') return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$'))
            return false;
    return !std::binary_search(kReservedWords.begin(), kReservedWords.end(), name);
}

// The parameter marker named after a column. A quoted parameter name ends at
// its next double quote, so a quote inside the column's name cannot travel in
// it: the parameter then carries the name without its quotes.
std::string parameterFor(int dialect, std::string_view field) {
    std::string name(field);
    std::erase(name, '"');
    return ":" + QuoteIdentifier(dialect, name);
}

} // namespace

std::string FbTableNameInSQL(int dialect, std::string_view name) {
    // Dialect 1 has no quoted names: the name goes as it always went.
    if (dialect == 1 || plainName(name)) return std::string(name);
    return QuoteIdentifier(dialect, name);
}

std::vector<std::string> FbTableReplicateSQL(int dialect, std::string_view table,
                                             std::string_view column, std::string_view filter,
                                             bool filtered) {
    std::vector<std::string> lines{"update " + FbTableNameInSQL(dialect, table) + " set " +
                                   FbTableNameInSQL(dialect, column) + " = :p0"};
    // The grid shows every row when the condition is empty, so the UPDATE
    // must not gain a bare " where " then.
    if (filtered && !filter.empty()) lines.push_back(" where " + std::string(filter));
    return lines;
}

std::string FbTableClearSQL(int dialect, std::string_view table) {
    return "delete from " + FbTableNameInSQL(dialect, table);
}

std::string FbTableOrderText(int dialect, std::string_view fieldList, bool descending) {
    if (FbTrim(fieldList).empty()) return {};
    const char* const direction = descending ? " desc" : "";
    std::string out;
    if (dialect == 1) {
        // Dialect 1 names are case-insensitive: the list is normalised as a whole.
        const std::string t = FbUpperCase(FbTrim(fieldList));
        if (!descending) {
            for (char c : t) {
                if (c == ';')
                    out += ", ";
                else
                    out += c;
            }
            return out;
        }
        for (const std::string& f : splitFields(t)) {
            if (!out.empty()) out += ", ";
            out += FbTrim(f) + direction;
        }
        return out;
    }
    for (const std::string& f : splitFields(fieldList)) {
        if (!out.empty()) out += ", ";
        out += QuoteIdentifier(dialect, f);
        out += direction;
    }
    return out;
}

std::string FbTableSelectSQL(int dialect, std::string_view table, std::string_view filter,
                             bool filtered, std::string_view orderFieldList, bool descending) {
    std::string sql = selectHead(dialect, table);
    if (filtered && !filter.empty()) {
        sql += kLineEnd;
        sql += " where ";
        sql += filter;
    }
    std::string orderText = FbTableOrderText(dialect, orderFieldList, descending);
    if (!orderText.empty()) {
        sql += kLineEnd;
        sql += " order by ";
        sql += orderText;
    }
    return sql;
}

std::string FbTableCountSQL(int dialect, std::string_view table, std::string_view filter,
                            bool filtered) {
    std::string sql = "select count(*) from " + QuoteIdentifier(dialect, table);
    if (filtered && !filter.empty()) {
        sql += kLineEnd;
        sql += " where ";
        sql += filter;
    }
    return sql;
}

std::string FbTableRefreshSQL(int dialect, std::string_view table) {
    return selectHead(dialect, table) + " where RDB$DB_KEY = :FB_INTERNAL_DBKEY";
}

std::string FbTableDeleteSQL(int dialect, std::string_view table) {
    return "delete from " + QuoteIdentifier(dialect, table) +
           " where RDB$DB_KEY = :FB_INTERNAL_DBKEY";
}

std::string FbTableInsertSQL(int dialect, std::string_view table,
                             const std::vector<std::string>& fields) {
    std::string names, values;
    for (const std::string& f : fields) {
        if (!names.empty()) {
            names += ", ";
            values += ", ";
        }
        names += QuoteIdentifier(dialect, f);
        values += parameterFor(dialect, f);
    }
    return "insert into " + QuoteIdentifier(dialect, table) + " (" + names + ") values (" + values +
           ")";
}

std::string FbTableModifySQL(int dialect, std::string_view table,
                             const std::vector<std::string>& fields) {
    std::string pairs;
    for (const std::string& f : fields) {
        if (!pairs.empty()) pairs += ", ";
        pairs += QuoteIdentifier(dialect, f) + " = " + parameterFor(dialect, f);
    }
    return "update " + QuoteIdentifier(dialect, table) + " set " + pairs +
           " where RDB$DB_KEY = :FB_INTERNAL_DBKEY";
}
