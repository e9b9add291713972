// The named-parameter parser, identifier normalisation and result-column
// naming, as data tables: no database needed.
#include "db/FbSQL.h"
#include "db/FbUtils.h"

#include <cstring>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ParseCase {
    const char* story;
    std::string sql;
    bool invent;
    std::string text;
    std::vector<std::string> names;
};

// gtest would otherwise print the case's raw bytes, padding included.
void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.story;
}

class ParserTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParserTable, ReplacesMarkersAndCollectsNames) {
    const ParseCase& c = GetParam();
    TFbParsedSQL r = ParseParams(c.sql, c.invent);
    EXPECT_EQ(r.Error, 0) << c.story;
    EXPECT_EQ(r.Text, c.text) << c.story;
    EXPECT_EQ(r.Names, c.names) << c.story;
}

INSTANTIATE_TEST_SUITE_P(
    Markers, ParserTable,
    ::testing::Values(ParseCase{"a colon marker becomes one question mark",
                                "update T set A = :p0\r\n",
                                false,
                                "update T set A = ?\r\n",
                                {"p0"}},
                      ParseCase{"a quoted marker name loses its quotes",
                                "update T set A = :\"p 0\" where B = 1\r\n",
                                false,
                                "update T set A = ? where B = 1\r\n",
                                {"p 0"}},
                      ParseCase{"colon in a single-quoted string is text",
                                "select ':x' from T\r\n",
                                false,
                                "select ':x' from T\r\n",
                                {}},
                      ParseCase{"colon in a double-quoted identifier is text",
                                "select \":x\" from T\r\n",
                                false,
                                "select \":x\" from T\r\n",
                                {}},
                      ParseCase{"colon in a block comment is text",
                                "select /* :x */ 1 from T\r\n",
                                false,
                                "select /* :x */ 1 from T\r\n",
                                {}},
                      ParseCase{"a line comment is no comment",
                                "select 1 from T -- :x\r\n",
                                false,
                                "select 1 from T -- ?\r\n",
                                {"x"}},
                      ParseCase{"a doubled quote stays doubled inside a string",
                                "select 'it''s :x' from T where A = :a\r\n",
                                false,
                                "select 'it''s :x' from T where A = ?\r\n",
                                {"a"}},
                      ParseCase{"a quote right after a name opens no string",
                                "select :p0'x from T\r\n",
                                false,
                                "select ?'x from T\r\n",
                                {"p0"}},
                      ParseCase{"a colon right after a name is copied, not a marker",
                                "select :a:b from T\r\n",
                                false,
                                "select ?:b from T\r\n",
                                {"a"}},
                      ParseCase{"a comment opener right after a name is plain text",
                                "select :a/* :b */ from T\r\n",
                                false,
                                "select ?/* ? */ from T\r\n",
                                {"a", "b"}},
                      ParseCase{"the same marker twice gives two names",
                                "select * from T where A = :p or B = :p\r\n",
                                false,
                                "select * from T where A = ? or B = ?\r\n",
                                {"p", "p"}},
                      ParseCase{"names take letters, digits, underscore and dollar",
                                "insert into T values (:a_1$,:B)\r\n",
                                false,
                                "insert into T values (?,?)\r\n",
                                {"a_1$", "B"}},
                      ParseCase{"a name at the very end of the text",
                                "delete from T where A=:x",
                                false,
                                "delete from T where A=?",
                                {"x"}},
                      ParseCase{"nameless markers get invented names when asked",
                                "select * from T where A = ? and B = ?\r\n",
                                true,
                                "select * from T where A = ? and B = ?\r\n",
                                {"FbParam0", "FbParam1"}},
                      ParseCase{"plain text without markers passes unchanged",
                                "select * from T\r\n",
                                false,
                                "select * from T\r\n",
                                {}}));

struct ErrorCase {
    const char* story;
    std::string sql;
    int error;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.story;
}

class ParserErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParserErrors, ReportsTheDetailCode) {
    const ErrorCase& c = GetParam();
    EXPECT_EQ(ParseParams(c.sql, false).Error, c.error) << c.story;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ParserErrors,
    ::testing::Values(ErrorCase{"a bare question mark", "select * from T where A = ?\r\n", 102},
                      ErrorCase{"a colon before a blank", "select * from T where A = : x\r\n", 102},
                      ErrorCase{"an unclosed comment", "select /* x from T\r\n", 100},
                      ErrorCase{"an unclosed string", "select 'abc from T\r\n", 101},
                      ErrorCase{"a string closed on the last character", "select 'abc'", 101}));

struct NameCase {
    int dialect;
    std::string in;
    std::string out;
};

