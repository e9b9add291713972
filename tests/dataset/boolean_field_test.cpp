// A table with a Firebird 3 BOOLEAN column opens, and its field holds and
// shows the values and NULL beside the columns around it.
#include "tests/dataset/dstest.h"

#include "db/Fb.h"
#include "db/FbSQL.h"

using dstest::Env;

namespace {

const char* kTarefas = "CREATE TABLE TAREFAS (ID INTEGER NOT NULL PRIMARY KEY, FEITA BOOLEAN,"
                       " NOME VARCHAR(10), URGENTE BOOLEAN NOT NULL, PESO DOUBLE PRECISION);"
                       "INSERT INTO TAREFAS VALUES (1, TRUE, 'lavar', FALSE, 1.5);"
                       "INSERT INTO TAREFAS VALUES (2, FALSE, 'passar', TRUE, 2.5);"
                       "INSERT INTO TAREFAS VALUES (3, NULL, NULL, TRUE, NULL);";

const std::string kNao = "N\xc3O";

TEST(BooleanField, ATableWithBooleanColumnsOpensAndShowsTheirValues) {
    rtl::ScopedFormatSettings fs(dstest::testSettings());
    Env env(kTarefas);
    env.open("TAREFAS");
    ASSERT_TRUE(env.table.Active());
    ASSERT_EQ(env.table.FieldCount(), 5);
    EXPECT_EQ(env.table.FieldByName("FEITA").DataType(), ftBoolean);
    EXPECT_EQ(env.table.FieldByName("URGENTE").DataType(), ftBoolean);
    EXPECT_TRUE(env.table.FieldByName("URGENTE").Required());

    EXPECT_EQ(env.column("FEITA"), (std::vector<std::string>{"SIM", kNao, ""}));
    EXPECT_EQ(env.column("URGENTE"), (std::vector<std::string>{kNao, "SIM", "SIM"}));
    // The columns around them keep their own values.
    EXPECT_EQ(env.column("ID"), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(env.column("NOME"), (std::vector<std::string>{"lavar", "passar", ""}));
    EXPECT_EQ(env.column("PESO"), (std::vector<std::string>{"1.5", "2.5", ""}));
}

TEST(BooleanField, TheFieldReadsAsBooleanNumberAndGridText) {
    rtl::ScopedFormatSettings fs(dstest::testSettings());
    Env env(kTarefas);
    env.open("TAREFAS");
    TField& feita = env.table.FieldByName("FEITA");

    env.table.First();
    EXPECT_FALSE(feita.IsNull());
    EXPECT_TRUE(feita.AsBoolean());
    EXPECT_EQ(feita.AsInteger(), 1);
    EXPECT_EQ(feita.AsFloat(), 1.0);
    EXPECT_EQ(feita.DisplayText(), "SIM");
    EXPECT_THROW(feita.AsDateTime(), EFbError);

    env.table.Next();
    EXPECT_FALSE(feita.AsBoolean());
    EXPECT_EQ(feita.AsInteger(), 0);
    EXPECT_EQ(feita.DisplayText(), kNao);

    env.table.Next();
    EXPECT_TRUE(feita.IsNull());
    EXPECT_FALSE(feita.AsBoolean());
    EXPECT_EQ(feita.DisplayText(), "");
}

TEST(BooleanField, AFilterOnABooleanColumnSelectsItsRows) {
    rtl::ScopedFormatSettings fs(dstest::testSettings());
    Env env(kTarefas);
    env.open("TAREFAS", "URGENTE", true);
    EXPECT_EQ(env.column("NOME"), (std::vector<std::string>{"passar", ""}));
}

TEST(BooleanField, TextReadsAsTheSameBooleanThroughTheFieldAndTheStatement) {
    Env env("CREATE TABLE W (K INTEGER, T VARCHAR(12));"
            "INSERT INTO W VALUES (1, ' sim '); INSERT INTO W VALUES (2, 'N\xc3O');"
            "INSERT INTO W VALUES (3, 'true'); INSERT INTO W VALUES (4, '0');"
            "INSERT INTO W VALUES (5, 'yes'); INSERT INTO W VALUES (6, 'T');"
            "INSERT INTO W VALUES (7, 'Falso'); INSERT INTO W VALUES (8, '');");
    env.open("W");
    TFbSQL q;
    q.SetDatabase(&env.db);
    q.SetTransaction(&env.tr);
    q.SQL().SetText("select T from W order by K");
    q.ExecQuery();
    auto read = [](auto&& reader) {
        try {
            return std::string(reader() ? "1" : "0");
        } catch (const EFbClientError& e) {
            return "erro " + std::to_string(e.SQLCode());
        }
    };
    std::string field, statement;
    for (env.table.First(); !env.table.Eof(); env.table.Next(), q.FetchNext()) {
        field += read([&] { return env.table.FieldByName("T").AsBoolean(); }) + ";";
        statement += read([&] { return q.ColumnAt(0).AsBoolean(); }) + ";";
    }
    EXPECT_EQ(field, "1;0;1;0;erro 38;erro 38;erro 38;erro 38;");
    EXPECT_EQ(statement, field);
}

} // namespace
