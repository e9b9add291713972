// The table and its transaction, its connection and the controls that
// follow it: who ends the transaction, what a commit or a disconnect does to
// an open table, and what observers hear.
#include "tests/dataset/dstest.h"

#include "db/FbSQL.h"

using dstest::Env;
using Strings = std::vector<std::string>;

namespace {

const char* kTwo = "CREATE TABLE A (ID INTEGER NOT NULL PRIMARY KEY, M BLOB SUB_TYPE 1);"
                   "INSERT INTO A VALUES (1, 'um');"
                   "INSERT INTO A VALUES (2, 'dois');"
                   "INSERT INTO A VALUES (3, 'tres');"
                   "CREATE TABLE B (X INTEGER);"
                   "INSERT INTO B VALUES (9);";

/// Writes one line per notification.
class Log : public TFbDataSetObserver {
public:
    Strings lines;
    void DataSetOpened(TFbCustomDataSet& ds) override {
        lines.push_back("opened " + std::to_string(ds.FieldCount()));
    }
    void DataSetClosing(TFbCustomDataSet& ds) override {
        lines.push_back("closing " + std::to_string(ds.FieldCount()));
    }
    void DataSetClosed(TFbCustomDataSet& ds) override {
        lines.push_back("closed " + std::to_string(ds.FieldCount()));
    }
    void RowMoved(TFbCustomDataSet& ds) override {
        lines.push_back("row " + std::to_string(ds.RecNo()));
    }
    void RowsFetched(TFbCustomDataSet&, int from, int to) override {
        lines.push_back("fetched " + std::to_string(from) + "-" + std::to_string(to));
    }
    void ControlsDisabled(TFbCustomDataSet&) override { lines.push_back("disabled"); }
    void ControlsEnabled(TFbCustomDataSet&) override { lines.push_back("enabled"); }
};

TEST(Lifecycle, OpeningStartsTheTransactionAndClosingEndsIt) {
    Env env(kTwo);
    ASSERT_FALSE(env.tr.Active());
    env.open("A");
    EXPECT_TRUE(env.tr.Active());
    env.table.Close();
    EXPECT_FALSE(env.tr.Active()) << "the table started it, so its close ends it";
}

TEST(Lifecycle, ClosingLeavesATransactionItDidNotStart) {
    Env env(kTwo);
    env.tr.StartTransaction();
    env.open("A");
    env.table.Close();
    EXPECT_TRUE(env.tr.Active());
}

TEST(Lifecycle, TransactionStaysWhileAnotherTableStillReadsThroughIt) {
    Env env(kTwo);
    TFbTable other;
    other.SetDatabase(&env.db);
    other.SetTransaction(&env.tr);
    other.SetTableName("B");
    env.open("A");
    other.Open();
    env.table.Close();
    EXPECT_TRUE(env.tr.Active());
    EXPECT_EQ(other.Fields(0).AsInteger(), 9);
    other.Close();
    EXPECT_TRUE(env.tr.Active()) << "the second table did not start it";
}

TEST(Lifecycle, CommittingTheTransactionClosesTheTable) {
    Env env(kTwo);
    Log log;
    env.open("A");
    env.table.AddObserver(&log);
    env.tr.Commit();
    EXPECT_FALSE(env.table.Active());
    EXPECT_FALSE(env.tr.Active());
    EXPECT_EQ(log.lines, (Strings{"closing 2", "closed 0"}));
    // Reopening starts a new transaction.
    env.table.Open();
    EXPECT_TRUE(env.tr.Active());
    EXPECT_EQ(env.table.FieldByName("ID").AsInteger(), 1);
    env.table.RemoveObserver(&log);
}

TEST(Lifecycle, RollbackAfterAFailedWriteClosesTheTableToo) {
    Env env(kTwo);
    env.open("A");
    TFbSQL sql;
    sql.SetDatabase(&env.db);
    sql.SetTransaction(&env.tr);
    sql.SQL().SetText("update A set ID = 'x'");
    EXPECT_THROW(sql.ExecQuery(), EFbError);
    env.tr.Rollback();
    EXPECT_FALSE(env.table.Active());
    env.table.Open();
    EXPECT_EQ(env.column("ID"), (Strings{"1", "2", "3"}));
}

TEST(Lifecycle, CommitRetainingKeepsTheTableOpen) {
    Env env(kTwo);
    env.open("A");
    env.tr.CommitRetaining();
    EXPECT_TRUE(env.table.Active());
    env.table.Next();
    EXPECT_EQ(env.table.FieldByName("ID").AsInteger(), 2);
}

TEST(Lifecycle, DisconnectingClosesTheTable) {
    Env env(kTwo);
    env.open("A");
    env.db.Close();
    EXPECT_FALSE(env.table.Active());
    EXPECT_FALSE(env.db.Connected());
    env.table.Open(); // connects again
    EXPECT_TRUE(env.db.Connected());
    EXPECT_EQ(env.table.RecordCount(), 1);
}

TEST(Lifecycle, ObserversFollowOpensMovesAndFetches) {
    Env env(kTwo);
    Log log;
    env.table.AddObserver(&log);
    env.open("A");
    env.table.Next();
    env.table.Next();
    env.table.Prior();
    env.table.Close();
    EXPECT_EQ(log.lines, (Strings{"opened 2", "fetched 1-2", "row 2", "fetched 2-3", "row 3",
                                  "row 2", "closing 2", "closed 0"}));
    env.table.RemoveObserver(&log);
}

TEST(Lifecycle, DisabledControlsHearNothingUntilTheOutermostEnable) {
    Env env(kTwo);
    Log log;
    env.open("A");
    env.table.AddObserver(&log);
    env.table.DisableControls();
    env.table.DisableControls();
    EXPECT_TRUE(env.table.ControlsDisabled());
    env.table.Last();
    env.table.First();
    env.table.EnableControls();
    EXPECT_TRUE(env.table.ControlsDisabled());
    env.table.EnableControls();
    EXPECT_FALSE(env.table.ControlsDisabled());
    env.table.EnableControls(); // one too many: ignored
    env.table.Next();
    EXPECT_EQ(log.lines, (Strings{"disabled", "enabled", "row 2"}));
    env.table.RemoveObserver(&log);
}

TEST(Lifecycle, ReopeningOnANewFilterIsOneSuspension) {
    Env env(kTwo);
    Log log;
    env.open("A", "ID > 0", true);
    env.table.AddObserver(&log);
    env.table.SetFilter("ID > 1");
    EXPECT_EQ(log.lines, (Strings{"disabled", "closing 2", "closed 0", "opened 2", "enabled"}));
    env.table.RemoveObserver(&log);
}

TEST(Lifecycle, BusyHookBracketsOpening) {
    Env env(kTwo);
    Strings calls;
    TFbCustomDataSet::SetBusyHook([&](bool busy) { calls.push_back(busy ? "on" : "off"); });
    env.open("A");
    EXPECT_EQ(calls, (Strings{"on", "off"})) << "preparing inside the open adds no pair";
    calls.clear();
    env.table.SetFiltered(true);
    env.table.SetFilter("ID > 1"); // reopen and walk back: one bracket
    TFbCustomDataSet::SetBusyHook(nullptr);
    EXPECT_EQ(calls, (Strings{"on", "off", "on", "off"}));
}

TEST(Lifecycle, BlobContentSurvivesMovesAndIsReadAgainAfterReopen) {
    Env env(kTwo);
    env.open("A");
    TField& m = env.table.FieldByName("M");
    EXPECT_EQ(m.AsString(), "um");
    env.table.Next();
    EXPECT_EQ(m.AsString(), "dois");
    env.table.Prior();
    EXPECT_EQ(m.AsString(), "um");
    env.table.Close();
    env.table.Open();
    env.table.Last();
    EXPECT_EQ(env.table.FieldByName("M").AsString(), "tres");
}

TEST(Lifecycle, DestroyingAnOpenTableIsSafe) {
    Env env(kTwo);
    {
        TFbTable t;
        t.SetDatabase(&env.db);
        t.SetTransaction(&env.tr);
        t.SetTableName("A");
        t.Open();
        t.Next();
    }
    EXPECT_FALSE(env.tr.Active());
    env.open("B");
    EXPECT_EQ(env.table.Fields(0).AsInteger(), 9);
}

TEST(Lifecycle, TransactionDestroyedBeforeTheTableIsDropped) {
    Env env(kTwo);
    auto tr = std::make_unique<TFbTransaction>();
    tr->SetDefaultDatabase(&env.db);
    TFbTable t;
    t.SetDatabase(&env.db);
    t.SetTransaction(tr.get());
    t.SetTableName("A");
    t.Open();
    tr.reset();
    EXPECT_FALSE(t.Active());
    EXPECT_EQ(t.Transaction(), nullptr);
}

} // namespace
