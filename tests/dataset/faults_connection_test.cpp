// A connection whose server went away: closing it must still work, and so
// must the next attach once the server is back. Runs against a private
// server that the test kills and starts again.
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "tests/support/fbtest.h"
#include "tests/support/privateserver.h"

#include <gtest/gtest.h>

namespace {

class ConexaoPerdida : public ::testing::Test {
protected:
    void SetUp() override {
        if (!srv.available()) GTEST_SKIP() << "no private Firebird server: " << srv.why();
        caminho = srv.file("t.fdb");
        fbtest::createDatabase(caminho, "create table T (ID integer not null primary key, V "
                                        "integer);"
                                        "insert into T values (1, 10);"
                                        "insert into T values (2, 20);");
        ASSERT_TRUE(srv.start()) << srv.why();
        db.SetDatabaseName(srv.name(caminho));
        db.SetLoginPrompt(false);
        db.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
        tr.SetDefaultDatabase(&db);
        db.SetDefaultTransaction(&tr);
        tabela.SetDatabase(&db);
        tabela.SetTransaction(&tr);
        sql.SetDatabase(&db);
        sql.SetTransaction(&tr);
        db.Open();
    }

    /// Sum of V, read through a fresh open of the table.
    long soma() {
        long s = 0;
        tabela.Close();
        tabela.SetTableName("T");
        tabela.Open();
        for (tabela.First(); !tabela.Eof(); tabela.Next())
            s += std::stol(tabela.FieldByName("V").AsString());
        return s;
    }

    fbtest::PrivateServer srv;
    std::string caminho;
    TFbDatabase db;
    TFbTransaction tr;
    TFbTable tabela;
    TFbSQL sql;
};

TEST_F(ConexaoPerdida, ClosingAfterTheServerDiedSucceedsAtTheFirstTry) {
    ASSERT_EQ(soma(), 30);
    // A prepared statement and an open table both hold server handles.
    sql.SQL().Add("update T set V = :p0");
    sql.Prepare();
    srv.kill();

    EXPECT_NO_THROW(db.Close()) << "the handles went with the connection";
    EXPECT_FALSE(db.Connected());
    EXPECT_FALSE(tabela.Active());
    EXPECT_FALSE(tr.Active());

    ASSERT_TRUE(srv.start()) << srv.why();
    ASSERT_NO_THROW(db.Open());
    EXPECT_EQ(soma(), 30);
}

TEST_F(ConexaoPerdida, AnUpdateCutOffBeforeItsCommitChangesNothing) {
    ASSERT_EQ(soma(), 30);
    sql.SQL().Add("update T set V = :p0");
    sql.ParamNamed("P0").SetAsString("99");
    sql.ExecQuery();
    srv.kill();

    EXPECT_ANY_THROW(tr.Commit()) << "a commit on a lost connection is not a commit";
    try {
        tr.Rollback();
    } catch (...) {
        // Whether the client still reports the lost connection here varies.
    }
    EXPECT_NO_THROW(db.Close());
    EXPECT_FALSE(db.Connected());

    ASSERT_TRUE(srv.start()) << srv.why();
    ASSERT_NO_THROW(db.Open());
    EXPECT_EQ(soma(), 30) << "both rows keep their values";
}

} // namespace
