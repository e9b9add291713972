// Opening a table by name: the generated SELECT, its order, the filter line,
// failures that leave the table closed, and read-only views.
#include "tests/dataset/dstest.h"

#include "db/Fb.h"

using dstest::Env;
using Strings = std::vector<std::string>;

namespace {

const char* kShop = "CREATE TABLE CLIENTES (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(20));"
                    "INSERT INTO CLIENTES VALUES (3, 'Carla');"
                    "INSERT INTO CLIENTES VALUES (1, 'Ana');"
                    "INSERT INTO CLIENTES VALUES (2, 'Bruno');"
                    "CREATE TABLE NOTAS (TEXTO VARCHAR(10));"
                    "INSERT INTO NOTAS VALUES ('z');"
                    "INSERT INTO NOTAS VALUES ('a');"
                    "INSERT INTO NOTAS VALUES ('m');"
                    "CREATE VIEW V_CLIENTES AS SELECT C.ID, C.NOME, N.TEXTO "
                    "FROM CLIENTES C JOIN NOTAS N ON N.TEXTO = 'a';";

TEST(TableOpen, RowsComeInPrimaryKeyOrder) {
    Env env(kShop);
    env.open("CLIENTES");
    EXPECT_EQ(env.column("NOME"), (Strings{"Ana", "Bruno", "Carla"}));
    EXPECT_EQ(env.table.PrimaryKeyFields(), "ID");
    EXPECT_EQ(env.table.SelectText(), "select \"CLIENTES\".*, RDB$DB_KEY as FB_INTERNAL_DBKEY "
                                      "from \"CLIENTES\"\r\n order by \"ID\"");
}

TEST(TableOpen, NamesHoldingADoubleQuoteOpenInKeyOrder) {
    Env env("CREATE TABLE \"a\"\"b\" (\"k\"\"1\" INTEGER NOT NULL PRIMARY KEY, V VARCHAR(5));"
            "INSERT INTO \"a\"\"b\" VALUES (2, 'dois');"
            "INSERT INTO \"a\"\"b\" VALUES (1, 'um');");
    env.open("a\"b");
    EXPECT_EQ(env.column("V"), (Strings{"um", "dois"}));
    EXPECT_EQ(env.table.PrimaryKeyFields(), "k\"1");
}

TEST(TableOpen, TableWithoutPrimaryKeyHasNoOrderBy) {
    Env env(kShop);
    env.open("NOTAS");
    EXPECT_EQ(env.table.SelectText().find("order by"), std::string::npos);
    EXPECT_EQ(env.table.PrimaryKeyFields(), "");
    EXPECT_EQ(env.column("TEXTO").size(), 3u);
}

TEST(TableOpen, FieldsFollowTheSelectWithoutTheHiddenKey) {
    Env env(kShop);
    env.open("CLIENTES");
    ASSERT_EQ(env.table.FieldCount(), 2);
    EXPECT_EQ(env.table.Fields(0).FieldName(), "ID");
    EXPECT_EQ(env.table.Fields(0).DataType(), ftInteger);
    EXPECT_TRUE(env.table.Fields(0).Required());
    EXPECT_EQ(env.table.Fields(1).FieldName(), "NOME");
    EXPECT_EQ(env.table.Fields(1).DataType(), ftString);
    EXPECT_EQ(env.table.Fields(1).Size(), 20);
    EXPECT_FALSE(env.table.Fields(1).Required());
    EXPECT_EQ(env.table.FindField("FB_INTERNAL_DBKEY"), nullptr);
    EXPECT_EQ(&env.table.FieldByName("nome"), &env.table.Fields(1));
    EXPECT_THROW(env.table.FieldByName("NADA"), EFbError);
}

TEST(TableOpen, ArrayColumnsGetNoFieldAndTheOthersStillLineUp) {
    Env env("CREATE TABLE T (A INTEGER, ARR INTEGER[3], B VARCHAR(5));"
            "INSERT INTO T (A, B) VALUES (1, 'um');");
    env.open("T");
    ASSERT_EQ(env.table.FieldCount(), 2);
    EXPECT_EQ(env.table.Fields(0).FieldName(), "A");
    EXPECT_EQ(env.table.Fields(1).FieldName(), "B");
    EXPECT_EQ(env.table.Fields(1).AsString(), "um");
    EXPECT_EQ(env.table.Fields(1).Index(), 1);
}

TEST(TableOpen, RebindingAnOpenTableClosesIt) {
    Env env(kShop);
    env.open("CLIENTES");
    TFbTransaction other;
    other.SetDefaultDatabase(&env.db);
    env.table.SetTransaction(&other);
    EXPECT_FALSE(env.table.Active());
    env.table.Open();
    EXPECT_TRUE(other.Active());
    EXPECT_EQ(env.table.RecordCount(), 1);
    env.table.Close();
    EXPECT_FALSE(other.Active());
}

TEST(TableOpen, FilteredWithEmptyFilterAddsNoWhere) {
    Env env(kShop);
    env.open("CLIENTES", "", true);
    EXPECT_EQ(env.table.SelectText().find("where"), std::string::npos);
    EXPECT_EQ(env.column("ID").size(), 3u);
}

TEST(TableOpen, FilterBecomesASecondLineWhenFiltered) {
    Env env(kShop);
    env.open("CLIENTES", "ID >= 2", true);
    EXPECT_EQ(env.table.SelectText(), "select \"CLIENTES\".*, RDB$DB_KEY as FB_INTERNAL_DBKEY "
                                      "from \"CLIENTES\"\r\n where ID >= 2\r\n order by \"ID\"");
    EXPECT_EQ(env.column("NOME"), (Strings{"Bruno", "Carla"}));

    env.table.Close();
    env.table.SetFiltered(false);
    env.table.Open();
    EXPECT_EQ(env.column("ID").size(), 3u) << "an unfiltered open ignores the stored condition";
}

TEST(TableOpen, NewFilterOnAClosedFilteredTableTakesEffectAtTheNextOpen) {
    Env env(kShop);
    env.open("CLIENTES", "ID = 1", true);
    env.table.Close();
    env.table.SetFilter("ID = 3");
    EXPECT_FALSE(env.table.Active());
    env.table.Open();
    EXPECT_EQ(env.column("NOME"), (Strings{"Carla"}));
}

TEST(TableOpen, NewFilterOnAnOpenTableReopensOnTheSameRow) {
    Env env(kShop);
    env.open("CLIENTES", "ID >= 1", true);
    env.table.Next();
    env.table.Next();
    ASSERT_EQ(env.table.FieldByName("NOME").AsString(), "Carla");
    env.table.SetFilter("ID >= 2");
    ASSERT_TRUE(env.table.Active());
    EXPECT_EQ(env.table.FieldByName("NOME").AsString(), "Carla");
    EXPECT_EQ(env.table.RecNo(), 2);

    env.table.SetFilter("ID < 3"); // Carla is filtered out: back to the first row
    EXPECT_EQ(env.table.FieldByName("NOME").AsString(), "Ana");
    EXPECT_EQ(env.table.RecNo(), 1);
}

TEST(TableOpen, ChosenOrderTakesEffectAtAReopenThatLooksForTheRowWithinItsLimit) {
    Env env(kShop);
    env.open("CLIENTES");
    env.table.SetIndexFieldNames("NOME");
    env.table.SetIndexDescending(true);
    EXPECT_EQ(env.table.FieldByName("NOME").AsString(), "Ana") << "no reopening yet";
    env.table.ReopenKeepingRow();
    EXPECT_EQ(env.table.FieldByName("NOME").AsString(), "Ana");
    EXPECT_EQ(env.table.RecNo(), 3);
    EXPECT_EQ(env.column("NOME"), (Strings{"Carla", "Bruno", "Ana"}));

    env.table.SetRecNo(3);
    env.table.SetIndexFieldNames("ID"); // Ana stays third, beyond a limit of 2
    env.table.ReopenKeepingRow(2);
    EXPECT_EQ(env.table.RecNo(), 1);
    EXPECT_EQ(env.table.FieldByName("NOME").AsString(), "Carla");
    EXPECT_EQ(env.table.RecordCount(), 2) << "no row fetched past the limit";

    env.table.Close();
    env.table.SetTableName("NOTAS");
    EXPECT_FALSE(env.table.IndexDescending());
    EXPECT_EQ(env.table.IndexFieldNames(), "");
}

TEST(TableOpen, ReopeningAJoinViewFindsTheSameRowByItsWholeKey) {
    Env env(std::string(kShop) + "CREATE VIEW VX AS SELECT C.ID, N.TEXTO FROM CLIENTES C "
                                 "CROSS JOIN NOTAS N;");
    env.open("VX", "ID > 0", true);
    env.table.SetRecNo(5);
    const std::string id = env.table.FieldByName("ID").AsString();
    const std::string texto = env.table.FieldByName("TEXTO").AsString();
    env.table.SetFilter("ID >= 1");
    EXPECT_EQ(env.table.FieldByName("ID").AsString(), id);
    EXPECT_EQ(env.table.FieldByName("TEXTO").AsString(), texto)
        << "a view's key covers every table it joins";
}

TEST(TableOpen, SwitchingFilteredOnAnOpenTableReopensIt) {
    Env env(kShop);
    env.table.SetFilter("ID = 2");
    env.open("CLIENTES", "ID = 2", false);
    EXPECT_EQ(env.column("ID").size(), 3u);
    env.table.SetFiltered(true);
    EXPECT_TRUE(env.table.Active());
    EXPECT_EQ(env.column("NOME"), (Strings{"Bruno"}));
}

TEST(TableOpen, BadConditionFailsAtOpenAndLeavesTheTableClosed) {
    Env env(kShop);
    EXPECT_THROW(env.open("CLIENTES", "NAO_EXISTE = 1", true), EFbError);
    EXPECT_FALSE(env.table.Active());
    EXPECT_EQ(env.table.FieldCount(), 0);
    EXPECT_EQ(env.table.RecordCount(), 0);
    // The same table opens again once the condition is dropped.
    env.table.SetFiltered(false);
    env.table.Open();
    EXPECT_EQ(env.column("ID").size(), 3u);
}

TEST(TableOpen, MissingNameOrBindingIsAClientError) {
    Env env(kShop);
    try {
        env.table.Open();
        FAIL() << "opened without a table name";
    } catch (const EFbError& e) {
        EXPECT_EQ(e.SQLCode(), 75);
        EXPECT_STREQ(e.what(), "No Table Name assigned");
    }
    TFbTable loose;
    loose.SetTableName("CLIENTES");
    try {
        loose.Open();
        FAIL() << "opened without a connection";
    } catch (const EFbError& e) {
        EXPECT_EQ(e.SQLCode(), 24);
    }
}

TEST(TableOpen, TableNameChangesOnlyWhileClosed) {
    Env env(kShop);
    env.open("CLIENTES");
    EXPECT_THROW(env.table.SetTableName("NOTAS"), EDatabaseError);
    EXPECT_EQ(env.table.TableName(), "CLIENTES");
    env.table.Close();
    env.table.SetTableName("NOTAS");
    EXPECT_EQ(env.table.PrimaryKeyFields(), "");
    EXPECT_EQ(env.table.SelectText(), "");
    env.table.Open();
    EXPECT_EQ(env.table.Fields(0).FieldName(), "TEXTO");
}

TEST(TableOpen, FilterOptionsAreUnsupported) {
    Env env(kShop);
    EXPECT_NO_THROW(env.table.SetFilterOptions(0));
    try {
        env.table.SetFilterOptions(1);
        FAIL();
    } catch (const EFbError& e) {
        EXPECT_EQ(e.SQLCode(), 4);
    }
}

TEST(TableOpen, ViewOpensReadOnlyAndTableGetsModificationStatements) {
    Env env(kShop);
    env.open("CLIENTES");
    EXPECT_FALSE(env.table.ReadOnly());
    EXPECT_EQ(env.table.DeleteText(),
              "delete from \"CLIENTES\" where RDB$DB_KEY = :FB_INTERNAL_DBKEY");
    EXPECT_EQ(env.table.InsertText(),
              "insert into \"CLIENTES\" (\"ID\", \"NOME\") values (:\"ID\", :\"NOME\")");
    EXPECT_EQ(env.table.ModifyText(), "update \"CLIENTES\" set \"ID\" = :\"ID\", \"NOME\" = "
                                      ":\"NOME\" where RDB$DB_KEY = :FB_INTERNAL_DBKEY");

    // A view over a join has a key of 16 bytes: it cannot be written.
    env.open("V_CLIENTES");
    EXPECT_TRUE(env.table.ReadOnly());
    EXPECT_EQ(env.table.InsertText(), "");
    EXPECT_EQ(env.column("NOME").size(), 3u);

    // Read-only belongs to the view, not to the next table opened.
    env.open("CLIENTES");
    EXPECT_FALSE(env.table.ReadOnly());
}

TEST(TableOpen, ComputedColumnsAreReadOnlyAndLeftOutOfTheWrites) {
    Env env("CREATE TABLE ITENS (QTD INTEGER, PRECO INTEGER, TOTAL COMPUTED BY (QTD * PRECO));"
            "INSERT INTO ITENS (QTD, PRECO) VALUES (2, 5);");
    env.open("ITENS");
    EXPECT_TRUE(env.table.FieldByName("TOTAL").ReadOnly());
    EXPECT_FALSE(env.table.FieldByName("QTD").ReadOnly());
    EXPECT_EQ(env.table.FieldByName("TOTAL").AsInteger(), 10);
    EXPECT_EQ(env.table.InsertText().find("TOTAL"), std::string::npos);
}

TEST(TableOpen, CompositeKeyOrdersByEverySegment) {
    Env env("CREATE TABLE P (A INTEGER NOT NULL, B INTEGER NOT NULL, C INTEGER, "
            "PRIMARY KEY (B, A));"
            "CREATE UNIQUE INDEX P_C ON P (C);"
            "INSERT INTO P VALUES (1, 2, 10);"
            "INSERT INTO P VALUES (2, 1, 20);"
            "INSERT INTO P VALUES (1, 1, 30);");
    env.open("P");
    EXPECT_EQ(env.table.PrimaryKeyFields(), "B;A");
    EXPECT_EQ(env.column("C"), (Strings{"30", "20", "10"}));
    ASSERT_EQ(env.table.IndexDefs().size(), 2u);
}

TEST(TableOpen, MixedCaseTableNameInDialect3) {
    Env env("CREATE TABLE \"Pedidos\" (\"Id\" INTEGER NOT NULL PRIMARY KEY, \"Obs\" VARCHAR(5));"
            "INSERT INTO \"Pedidos\" VALUES (2, 'b');"
            "INSERT INTO \"Pedidos\" VALUES (1, 'a');");
    env.open("Pedidos");
    EXPECT_EQ(env.table.PrimaryKeyFields(), "Id");
    EXPECT_EQ(env.column("Obs"), (Strings{"a", "b"}));
}

TEST(TableOpen, Dialect1QuotesNothingAndUpperCases) {
    Env env("CREATE TABLE clientes (id INTEGER NOT NULL PRIMARY KEY, dia DATE);"
            "INSERT INTO clientes VALUES (2, '2024-03-05');"
            "INSERT INTO clientes VALUES (1, '2024-03-04');",
            1);
    env.open("clientes");
    EXPECT_EQ(env.table.SelectText(), "select CLIENTES.*, RDB$DB_KEY as FB_INTERNAL_DBKEY from "
                                      "CLIENTES\r\n order by ID");
    EXPECT_EQ(env.table.FieldByName("DIA").DataType(), ftDateTime)
        << "a dialect 1 DATE is a date-time";
    EXPECT_EQ(env.column("ID"), (Strings{"1", "2"}));
}

TEST(TableOpen, ApostropheInTheTableNameIsNoInjection) {
    Env env("CREATE TABLE \"O'NEIL\" (ID INTEGER NOT NULL PRIMARY KEY);"
            "INSERT INTO \"O'NEIL\" VALUES (7);");
    env.open("O'NEIL");
    EXPECT_EQ(env.table.PrimaryKeyFields(), "ID");
    EXPECT_EQ(env.column("ID"), (Strings{"7"}));
}

} // namespace

namespace {

TEST(TableOpen, ThroughTheServerToo) {
    FBTEST_REQUIRE_SERVER();
    fbtest::TempFolder folder;
    const std::string path = folder.file("s.fdb");
    fbtest::createDatabase(path, kShop);
    TFbDatabase db;
    db.SetDatabaseName(fbtest::serverName(path));
    db.SetLoginPrompt(false);
    db.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
    TFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    TFbTable table;
    table.SetDatabase(&db);
    table.SetTransaction(&tr);
    table.SetTableName("CLIENTES");
    table.Open(); // attaches on the way
    EXPECT_TRUE(db.Connected());
    table.Last();
    EXPECT_EQ(table.RecordCount(), 3);
    EXPECT_EQ(table.FieldByName("NOME").AsString(), "Carla");
    Strings names;
    db.ListTableNames(names, false);
    EXPECT_EQ(names.size(), 2u);
    table.Close();
    db.Close();
}

} // namespace
