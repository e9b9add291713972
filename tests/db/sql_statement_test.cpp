// Statements on real database files: parameters by name, result-column
// names, the cursor's life with the transaction and the connection.
#include "tests/db/sql_fixture.h"

#include <gtest/gtest.h>

namespace {

using sqltest::clientErrorOf;

class Statement : public sqltest::Database {
protected:
    void SetUp() override {
        open("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, A INTEGER, B VARCHAR(20));\n"
             "CREATE TABLE U (ID INTEGER, NOME VARCHAR(10));\n"
             "INSERT INTO T VALUES (1, 10, 'um');\n"
             "INSERT INTO T VALUES (2, 20, 'dois');\n"
             "INSERT INTO T VALUES (3, 30, 'tres');\n"
             "INSERT INTO U VALUES (1, 'x');\n");
    }
};

TEST_F(Statement, MarkerIsFoundUnderItsUpperCasedNameHoweverAsked) {
    for (const char* asked : {"P0", "p0", " \"P0\" "}) {
        auto q = statement("update T set A = :p0\r\nwhere ID = 1");
        EXPECT_EQ(&q->ParamNamed(asked), &q->ParamNamed("P0")) << asked;
        EXPECT_EQ(q->ParamNamed(asked).Name(), "P0");
    }
    auto quoted = statement("update T set A = :\"p0\" where ID = 1");
    quoted->ParamNamed("P0").SetAsLong(77);
    quoted->ExecQuery();
    tr->Commit();
    EXPECT_EQ(scalar("select A from T where ID = 1"), "77");
}

TEST_F(Statement, QuotedLowerCaseLookupMissesTheUpperCasedMarker) {
    auto q = statement("update T set A = :p0");
    std::string msg;
    EXPECT_EQ(clientErrorOf([&] { q->ParamNamed("\"p0\""); }, &msg), 46);
    EXPECT_EQ(msg, "Field \"\"p0\"\" not found");
}

TEST_F(Statement, BareQuestionMarkIsAParseError) {
    auto q = statement("select * from T where A = ?");
    std::string msg;
    EXPECT_EQ(clientErrorOf([&] { q->Prepare(); }, &msg), 55);
    EXPECT_EQ(msg, "SQL Parse Error:\r\n\r\nParameter name expected");
    EXPECT_FALSE(q->IsPrepared());

    q->SetInventParamNames(true);
    q->ParamNamed("FbParam0").SetAsLong(20);
    q->ExecQuery();
    EXPECT_EQ(q->ColumnNamed("B").AsString(), "dois");
}

TEST_F(Statement, ColonsInStringsAndCommentsAreNoMarkers) {
    auto q = statement("select ':a' as S, \"B\" from T /* :c */ where ID = :id");
    EXPECT_EQ(q->ParamList().Count(), 1);
    q->ParamNamed("ID").SetAsLong(2);
    q->ExecQuery();
    EXPECT_EQ(q->ColumnNamed("S").AsString(), ":a");
    EXPECT_EQ(q->ColumnNamed("B").AsString(), "dois");
}

TEST_F(Statement, DoubledQuoteInALiteralReachesTheServerIntact) {
    exec("update T set B = 'it''s :x' where ID = 3");
    EXPECT_EQ(scalar("select B from T where ID = 3"), "it's :x");
}

TEST_F(Statement, OneMarkerWrittenTwiceIsSetOnce) {
    auto q = statement("select count(*) from T where A = :v or ID = :v");
    ASSERT_EQ(q->ParamList().Count(), 2);
    EXPECT_EQ(q->ParamList()[0].Name(), "V");
    EXPECT_EQ(q->ParamList()[1].Name(), "V");
    q->ParamNamed("v").SetAsLong(3);
    EXPECT_TRUE(q->ParamList()[1].Modified());
    q->ExecQuery();
    EXPECT_EQ(q->ColumnAt(0).AsLong(), 1) << "ID = 3 matches, A = 3 does not";
    q->Close();
    q->ParamNamed("V").SetAsLong(10);
    q->ExecQuery();
    EXPECT_EQ(q->ColumnAt(0).AsLong(), 1) << "A = 10 matches; the value stays set in both";
}

TEST_F(Statement, RepeatedAndMissingAliasesGetUniqueNames) {
    auto q = statement("select ID, ID, A as ID, (select 1 from RDB$DATABASE), "
                       "(select 2 from RDB$DATABASE) from T");
    q->ExecQuery();
    ASSERT_EQ(q->CurrentRow().Count(), 5);
    EXPECT_EQ(q->ColumnAt(0).Name(), "ID");
    EXPECT_EQ(q->ColumnAt(1).Name(), "ID1");
    EXPECT_EQ(q->ColumnAt(2).Name(), "ID2");
    EXPECT_EQ(q->ColumnAt(1).AliasName(), "ID1") << "the name is written back into the entry";
    // The server names both sub-selects CONSTANT.
    EXPECT_EQ(q->ColumnAt(3).Name(), "CONSTANT");
    EXPECT_EQ(q->ColumnAt(4).Name(), "CONSTANT1");
    EXPECT_EQ(&q->ColumnNamed("constant1"), &q->ColumnAt(4));
}

TEST_F(Statement, UnknownNamesAndIndexesAreReported) {
    auto q = statement("select ID from T");
    q->ExecQuery();
    std::string msg;
    EXPECT_EQ(clientErrorOf([&] { q->ColumnNamed("NOPE"); }, &msg), 46);
    EXPECT_EQ(msg, "Field \"NOPE\" not found");
    EXPECT_EQ(clientErrorOf([&] { q->ColumnAt(1); }, &msg), 46);
    EXPECT_EQ(msg, "Field \"1\" not found");
    EXPECT_EQ(clientErrorOf([&] { q->ParamNamed("X"); }), 46);
    EXPECT_EQ(clientErrorOf([&] { q->CurrentRow().Vars(-1); }), 26);
}

TEST_F(Statement, SelectWalksEveryRowThenReportsTheEnd) {
    auto q = statement("select ID from T order by ID");
    q->ExecQuery();
    EXPECT_TRUE(q->IsOpen());
    EXPECT_EQ(q->RecordCount(), 1) << "the first row comes with the execution";
    std::string ids = q->ColumnAt(0).AsString();
    while (q->FetchNext())
        ids += q->ColumnAt(0).AsString();
    EXPECT_EQ(ids, "123");
    EXPECT_TRUE(q->AtEnd());
    EXPECT_EQ(q->RecordCount(), 3);
    EXPECT_EQ(q->FetchNext(), nullptr);
    q->Close();
    EXPECT_FALSE(q->IsOpen());
    EXPECT_TRUE(q->IsPrepared());
}

TEST_F(Statement, AFailingFetchClosesTheCursorAndReportsTheServersMessage) {
    auto q = statement("select 10 / (ID - 2) from T order by ID");
    q->ExecQuery();
    EXPECT_EQ(q->ColumnAt(0).AsLong(), -10);
    try {
        q->FetchNext();
        FAIL() << "the second row divides by zero";
    } catch (const EFbFirebirdError& e) {
        EXPECT_NE(std::string(e.what()).find("divide by zero"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(q->IsOpen());
    EXPECT_TRUE(q->IsPrepared());
}

TEST_F(Statement, WithoutFirstRowOnExecuteTheCursorStartsBeforeTheFirstRow) {
    auto q = statement("select ID from T where ID > 1 order by ID");
    q->SetGoToFirstRecordOnExecute(false);
    q->ExecQuery();
    EXPECT_TRUE(q->AtStart());
    EXPECT_FALSE(q->AtEnd());
    EXPECT_EQ(q->RecordCount(), 0);
    ASSERT_NE(q->FetchNext(), nullptr);
    EXPECT_EQ(q->ColumnAt(0).AsLong(), 2);
}

TEST_F(Statement, SecondExecuteOfAnOpenSelectIsRefused) {
    auto q = statement("select ID from T");
    q->ExecQuery();
    std::string msg;
    EXPECT_EQ(clientErrorOf([&] { q->ExecQuery(); }, &msg), 31);
    EXPECT_EQ(msg, "FbSQL Open");
    EXPECT_EQ(clientErrorOf([&] { q->Prepare(); }), 31);
    q->Close();
    EXPECT_NO_THROW(q->ExecQuery());
}

TEST_F(Statement, ClosingANeverOpenedStatementDoesNothing) {
    auto q = statement("select ID from T");
    EXPECT_NO_THROW(q->Close());
    EXPECT_FALSE(q->IsPrepared());
    EXPECT_TRUE(q->AtEnd());
    EXPECT_EQ(clientErrorOf([&] { q->FetchNext(); }), 32);
}

TEST_F(Statement, CommitClosesAnOpenCursor) {
    auto q = statement("select ID from T");
    q->ExecQuery();
    ASSERT_FALSE(q->AtEnd());
    tr->Commit();
    EXPECT_FALSE(q->IsOpen());
    EXPECT_TRUE(q->AtEnd());
    EXPECT_TRUE(q->IsPrepared()) << "the statement survives the transaction";
    q->ExecQuery();
    EXPECT_TRUE(tr->Active()) << "executing starts a new transaction";
    EXPECT_EQ(q->ColumnAt(0).AsLong(), 1);
}

TEST_F(Statement, CommitRetainingLeavesTheCursorOpen) {
    auto q = statement("select ID from T order by ID");
    q->ExecQuery();
    tr->CommitRetaining();
    EXPECT_TRUE(q->IsOpen());
    EXPECT_NE(q->FetchNext(), nullptr);
}

TEST_F(Statement, ChangingTheTextUnpreparesAndForgetsParameterValues) {
    auto q = statement("update T set A = :v\r\nwhere ID = 1");
    int changes = 0;
    q->OnSQLChanging = [&](TFbSQL&) { ++changes; };
    q->ParamNamed("V").SetAsLong(5);
    ASSERT_TRUE(q->IsPrepared());
    q->SQL().SetText("update T set A = :v\r\nwhere ID = 1");
    EXPECT_EQ(changes, 0) << "the same text changes nothing";
    EXPECT_TRUE(q->IsPrepared());
    q->SQL().Set(1, "where ID = 2");
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(q->IsPrepared());
    EXPECT_FALSE(q->ParamNamed("V").Modified());
    EXPECT_EQ(q->ParamNamed("V").AsLong(), 0) << "a fresh parameter holds no value";
}

TEST_F(Statement, ChangingTheTextOfAnOpenSelectLeavesItReusable) {
    auto q = statement("select ID from T");
    q->ExecQuery();
    q->SQL().SetText("select ID from T where ID = 3");
    EXPECT_FALSE(q->IsOpen());
    q->ExecQuery();
    EXPECT_EQ(q->ColumnAt(0).AsLong(), 3);
}

TEST_F(Statement, TheMainWindowsUpdateSequence) {
    auto q = statement();
    q->Close();
    q->SQL().Clear();
    q->SQL().Add("update T set B = :p0");
    q->SQL().Add(" where A > 10");
    q->ParamNamed("P0").SetAsString("novo");
    q->ExecQuery();
    tr->Commit();
    EXPECT_EQ(scalar("select count(*) from T where B = 'novo'"), "2");
    q->Close();
    q->SQL().Clear();
    q->SQL().Add("delete from T");
    q->ExecQuery();
    tr->Commit();
    EXPECT_EQ(scalar("select count(*) from T"), "0");
}

TEST_F(Statement, KindsAreReportedAndSomeRefused) {
    auto q = statement("select ID from T");
    q->Prepare();
    EXPECT_EQ(q->StatementKind(), SQLSelect);
    q->SQL().SetText("select ID from T for update");
    q->Prepare();
    EXPECT_EQ(q->StatementKind(), SQLSelectForUpdate);
    q->SQL().SetText("insert into U values (2, 'y')");
    q->Prepare();
    EXPECT_EQ(q->StatementKind(), SQLInsert);
    q->SQL().SetText("delete from U");
    q->Prepare();
    EXPECT_EQ(q->StatementKind(), SQLDelete);
    q->SQL().SetText("create table V (X INTEGER)");
    q->Prepare();
    EXPECT_EQ(q->StatementKind(), SQLDDL);
    q->SQL().SetText("set transaction");
    std::string msg;
    EXPECT_EQ(clientErrorOf([&] { q->Prepare(); }, &msg), 5);
    EXPECT_EQ(msg, "Not permitted");
    EXPECT_FALSE(q->IsPrepared());
    EXPECT_EQ(*q->Handle(), 0u);
}

TEST_F(Statement, EmptyTextIsRefused) {
    auto q = statement();
    std::string msg;
    EXPECT_EQ(clientErrorOf([&] { q->Prepare(); }, &msg), 42);
    EXPECT_EQ(msg, "Empty query");
    q->SQL().SetText("  ");
    EXPECT_EQ(clientErrorOf([&] { q->ExecQuery(); }), 42);
}

TEST_F(Statement, MissingConnectionOrTransactionIsReported) {
    TFbSQL lone;
    lone.SQL().Add("select ID from T");
    EXPECT_EQ(clientErrorOf([&] { lone.Prepare(); }), 24);
    TFbDatabase other;
    lone.SetDatabase(&other);
    EXPECT_EQ(clientErrorOf([&] { lone.Prepare(); }), 15);
}

TEST_F(Statement, ServerRefusalLeavesTheStatementReleased) {
    auto q = statement("select NOPE from T");
    EXPECT_THROW(q->Prepare(), EFbFirebirdError);
    EXPECT_FALSE(q->IsPrepared());
    EXPECT_EQ(*q->Handle(), 0u);
    q->SQL().SetText("select ID from T");
    EXPECT_NO_THROW(q->ExecQuery());
}

TEST_F(Statement, PreparingStartsTheTransaction) {
    auto q = statement("select ID from T");
    ASSERT_FALSE(tr->Active());
    q->Prepare();
    EXPECT_TRUE(tr->Active());
    EXPECT_EQ(q->CursorName().size(), 8u) << "an unnamed statement's cursor is 8 digits";
}

TEST_F(Statement, SoleRelationNameOnlyForOneTable) {
    auto q = statement("select ID, A from T");
    q->Prepare();
    EXPECT_EQ(q->SoleRelationName(), "T");
    q->SQL().SetText("select T.ID, U.NOME from T join U on U.ID = T.ID");
    q->Prepare();
    EXPECT_EQ(q->SoleRelationName(), "");
    q->SQL().SetText("update T set A = 1");
    q->Prepare();
    EXPECT_EQ(q->SoleRelationName(), "");
}

TEST_F(Statement, DetachClosesAndReleases) {
    auto q = statement("select ID from T");
    q->ExecQuery();
    db->Close();
    EXPECT_FALSE(q->IsOpen());
    EXPECT_FALSE(q->IsPrepared());
    EXPECT_EQ(*q->Handle(), 0u);
    db->Open();
    q->ExecQuery();
    EXPECT_EQ(q->ColumnAt(0).AsLong(), 1);
}

TEST_F(Statement, ExecuteProcedureFillsItsOutputColumns) {
    exec("create procedure SOMA (X INTEGER, Y INTEGER) returns (R INTEGER) as "
         "begin R = X + Y; end");
    auto q = statement("execute procedure SOMA :x, :y");
    q->ParamNamed("X").SetAsLong(2);
    q->ParamNamed("Y").SetAsLong(40);
    q->ExecQuery();
    EXPECT_EQ(q->StatementKind(), SQLExecProcedure);
    EXPECT_EQ(q->ColumnNamed("R").AsLong(), 42);
}

TEST_F(Statement, AutoCommitCommitsEachWrite) {
    tr->SetAutoCommit(true);
    auto q = statement("insert into U values (9, 'auto')");
    q->ExecQuery();
    EXPECT_TRUE(tr->Active()) << "commit retaining keeps the transaction";
    tr->Rollback();
    EXPECT_EQ(scalar("select NOME from U where ID = 9"), "auto");
}

} // namespace
