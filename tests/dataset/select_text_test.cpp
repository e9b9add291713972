// The statement texts a table generates, by dialect, filter and order.
#include "db/FbTable.h"

#include <gtest/gtest.h>

namespace {

struct SelectCase {
    const char* story;
    int dialect;
    const char* table;
    const char* filter;
    bool filtered;
    const char* order;
    const char* expected;
};

TEST(SelectText, LinesByDialectFilterAndOrder) {
    const SelectCase cases[] = {
        {"dialect 3 with a key", 3, "CLIENTES", "", false, "ID",
         "select \"CLIENTES\".*, RDB$DB_KEY as FB_INTERNAL_DBKEY from \"CLIENTES\"\r\n"
         " order by \"ID\""},
        {"no key: one line", 3, "CLIENTES", "", false, "",
         "select \"CLIENTES\".*, RDB$DB_KEY as FB_INTERNAL_DBKEY from \"CLIENTES\""},
        {"filter without Filtered is left out", 3, "T", "A = 1", false, "",
         "select \"T\".*, RDB$DB_KEY as FB_INTERNAL_DBKEY from \"T\""},
        {"Filtered with an empty filter adds nothing", 3, "T", "", true, "",
         "select \"T\".*, RDB$DB_KEY as FB_INTERNAL_DBKEY from \"T\""},
        {"filter kept as given, line breaks too", 3, "T", "A = 1\r\n AND B = 2", true, "A;B",
         "select \"T\".*, RDB$DB_KEY as FB_INTERNAL_DBKEY from \"T\"\r\n"
         " where A = 1\r\n AND B = 2\r\n order by \"A\", \"B\""},
        {"dialect 3 keeps case and blanks", 3, "Vendas 2024", "", false, "Id",
         "select \"Vendas 2024\".*, RDB$DB_KEY as FB_INTERNAL_DBKEY from \"Vendas 2024\"\r\n"
         " order by \"Id\""},
        {"dialect 1 upper-cases and quotes nothing", 1, " clientes ", "id > 2", true, "id;nome",
         "select CLIENTES.*, RDB$DB_KEY as FB_INTERNAL_DBKEY from CLIENTES\r\n"
         " where id > 2\r\n order by ID, NOME"},
    };
    for (const SelectCase& c : cases)
        EXPECT_EQ(FbTableSelectSQL(c.dialect, c.table, c.filter, c.filtered, c.order), c.expected)
            << c.story;
}

TEST(SelectText, OrderTextFromAFieldList) {
    EXPECT_EQ(FbTableOrderText(3, ""), "");
    EXPECT_EQ(FbTableOrderText(3, "B;A"), "\"B\", \"A\"");
    EXPECT_EQ(FbTableOrderText(1, " b;a "), "B, A");
}

struct OrderCase {
    int dialect;
    const char* fields;
    bool descending;
    const char* expected;
};

TEST(SelectText, OrderTextByDialectAndDirection) {
    const OrderCase cases[] = {
        {3, "NOME;ID", false, "\"NOME\", \"ID\""},
        {3, "NOME;ID", true, "\"NOME\" desc, \"ID\" desc"},
        {3, "Nome Completo", true, "\"Nome Completo\" desc"},
        {3, "minusculas;ORDER", false, "\"minusculas\", \"ORDER\""},
        {3, "PRE\xc7O", false, "\"PRE\xc7O\""},
        {3, "A\"B", false, "\"A\"\"B\""},
        {3, "A\"B;C", true, "\"A\"\"B\" desc, \"C\" desc"},
        {3, "", true, ""},
        {1, "nome;id", false, "NOME, ID"},
        {1, " nome ; id ", true, "NOME desc, ID desc"},
        {1, "", true, ""},
    };
    for (const OrderCase& c : cases)
        EXPECT_EQ(FbTableOrderText(c.dialect, c.fields, c.descending), c.expected)
            << c.dialect << " " << c.fields << " " << c.descending;
    EXPECT_EQ(FbTableSelectSQL(3, "T", "A = 1", true, "NOME;ID", true),
              "select \"T\".*, RDB$DB_KEY as FB_INTERNAL_DBKEY from \"T\"\r\n"
              " where A = 1\r\n order by \"NOME\" desc, \"ID\" desc");
}

TEST(SelectText, ModificationStatementsOverTheWritableFields) {
    const std::vector<std::string> fields{"ID", "Nome"};
    EXPECT_EQ(FbTableRefreshSQL(3, "T"), "select \"T\".*, RDB$DB_KEY as FB_INTERNAL_DBKEY from "
                                         "\"T\" where RDB$DB_KEY = :FB_INTERNAL_DBKEY");
    EXPECT_EQ(FbTableDeleteSQL(3, "T"), "delete from \"T\" where RDB$DB_KEY = :FB_INTERNAL_DBKEY");
    EXPECT_EQ(FbTableInsertSQL(3, "T", fields),
              "insert into \"T\" (\"ID\", \"Nome\") values (:\"ID\", :\"Nome\")");
    EXPECT_EQ(FbTableModifySQL(3, "T", fields),
              "update \"T\" set \"ID\" = :\"ID\", \"Nome\" = :\"Nome\" where RDB$DB_KEY = "
              ":FB_INTERNAL_DBKEY");
    EXPECT_EQ(FbTableInsertSQL(1, "t", {"a"}), "insert into T (A) values (:A)");
}

struct NameCase {
    int dialect;
    const char* name;
    const char* expected;
};

TEST(WritingStatements, NamesAreQuotedOnlyWhereAPlainNameWouldMeanSomethingElse) {
    const NameCase cases[] = {
        {3, "PRODUTO", "PRODUTO"},
        {3, "VALOR_2$", "VALOR_2$"},
        {3, "KEY", "KEY"}, // a keyword, but not a reserved one
        {3, "minusculas", "\"minusculas\""},
        {3, "Preco", "\"Preco\""},
        {3, "nome com espaco", "\"nome com espaco\""},
        {3, "PRE\xc7O", "\"PRE\xc7O\""},
        {3, "VALOR-1", "\"VALOR-1\""},
        {3, "2024", "\"2024\""},
        {3, "_X", "\"_X\""},
        {3, "ORDER", "\"ORDER\""},
        {3, "POSITION", "\"POSITION\""},
        {3, "LOCALTIMESTAMP", "\"LOCALTIMESTAMP\""},
        {3, "A\"B", "\"A\"\"B\""},
        {1, "minusculas", "minusculas"},
        {1, "ORDER", "ORDER"},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(FbTableNameInSQL(c.dialect, c.name), c.expected) << c.dialect << " " << c.name;
}

TEST(WritingStatements, ReplicationAndClearingTexts) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(FbTableReplicateSQL(3, "PRODUTO", "PRECO", "", false),
              Lines{"update PRODUTO set PRECO = :p0"});
    EXPECT_EQ(FbTableReplicateSQL(3, "PRODUTO", "PRECO", "GRUPO = 3", false),
              Lines{"update PRODUTO set PRECO = :p0"});
    EXPECT_EQ(FbTableReplicateSQL(3, "PRODUTO", "PRECO", "", true),
              Lines{"update PRODUTO set PRECO = :p0"});
    EXPECT_EQ(FbTableReplicateSQL(3, "minusculas", "nome com espaco", "\"id\" = 3", true),
              (Lines{"update \"minusculas\" set \"nome com espaco\" = :p0", " where \"id\" = 3"}));
    EXPECT_EQ(FbTableReplicateSQL(1, "produto", "preco", "", false),
              Lines{"update produto set preco = :p0"});
    EXPECT_EQ(FbTableClearSQL(3, "PRODUTO"), "delete from PRODUTO");
    EXPECT_EQ(FbTableClearSQL(3, "minusculas"), "delete from \"minusculas\"");
    EXPECT_EQ(FbTableClearSQL(1, "minusculas"), "delete from minusculas");
}

} // namespace
