// Transactions on real databases: starting, the ways they end, who hears
// about it and in which order.
#include "tests/db/dbtest.h"

#include <gtest/gtest.h>

using dbtest::clientErrorOf;
using dbtest::Recorder;
using Log = std::vector<std::string>;

namespace {

void logEvents(TFbTransaction& tr, Log& log) {
    tr.OnStartTransaction = [&](TFbTransaction&) { log.push_back("start"); };
    tr.OnEndTransaction = [&](TFbTransaction&) { log.push_back("end"); };
    tr.BeforeCommit = [&](TFbTransaction&) { log.push_back("before commit"); };
    tr.AfterCommit = [&](TFbTransaction&) { log.push_back("after commit"); };
    tr.BeforeRollback = [&](TFbTransaction&) { log.push_back("before rollback"); };
    tr.AfterRollback = [&](TFbTransaction&) { log.push_back("after rollback"); };
    tr.BeforeCommitRetaining = [&](TFbTransaction&) { log.push_back("before commit retaining"); };
    tr.AfterCommitRetaining = [&](TFbTransaction&) { log.push_back("after commit retaining"); };
    tr.BeforeRollBackRetaining = [&](TFbTransaction&) {
        log.push_back("before rollback retaining");
    };
    tr.AfterRollBackRetaining = [&](TFbTransaction&) { log.push_back("after rollback retaining"); };
}

// The main window's pair: conexao attached, transacao its default.
class Transaction : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("base.fdb");
        fbtest::createDatabase(path, "create table T (ID integer);");
        dbtest::prepare(conexao, path);
        transacao.SetDefaultDatabase(&conexao);
        conexao.SetDefaultTransaction(&transacao);
        conexao.Open();
    }
    /// Closes the connection and counts the rows of T by isql.
    int committedRows() {
        conexao.Close();
        return dbtest::countRows(path, "T");
    }
    void insert(int id) {
        dbtest::exec(conexao, transacao, "insert into T values (" + std::to_string(id) + ")");
    }

    fbtest::TempFolder dir;
    std::string path;
    TFbDatabase conexao;
    TFbTransaction transacao;
};

} // namespace

TEST_F(Transaction, CommitOnAnInactiveTransactionStartsAndCommitsIt) {
    Log log;
    logEvents(transacao, log);
    EXPECT_FALSE(transacao.Active());
    transacao.Commit();
    EXPECT_FALSE(transacao.Active());
    EXPECT_FALSE(transacao.InEndTransaction());
    EXPECT_EQ(log, (Log{"start", "before commit", "after commit", "end"}));
}

TEST_F(Transaction, CommittedRowsStayAndRolledBackRowsGo) {
    insert(1);
    transacao.Commit();
    insert(2);
    transacao.Rollback();
    insert(3);
    transacao.SetActive(false); // writing Active false rolls back
    insert(4);
    transacao.CommitRetaining();
    EXPECT_TRUE(transacao.Active());
    insert(5);
    transacao.RollbackRetaining();
    EXPECT_TRUE(transacao.Active());
    transacao.Commit();
    EXPECT_EQ(committedRows(), 2);
}

TEST_F(Transaction, ClientsHearAboutACommitBeforeAndAfterInRegistrationOrder) {
    Log log;
    logEvents(transacao, log);
    Recorder tabela("tabela", log), sql("sql", log);
    tabela.SetTransaction(&transacao);
    sql.SetTransaction(&transacao);
    EXPECT_EQ(sql.Database(), &conexao);
    transacao.StartTransaction();
    transacao.Commit();
    EXPECT_EQ(log, (Log{"start", "tabela:ending", "sql:ending", "before commit", "after commit",
                        "tabela:ended", "sql:ended", "end"}));
    log.clear();
    transacao.Rollback();
    EXPECT_EQ(log, (Log{"start", "tabela:ending", "sql:ending", "before rollback", "after rollback",
                        "tabela:ended", "sql:ended", "end"}));
}

TEST_F(Transaction, RetainingEndsLeaveClientsAlone) {
    Log log;
    Recorder tabela("tabela", log);
    tabela.SetTransaction(&transacao);
    transacao.StartTransaction();
    logEvents(transacao, log);
    isc_tr_handle before = transacao.HandleValue();
    transacao.CommitRetaining();
    transacao.RollbackRetaining();
    EXPECT_EQ(transacao.HandleValue(), before);
    EXPECT_EQ(log, (Log{"before commit retaining", "after commit retaining",
                        "before rollback retaining", "after rollback retaining"}));
}