TEST(Identifiers, NormalisedByDialect) {
    const NameCase cases[] = {
        {3, "p0", "P0"},           {3, "  p0  ", "P0"},       {3, "\"p0\"", "p0"},
        {3, " \"P0\" ", "P0"},     {3, "\"a\"\"b\"", "a\"b"}, {1, "\"p0\"", "\"P0\""},
        {1, "caf\xe9", "CAF\xc9"}, {3, "\xf7x", "\xf7X"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NormalizeIdentifier(c.dialect, c.in), c.out) << c.dialect << " " << c.in;
}

TEST(Identifiers, QuotedByDialect) {
    EXPECT_EQ(QuoteIdentifier(3, "Clientes"), "\"Clientes\"");
    // A quote inside the name is doubled, so the name reads back whole.
    EXPECT_EQ(QuoteIdentifier(3, " a\"b "), "\" a\"\"b \"");
    EXPECT_EQ(NormalizeIdentifier(3, QuoteIdentifier(3, "a\"\"b")), "a\"\"b");
    EXPECT_EQ(QuoteIdentifier(1, " clientes "), "CLIENTES");
}

TEST(ColumnNames, RepeatedAliasesGetCounters) {
    std::vector<std::string> taken;
    auto add = [&](const std::string& alias) {
        std::string name = UniqueColumnName(3, alias, taken);
        taken.push_back(NormalizeIdentifier(3, name));
        return name;
    };
    EXPECT_EQ(add("ID"), "ID");
    EXPECT_EQ(add("ID"), "ID1");
    EXPECT_EQ(add("ID"), "ID2");
    EXPECT_EQ(add(""), "F_1");
    EXPECT_EQ(add(""), "F_2");
    EXPECT_EQ(add("id"), "id3") << "lower-case alias clashes with ID after upper-casing";
}

TEST(ColumnNames, LongAliasIsCutToLeaveRoomForTheCounter) {
    const std::string alias31(31, 'A');
    std::vector<std::string> taken{alias31};
    EXPECT_EQ(UniqueColumnName(3, alias31, taken), std::string(30, 'A') + "1");
    const std::string alias30(30, 'B');
    taken = {alias30};
    EXPECT_EQ(UniqueColumnName(3, alias30, taken), std::string(30, 'B') + "1")
        << "30 characters plus one digit stay below 32";
    for (int i = 1; i <= 9; ++i)
        taken.push_back(NormalizeIdentifier(3, UniqueColumnName(3, alias30, taken)));
    EXPECT_EQ(UniqueColumnName(3, alias30, taken), std::string(29, 'B') + "10");
}

TEST(ColumnNames, DescribedColumnsWithoutAliasAreNamedAndWrittenBack) {
    TFbXSQLDA columns(nullptr, true);
    columns.SetCount(3);
    const char* aliases[] = {"", "F_1", ""};
    for (int i = 0; i < 3; ++i) {
        XSQLVAR* x = columns[i].Data();
        x->sqltype = SQL_LONG + 1;
        x->sqllen = 4;
        x->aliasname_length = static_cast<short>(std::strlen(aliases[i]));
        std::memcpy(x->aliasname, aliases[i], std::strlen(aliases[i]));
    }
    columns.Initialize();
    EXPECT_EQ(columns[0].Name(), "F_1");
    EXPECT_EQ(columns[1].Name(), "F_11") << "an alias F_1 taken already gets a counter too";
    EXPECT_EQ(columns[2].Name(), "F_2");
    EXPECT_EQ(columns[2].AliasName(), "F_2");
    EXPECT_EQ(columns.ByName("f_2"), &columns[2]);
    EXPECT_TRUE(columns[0].IsNullable());
}

TEST(Collections, CountChangesAndStoragePerType) {
    TFbXSQLDA params(nullptr, false);
    EXPECT_EQ(params.AsXSQLDA()->sqln, 0);
    params.SetCount(2);
    params[0].Data()->sqltype = SQL_VARYING;
    params[0].Data()->sqllen = 10;
    params[1].Data()->sqltype = SQL_NULL + 1;
    params[1].Data()->sqllen = 1;
    EXPECT_THROW(params.Initialize({"a", "b"}), EFbClientError) << "an unknown type is refused";
    params[1].Data()->sqltype = SQL_BOOLEAN + 1;
    params.Initialize({"a", "b"});
    EXPECT_EQ(params[1].FieldKind().DataType, ftBoolean) << "a Firebird 3 BOOLEAN is known";
    params[1].Data()->sqltype = SQL_TEXT;
    params.Initialize({"a", "b"});
    EXPECT_EQ(params.Names(), (std::vector<std::string>{"A", "B"}));
    EXPECT_FALSE(params[0].IsNullable());
    EXPECT_EQ(params[0].Data()->sqlind, nullptr);
    params.SetCount(40);
    EXPECT_TRUE(params.Names().empty()) << "a new count forgets the names";
    EXPECT_EQ(params.AsXSQLDA()->sqln, 40);
    EXPECT_EQ(params.AsXSQLDA()->sqld, 40);
    EXPECT_EQ(params[0].Data(), &params.AsXSQLDA()->sqlvar[0]) << "holders follow the new area";
    EXPECT_EQ(params[0].Data()->sqllen, 10) << "entries survive the growth";
    params.SetCount(0);
    EXPECT_THROW(params[0], EFbClientError);
}

TEST(CursorNames, ComponentNameAndEightDigits) {
    std::string n = MakeCursorName("sql");
    ASSERT_EQ(n.size(), 11u);
    EXPECT_EQ(n.substr(0, 3), "sql");
    for (char c : n.substr(3))
        EXPECT_TRUE(c >= '0' && c <= '9');
}

} // namespace
