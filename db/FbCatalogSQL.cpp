// The catalog's queries: pure functions of their inputs.
#include "db/FbCatalogSQL.h"

#include "db/FbUtils.h"

namespace {

// A name as a record carries it: its length in bytes, ":" and its bytes,
// trailing blanks removed (catalog names are blank-padded CHARs). The length
// lets any character, separators included, stand in a name.
std::string lengthAndName(const std::string& column) {
    const std::string trimmed = "trim(trailing from " + column + ")";
    return "octet_length(" + trimmed + ") || ':' || " + trimmed;
}

// The stamp of the relation `r`: its format (every column added, dropped or
// changed makes a new one) and a sum over its index segments, which changes
// with every key and index added, dropped or changed. Sums do not depend on
// the order the rows come in.
std::string stampOf(const std::string& r) {
    return r +
           ".RDB$FORMAT || ':' || (select coalesce(sum(mod(hash(I.RDB$INDEX_NAME || '.' || "
           "S.RDB$FIELD_NAME || '.' || S.RDB$FIELD_POSITION || '.' || "
           "coalesce(I.RDB$UNIQUE_FLAG, 0) || '.' || coalesce(I.RDB$INDEX_INACTIVE, 0) || "
           "'.' || coalesce(C.RDB$CONSTRAINT_TYPE, '')), 1000000007)), 0) "
           "from RDB$INDICES I join RDB$INDEX_SEGMENTS S on S.RDB$INDEX_NAME = "
           "I.RDB$INDEX_NAME left join RDB$RELATION_CONSTRAINTS C on C.RDB$INDEX_NAME = "
           "I.RDB$INDEX_NAME where I.RDB$RELATION_NAME = " +
           r + ".RDB$RELATION_NAME)";
}

} // namespace

std::string FbCatalogSurveySQL(bool serverFacts) {
    // Text without a set, bytes and ASCII read alike in any single-byte set,
    // so only the other sets are counted.
    std::string sql =
        "select (select coalesce(C.RDB$CHARACTER_SET_ID, 0) from RDB$DATABASE D "
        "left join RDB$CHARACTER_SETS C on C.RDB$CHARACTER_SET_NAME = D.RDB$CHARACTER_SET_NAME), "
        "min(F.RDB$CHARACTER_SET_ID), max(F.RDB$CHARACTER_SET_ID)";
    if (serverFacts)
        sql += ", (select MON$SQL_DIALECT from MON$DATABASE), "
               "rdb$get_context('SYSTEM', 'ENGINE_VERSION')";
    sql += " from RDB$RELATION_FIELDS RF "
           "join RDB$RELATIONS R on R.RDB$RELATION_NAME = RF.RDB$RELATION_NAME "
           "join RDB$FIELDS F on F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
           "where coalesce(R.RDB$SYSTEM_FLAG, 0) = 0 and (F.RDB$FIELD_TYPE in (14, 37) or "
           "(F.RDB$FIELD_TYPE = 261 and F.RDB$FIELD_SUB_TYPE = 1)) "
           "and coalesce(F.RDB$CHARACTER_SET_ID, 0) not in (0, 1, 2)";
    return sql;
}

std::string FbCatalogTableNamesSQL(bool includeSystemTables, bool stamped) {
    if (!stamped)
        return std::string(
                   "SELECT RDB$RELATION_NAME FROM RDB$RELATIONS WHERE RDB$VIEW_BLR IS NULL") +
               (includeSystemTables ? "" : " AND RDB$SYSTEM_FLAG = 0");
    std::string sql = "select R.RDB$RELATION_NAME, " + stampOf("R") +
                      " from RDB$RELATIONS R where R.RDB$VIEW_BLR is null";
    if (!includeSystemTables) sql += " and R.RDB$SYSTEM_FLAG = 0";
    return sql;
}

std::string FbCatalogTableFactsSQL(bool oneRow) {
    // A column: C position,type,subtype,scale,length,precision,set,computed,
    // not null,has default,name;  an index segment: I unique,primary,
    // position,index name,field name;
    const std::string records =
        "with P as (select cast(? as varchar(252) character set UNICODE_FSS) as NAME "
        "from RDB$DATABASE), "
        "REC as (select 'C' || coalesce(RF.RDB$FIELD_POSITION, 0) || ',' || F.RDB$FIELD_TYPE || "
        "',' || coalesce(F.RDB$FIELD_SUB_TYPE, 0) || ',' || coalesce(F.RDB$FIELD_SCALE, 0) || ',' "
        "|| coalesce(F.RDB$FIELD_LENGTH, 0) || ',' || coalesce(F.RDB$FIELD_PRECISION, 0) || ',' "
        "|| coalesce(F.RDB$CHARACTER_SET_ID, 0) || ',' || iif(F.RDB$COMPUTED_BLR is null, 0, 1) "
        "|| ',' || coalesce(RF.RDB$NULL_FLAG, F.RDB$NULL_FLAG, 0) || ',' || "
        "iif(RF.RDB$DEFAULT_VALUE is null and F.RDB$DEFAULT_VALUE is null, 0, 1) || ',' || " +
        lengthAndName("RF.RDB$FIELD_NAME") +
        " || ';' as TXT "
        "from P join RDB$RELATION_FIELDS RF on RF.RDB$RELATION_NAME = P.NAME "
        "join RDB$FIELDS F on F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
        "union all "
        "select 'I' || coalesce(I.RDB$UNIQUE_FLAG, 0) || ',' || "
        "iif(C.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY', 1, 0) || ',' || "
        "coalesce(S.RDB$FIELD_POSITION, 0) || ',' || " +
        lengthAndName("I.RDB$INDEX_NAME") + " || ',' || " + lengthAndName("S.RDB$FIELD_NAME") +
        " || ';' "
        "from P join RDB$INDICES I on I.RDB$RELATION_NAME = P.NAME "
        "join RDB$INDEX_SEGMENTS S on S.RDB$INDEX_NAME = I.RDB$INDEX_NAME "
        "left join RDB$RELATION_CONSTRAINTS C on C.RDB$INDEX_NAME = I.RDB$INDEX_NAME) ";
    const std::string head = "select R.RDB$SYSTEM_FLAG, R.RDB$DBKEY_LENGTH, " + stampOf("R") + ", ";
    if (oneRow)
        return records + head + "(select cast(list(TXT, '') as varchar(" +
               std::to_string(kFbFactsBytes) +
               ") character set OCTETS) from REC) "
               "from P join RDB$RELATIONS R on R.RDB$RELATION_NAME = P.NAME";
    return records + head +
           "REC.TXT from P join RDB$RELATIONS R on R.RDB$RELATION_NAME = P.NAME "
           "cross join REC";
}

std::string FbCatalogRelationName(int dialect, const std::string& table) {
    return NormalizeIdentifier(dialect, QuoteIdentifier(dialect, table));
}