TEST_F(Transaction, AFreedClientSlotIsReusedAndKeepsItsPlaceInTheOrder) {
    Log log;
    Recorder second("second", log);
    {
        Recorder first("first", log);
        first.SetTransaction(&transacao);
        second.SetTransaction(&transacao);
    }
    Recorder third("third", log);
    third.SetTransaction(&transacao);
    transacao.Commit();
    EXPECT_EQ(log, (Log{"third:ending", "second:ending", "third:ended", "second:ended"}));
}

TEST_F(Transaction, StartIsRefusedWhenActiveWithoutConnectionsOrDetached) {
    transacao.StartTransaction();
    EXPECT_EQ(clientErrorOf([&] { transacao.StartTransaction(); }), 19);
    EXPECT_TRUE(transacao.Active());
    transacao.Rollback();

    TFbTransaction lonely;
    EXPECT_EQ(clientErrorOf([&] { lonely.StartTransaction(); }), 21);

    conexao.Close();
    EXPECT_EQ(clientErrorOf([&] { transacao.StartTransaction(); }), 15);
    EXPECT_FALSE(transacao.Active());
}

TEST_F(Transaction, AnEmptyParameterListStartsWithTheServersDefaults) {
    transacao.StartTransaction();
    EXPECT_EQ(transacao.TPB(), "");
    transacao.Commit();
}

TEST_F(Transaction, RefusedParameterLinesKeepItInactiveEveryTime) {
    transacao.SetParams({"read_committed", "rec_version", "nowait"});
    transacao.StartTransaction();
    EXPECT_EQ(transacao.TPB(), std::string("\3\17\21\7"));
    transacao.Commit();
    transacao.AddParam("autocommit");
    EXPECT_EQ(clientErrorOf([&] { transacao.StartTransaction(); }), 13);
    // Not started with the block of the earlier start either.
    EXPECT_EQ(clientErrorOf([&] { transacao.StartTransaction(); }), 13);
    EXPECT_FALSE(transacao.Active());
    transacao.SetParams({"concurrency", "wait", "Table=T"});
    EXPECT_EQ(clientErrorOf([&] { transacao.StartTransaction(); }), 115);
    EXPECT_FALSE(transacao.Active());
}

TEST_F(Transaction, AReadOnlyTransactionIsRefusedWritesByTheServer) {
    transacao.SetParams({"read", "read_committed", "rec_version"});
    EXPECT_THROW(insert(1), EFbFirebirdError);
    EXPECT_TRUE(transacao.Active());
    transacao.Rollback();
    transacao.SetParams({"write", "consistency", "lock_write=T"});
    insert(2);
    transacao.Commit();
    EXPECT_EQ(committedRows(), 1);
}

TEST_F(Transaction, ADatasetsRequestToEndIsIgnoredDuringAnExplicitEnd) {
    // A dataset that started the transaction asks for its end when it
    // closes; inside Commit the ending mark makes that a no-op.
    class Dataset : public TFbLink {
    public:
        int requests = 0;

    protected:
        void TransactionEnding() override {
            ++requests;
            Transaction()->EndOnClientRequest();
        }
    } tabela;
    tabela.SetTransaction(&transacao);
    insert(1);
    transacao.Commit();
    EXPECT_EQ(tabela.requests, 1);
    EXPECT_FALSE(transacao.Active());

    // Outside an explicit end the request ends it with DefaultAction.
    insert(2);
    transacao.SetDefaultAction(TARollback);
    transacao.EndOnClientRequest();
    EXPECT_FALSE(transacao.Active());
    EXPECT_EQ(committedRows(), 1);
}

TEST_F(Transaction, ClosingTheConnectionEndsEvenARetainingDefault) {
    transacao.SetDefaultAction(TACommitRetaining);
    insert(1);
    conexao.Close();
    EXPECT_FALSE(transacao.Active());
    EXPECT_EQ(dbtest::countRows(path, "T"), 1);
}

TEST_F(Transaction, AFailedCommitLeavesItActiveAndClearsTheEndingMark) {
    Log log;
    Recorder tabela("tabela", log);
    tabela.SetTransaction(&transacao);
    insert(1);
    tabela.failOn = "ending";
    EXPECT_THROW(transacao.Commit(), std::runtime_error);
    EXPECT_TRUE(transacao.Active());
    EXPECT_FALSE(transacao.InEndTransaction());
    tabela.failOn.clear();
    transacao.Commit();
    EXPECT_EQ(committedRows(), 1);
}

TEST_F(Transaction, DestroyingAnActiveTransactionEndsItWithItsDefaultAction) {
    Log log;
    Recorder sql("sql", log);
    {
        TFbTransaction keep, drop;
        keep.SetDefaultDatabase(&conexao);
        drop.SetDefaultDatabase(&conexao);
        drop.SetDefaultAction(TARollback);
        sql.SetTransaction(&keep);
        dbtest::exec(conexao, keep, "insert into T values (1)");
        dbtest::exec(conexao, drop, "insert into T values (2)");
    }
    EXPECT_EQ(sql.Transaction(), nullptr);
    EXPECT_EQ(sql.Database(), &conexao);
    EXPECT_EQ(log, (Log{"sql:ending", "sql:ended", "sql:transaction gone"}));
    EXPECT_EQ(committedRows(), 1);
}

