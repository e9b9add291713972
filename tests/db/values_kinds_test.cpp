// Field kinds of described columns and of catalog field definitions.
#include "db/FbUtils.h"

#include <gtest/gtest.h>
#include <ibase.h>

namespace {

struct KindCase {
    const char* story;
    int sqlType, scale, subType, length;
    TFbFieldKind kind;
};

TEST(FieldKinds, OfDescribedColumns) {
    const KindCase cases[] = {
        {"CHAR(5)", SQL_TEXT, 0, 0, 5, {ftString, 5, 0}},
        {"nullable VARCHAR(40)", SQL_VARYING + 1, 0, 0, 40, {ftString, 40, 0}},
        {"SMALLINT", SQL_SHORT, 0, 0, 2, {ftSmallint, 0, 0}},
        {"NUMERIC(4,1)", SQL_SHORT, -1, 0, 2, {ftBCD, 1, 4}},
        {"INTEGER", SQL_LONG + 1, 0, 0, 4, {ftInteger, 0, 0}},
        {"NUMERIC(9,2)", SQL_LONG, -2, 0, 4, {ftBCD, 2, 9}},
        {"NUMERIC(9,4)", SQL_LONG, -4, 0, 4, {ftBCD, 4, 9}},
        {"NUMERIC(9,5)", SQL_LONG, -5, 0, 4, {ftFloat, 0, 0}},
        {"BIGINT", SQL_INT64, 0, 0, 8, {ftLargeint, 0, 0}},
        {"NUMERIC(18,4)", SQL_INT64, -4, 0, 8, {ftBCD, 4, 18}},
        {"NUMERIC(18,6)", SQL_INT64, -6, 0, 8, {ftFloat, 0, 0}},
        {"FLOAT", SQL_FLOAT, 0, 0, 4, {ftFloat, 0, 0}},
        {"DOUBLE PRECISION", SQL_DOUBLE, 0, 0, 8, {ftFloat, 0, 0}},
        {"DATE", SQL_TYPE_DATE, 0, 0, 4, {ftDate, 0, 0}},
        {"TIME", SQL_TYPE_TIME, 0, 0, 4, {ftTime, 0, 0}},
        {"TIMESTAMP (also DATE of dialect 1)", SQL_TIMESTAMP, 0, 0, 8, {ftDateTime, 0, 0}},
        {"text blob", SQL_BLOB, 0, 1, 8, {ftMemo, 0, 0}},
        {"binary blob", SQL_BLOB, 0, 0, 8, {ftBlob, 0, 0}},
        {"other blob subtype", SQL_BLOB, 0, 5, 8, {ftBlob, 0, 0}},
        {"array", SQL_ARRAY, 0, 0, 8, {ftUnknown, 0, 0}},
        {"quad", SQL_QUAD, 0, 0, 8, {ftUnknown, 0, 0}},
        {"D_FLOAT", SQL_D_FLOAT, 0, 0, 8, {ftUnknown, 0, 0}},
        {"nullable BOOLEAN", SQL_BOOLEAN + 1, 0, 0, 1, {ftBoolean, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FieldKindOfColumn(c.sqlType, c.scale, c.subType, c.length), c.kind) << c.story;
}

TEST(FieldKinds, OfCatalogTypeCodes) {
    const KindCase cases[] = {
        {"7 smallint", 7, 0, 0, 2, {ftSmallint, 0, 0}},
        {"7 scaled", 7, -2, 0, 2, {ftBCD, 2, 4}},
        {"8 integer", 8, 0, 0, 4, {ftInteger, 0, 0}},
        {"8 scaled", 8, -3, 0, 4, {ftBCD, 3, 9}},
        {"8 scaled beyond 4", 8, -6, 0, 4, {ftFloat, 0, 0}},
        {"9 quad", 9, 0, 0, 8, {ftUnknown, 8, 0}},
        {"10 float", 10, 0, 0, 4, {ftFloat, 0, 0}},
        {"11 d_float", 11, 0, 0, 8, {ftFloat, 0, 0}},
        {"27 double", 27, 0, 0, 8, {ftFloat, 0, 0}},
        {"12 date", 12, 0, 0, 4, {ftDate, 0, 0}},
        {"13 time", 13, 0, 0, 4, {ftTime, 0, 0}},
        {"14 char", 14, 0, 0, 10, {ftString, 10, 0}},
        {"37 varchar", 37, 0, 0, 60, {ftString, 60, 0}},
        {"16 bigint", 16, 0, 0, 8, {ftLargeint, 0, 0}},
        {"16 scaled", 16, -2, 0, 8, {ftBCD, 2, 18}},
        {"16 scaled beyond 4", 16, -8, 0, 8, {ftFloat, 0, 0}},
        {"35 timestamp", 35, 0, 0, 8, {ftDateTime, 0, 0}},
        {"261 text blob", 261, 0, 1, 8, {ftMemo, 0, 0}},
        {"261 binary blob", 261, 0, 0, 8, {ftBlob, 0, 0}},
        {"23 boolean", 23, 0, 0, 1, {ftBoolean, 0, 0}},
        {"24 is no type the program knows", 24, 0, 0, 16, {ftUnknown, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FieldKindOfCatalogType(c.sqlType, c.scale, c.subType, c.length), c.kind)
            << c.story;
}

TEST(FieldKinds, IdentifiersAsTheFrameworkWritesThem) {
    EXPECT_STREQ(FieldTypeName(ftString), "ftString");
    EXPECT_STREQ(FieldTypeName(ftBCD), "ftBCD");
    EXPECT_STREQ(FieldTypeName(ftLargeint), "ftLargeint");
    EXPECT_STREQ(FieldTypeName(static_cast<TFieldType>(99)), "ftUnknown");
}

} // namespace
