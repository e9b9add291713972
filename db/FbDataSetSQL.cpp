// Text generation for the table dataset: pure functions of their inputs.
#include "db/FbTable.h"
#include "db/FbUtils.h"

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

} // namespace

std::string FbTableOrderText(int dialect, std::string_view fieldList) {
    if (FbTrim(fieldList).empty()) return {};
    if (dialect == 1) {
        // Dialect 1 names are case-insensitive: the list is normalised as a whole.
        std::string t = FbUpperCase(FbTrim(fieldList));
        std::string out;
        for (char c : t) {
            if (c == ';')
                out += ", ";
            else
                out += c;
        }
        return out;
    }
    std::string out;
    for (const std::string& f : splitFields(fieldList)) {
        if (!out.empty()) out += ", ";
        out += QuoteIdentifier(dialect, f);
    }
    return out;
}

std::string FbTableSelectSQL(int dialect, std::string_view table, std::string_view filter,
                             bool filtered, std::string_view orderFieldList) {
    std::string sql = selectHead(dialect, table);
    if (filtered && !filter.empty()) {
        sql += kLineEnd;
        sql += " where ";
        sql += filter;
    }
    std::string orderText = FbTableOrderText(dialect, orderFieldList);
    if (!orderText.empty()) {
        sql += kLineEnd;
        sql += " order by ";
        sql += orderText;
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
        std::string q = QuoteIdentifier(dialect, f);
        names += q;
        values += ":" + q;
    }
    return "insert into " + QuoteIdentifier(dialect, table) + " (" + names + ") values (" + values +
           ")";
}

std::string FbTableModifySQL(int dialect, std::string_view table,
                             const std::vector<std::string>& fields) {
    std::string pairs;
    for (const std::string& f : fields) {
        if (!pairs.empty()) pairs += ", ";
        std::string q = QuoteIdentifier(dialect, f);
        pairs += q + " = :" + q;
    }
    return "update " + QuoteIdentifier(dialect, table) + " set " + pairs +
           " where RDB$DB_KEY = :FB_INTERNAL_DBKEY";
}