TEST_F(Transaction, ClientsCheckConnectionAndTransactionBeforeWorking) {
    Log log;
    Recorder sql("sql", log);
    EXPECT_EQ(clientErrorOf([&] { sql.EnsureActive(); }), 24);
    sql.SetDatabase(&conexao);
    EXPECT_EQ(sql.Transaction(), &transacao); // the connection's default
    sql.SetTransaction(nullptr);
    EXPECT_EQ(clientErrorOf([&] { sql.EnsureActive(); }), 25);
    sql.SetTransaction(&transacao);
    sql.EnsureActive();
    EXPECT_TRUE(transacao.Active());
    transacao.Commit();
    conexao.Close();
    EXPECT_EQ(clientErrorOf([&] { sql.EnsureActive(); }), 15);
}

TEST_F(Transaction, ANewDefaultDatabaseIsGivenToClientsWithoutOne) {
    TFbTransaction tr;
    Log log;
    Recorder sql("sql", log);
    sql.SetTransaction(&tr);
    EXPECT_EQ(sql.Database(), nullptr);
    tr.SetDefaultDatabase(&conexao);
    EXPECT_EQ(sql.Database(), &conexao);
    EXPECT_GE(conexao.FindTransaction(&tr), 0);
    EXPECT_EQ(conexao.FindDefaultTransaction(), &transacao);
}

TEST_F(Transaction, RegistrationSlotsAreReusedAndTheInternalTransactionIsNoDefault) {
    TFbDatabase db;
    EXPECT_EQ(db.FindDefaultTransaction(), nullptr); // only the internal one exists
    EXPECT_EQ(db.FindTransaction(db.InternalTransaction()), 0);
    auto a = std::make_unique<TFbTransaction>();
    TFbTransaction b;
    int slotA = db.AddTransaction(a.get());
    db.AddTransaction(&b);
    EXPECT_EQ(a->FindDatabase(&db), 0);
    a.reset();
    TFbTransaction c;
    EXPECT_EQ(db.AddTransaction(&c), slotA);
    EXPECT_EQ(db.FindDefaultTransaction(), nullptr); // none names db as default
    c.SetDefaultDatabase(&db);
    EXPECT_EQ(db.FindDefaultTransaction(), &c);
}

TEST_F(Transaction, OneTransactionSpansTwoConnections) {
    std::string otherPath = dir.file("other.fdb");
    fbtest::createDatabase(otherPath, "create table T (ID integer);");
    {
        TFbDatabase other;
        dbtest::prepare(other, otherPath);
        other.Open();
        transacao.AddDatabase(&other);
        transacao.StartTransaction();
        insert(1);
        dbtest::exec(other, transacao, "insert into T values (1)");
        dbtest::exec(other, transacao, "insert into T values (2)");
        transacao.Commit();
        // Destroying the other connection unregisters it from the transaction.
    }
    EXPECT_EQ(transacao.FindDefaultDatabase(), &conexao);
    transacao.StartTransaction();
    transacao.Commit();
    EXPECT_EQ(committedRows(), 1);
    EXPECT_EQ(dbtest::countRows(otherPath, "T"), 2);
}

TEST_F(Transaction, DestroyingTheConnectionEndsItsWorkAndTellsClientsItIsGone) {
    Log log;
    Recorder sql("sql", log);
    auto db = std::make_unique<TFbDatabase>();
    dbtest::prepare(*db, path);
    TFbTransaction tr;
    tr.SetDefaultDatabase(db.get());
    sql.SetDatabase(db.get());
    EXPECT_EQ(sql.Transaction(), &tr);
    db->Open();
    tr.StartTransaction();
    db.reset();
    EXPECT_FALSE(tr.Active());
    EXPECT_EQ(tr.DefaultDatabase(), nullptr);
    EXPECT_EQ(sql.Database(), nullptr);
    EXPECT_EQ(sql.Transaction(), nullptr);
    EXPECT_EQ(log, (Log{"sql:ending", "sql:ended", "sql:disconnecting", "sql:disconnected",
                        "sql:database gone"}));
}

TEST_F(Transaction, IdleTimerAcceptsOnlyNonNegativeValues) {
    EXPECT_EQ(clientErrorOf([&] { transacao.SetIdleTimer(-5); }), 20);
    transacao.SetIdleTimer(0);
    EXPECT_EQ(transacao.IdleTimer(), 0);
}
