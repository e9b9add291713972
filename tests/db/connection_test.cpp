// Connecting to real database files, by the embedded engine and through the
// server, and what a connection does when it opens and closes.
#include "tests/db/dbtest.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using dbtest::clientErrorOf;
using dbtest::Recorder;

namespace {

template <typename E, typename F> std::string messageOf(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    ADD_FAILURE() << "nothing raised";
    return {};
}

class Connection : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("base.fdb");
        fbtest::createDatabase(path, "create table T (ID integer);");
    }
    fbtest::TempFolder dir;
    std::string path;
};

} // namespace

TEST_F(Connection, AttachesByTheEmbeddedEngineAndDetaches) {
    TFbDatabase db;
    dbtest::prepare(db, path);
    EXPECT_FALSE(db.Connected());
    db.Open();
    EXPECT_TRUE(db.Connected());
    EXPECT_EQ(db.DBSQLDialect(), 3);
    EXPECT_EQ(db.SQLDialect(), 3);
    db.Open(); // already open: nothing happens
    db.Close();
    EXPECT_FALSE(db.Connected());
    db.Close(); // already closed: nothing happens
    EXPECT_EQ(clientErrorOf([&] { db.DoDisconnect(false); }), 15);
}

TEST_F(Connection, AttachesThroughTheServer) {
    FBTEST_REQUIRE_SERVER();
    TFbDatabase db;
    dbtest::prepare(db, fbtest::serverName(path));
    db.Open();
    EXPECT_TRUE(db.Connected());
    TFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    dbtest::exec(db, tr, "insert into T values (7)");
    tr.Commit();
    db.Close();
    EXPECT_EQ(dbtest::countRows(path, "T"), 1);
}

TEST_F(Connection, AWrongPasswordThroughTheServerRaisesTheServersMessage) {
    FBTEST_REQUIRE_SERVER();
    TFbDatabase db;
    dbtest::prepare(db, fbtest::serverName(path), "not-the-password");
    try {
        db.Open();
        FAIL() << "attached with a wrong password";
    } catch (const EFbFirebirdError& e) {
        EXPECT_NE(std::string(e.what()).find("user name and password are not defined"),
                  std::string::npos)
            << e.what();
        EXPECT_NE(e.IBErrorCode(), 0);
    }
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(db.HandleValue(), 0u);
}

TEST_F(Connection, AMissingFileRaisesTheServersMessageLineByLine) {
    std::string missing = dir.file("nowhere.fdb");
    for (const std::string& name :
         {missing, fbtest::serverRunning() ? fbtest::serverName(missing) : missing}) {
        TFbDatabase db;
        dbtest::prepare(db, name);
        std::string message = messageOf<EFbFirebirdError>([&] { db.Open(); });
        EXPECT_NE(message.find("I/O error"), std::string::npos) << message;
        EXPECT_NE(message.find(missing), std::string::npos) << message;
        EXPECT_NE(message.find("\r\n"), std::string::npos) << message;
        EXPECT_NE(message.back(), '.');
        EXPECT_FALSE(db.Connected());
    }
}

TEST_F(Connection, AFileThatIsNoDatabaseRaisesTheServersMessage) {
    std::string notes = dir.file("notes.fdb");
    std::ofstream(notes) << std::string(20000, 'x');
    TFbDatabase db;
    dbtest::prepare(db, notes);
    std::string message = messageOf<EFbFirebirdError>([&] { db.Open(); });
    EXPECT_NE(message.find("not a valid database"), std::string::npos) << message;
    EXPECT_FALSE(db.Connected());
}

TEST_F(Connection, ADialect1DatabaseLowersTheClientDialect) {
    std::string old = dir.file("old.fdb");
    fbtest::createDatabase(old, "", 1);
    TFbDatabase db;
    dbtest::prepare(db, old);
    int warnings = 0;
    db.OnDialectDowngradeWarning = [&](TFbDatabase&) { ++warnings; };
    db.Open();
    EXPECT_EQ(db.DBSQLDialect(), 1);
    EXPECT_EQ(db.SQLDialect(), 1);
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(clientErrorOf([&] { db.SetSQLDialect(3); }), 87);
    EXPECT_EQ(db.SQLDialect(), 1);
    db.Close();
    EXPECT_EQ(db.DBSQLDialect(), 3);
    EXPECT_EQ(db.SQLDialect(), 1);
    db.SetSQLDialect(3);
    EXPECT_EQ(clientErrorOf([&] { db.SetSQLDialect(0); }), 87);
    EXPECT_EQ(db.SQLDialect(), 3);
}

TEST_F(Connection, ADialect3DatabaseKeepsALowerClientDialect) {
    TFbDatabase db;
    dbtest::prepare(db, path);
    db.SetSQLDialect(1);
    int warnings = 0;
    db.OnDialectDowngradeWarning = [&](TFbDatabase&) { ++warnings; };
    db.Open();
    EXPECT_EQ(db.SQLDialect(), 1);
    EXPECT_EQ(warnings, 0);
    db.SetSQLDialect(3);
    EXPECT_EQ(db.SQLDialect(), 3);
}

TEST_F(Connection, NameAndParametersAreFrozenWhileConnected) {
    TFbDatabase db;
    EXPECT_EQ(clientErrorOf([&] { db.Open(); }), 17);
    dbtest::prepare(db, path);
    db.Open();
    db.SetDatabaseName(path); // the same name is no change
    EXPECT_EQ(clientErrorOf([&] { db.SetDatabaseName(path + "x"); }), 16);
    EXPECT_EQ(clientErrorOf([&] { db.AddParam("lc_ctype=NONE"); }), 16);
    EXPECT_EQ(clientErrorOf([&] { db.ClearParams(); }), 16);
    EXPECT_EQ(clientErrorOf([&] { db.DoConnect(); }), 16);
    EXPECT_EQ(db.DatabaseName(), path);
    EXPECT_EQ(db.Params().size(), 2u);
    EXPECT_TRUE(db.Connected());
}

TEST_F(Connection, RefusedParameterLinesStopTheAttachEveryTime) {
    TFbDatabase db;
    dbtest::prepare(db, path);
    db.Open();
    db.Close();
    db.AddParam("page_size=4096");
    EXPECT_EQ(clientErrorOf([&] { db.Open(); }), 11);
    // A second attempt must not fall back on the block of the earlier attach.
    EXPECT_EQ(clientErrorOf([&] { db.Open(); }), 11);
    EXPECT_FALSE(db.Connected());
    db.SetParams({"", "isc_dpb_user_name=SYSDBA", "PASSWORD=plumtower", ""});
    db.Open();
    EXPECT_TRUE(db.Connected());
}

TEST_F(Connection, OpenAndCloseFireTheirEventsAndTellTheClients) {
    std::vector<std::string> log;
    TFbDatabase db;
    dbtest::prepare(db, path);
    db.BeforeConnect = [&](TFbDatabase& d) {
        log.push_back(d.Connected() ? "?" : "before connect");
    };
    db.AfterConnect = [&](TFbDatabase& d) { log.push_back(d.Connected() ? "after connect" : "?"); };
    db.BeforeDisconnect = [&](TFbDatabase&) { log.push_back("before disconnect"); };
    db.AfterDisconnect = [&](TFbDatabase& d) {
        log.push_back(d.Connected() ? "?" : "after disconnect");
    };
    Recorder grid("grid", log), sql("sql", log);
    grid.SetDatabase(&db);
    sql.SetDatabase(&db);
    db.Open();
    db.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"before connect", "after connect", "before disconnect",
                                             "grid:disconnecting", "sql:disconnecting",
                                             "grid:disconnected", "sql:disconnected",
                                             "after disconnect"}));
}

TEST_F(Connection, CloseCommitsAnActiveTransactionAfterTellingItsClients) {
    std::vector<std::string> log;
    {
        TFbDatabase conexao;
        TFbTransaction transacao;
        dbtest::prepare(conexao, path);
        transacao.SetDefaultDatabase(&conexao);
        conexao.SetDefaultTransaction(&transacao);
        transacao.BeforeCommit = [&](TFbTransaction&) { log.push_back("before commit"); };
        Recorder tabela("tabela", log);
        tabela.SetDatabase(&conexao);
        EXPECT_EQ(tabela.Transaction(), &transacao);
        conexao.Open();
        tabela.EnsureActive();
        dbtest::exec(conexao, transacao, "insert into T values (1)");
        dbtest::exec(conexao, transacao, "insert into T values (2)");
        conexao.Close();
        EXPECT_FALSE(transacao.Active());
    }
    // The forced end fires no transaction events.
    EXPECT_EQ(log, (std::vector<std::string>{"tabela:ending", "tabela:ended",
                                             "tabela:disconnecting", "tabela:disconnected"}));
    EXPECT_EQ(dbtest::countRows(path, "T"), 2);
}

TEST_F(Connection, AClientThatRefusesToCloseStopsTheDetach) {
    std::vector<std::string> log;
    TFbDatabase db;
    dbtest::prepare(db, path);
    Recorder grid("grid", log);
    grid.SetDatabase(&db);
    db.Open();
    grid.failOn = "disconnecting";
    EXPECT_THROW(db.Close(), std::runtime_error);
    EXPECT_TRUE(db.Connected());
    grid.failOn.clear();
    db.Close();
    EXPECT_FALSE(db.Connected());
}

TEST_F(Connection, AnAutoCommitDefaultTransactionStartsAtAttach) {
    TFbDatabase db;
    TFbTransaction tr;
    dbtest::prepare(db, path);
    tr.SetAutoCommit(true);
    db.SetDefaultTransaction(&tr);
    EXPECT_EQ(tr.FindDefaultDatabase(), &db);
    db.Open();
    EXPECT_TRUE(tr.Active());
    db.Close();
    EXPECT_FALSE(tr.Active());
}

TEST_F(Connection, TheLoginHandlerCanSupplyTheCredentials) {
    TFbDatabase db;
    db.SetDatabaseName(path);
    db.SetParams({"user_name=SYSDBA"});
    EXPECT_TRUE(db.LoginPrompt());
    std::vector<std::string> seen;
    db.OnLogin = [&](TFbDatabase&, std::vector<std::string>& params) {
        seen = params;
        params.push_back("password=" + std::string(fbtest::kPassword));
    };
    db.Open();
    EXPECT_TRUE(db.Connected());
    EXPECT_EQ(seen, std::vector<std::string>{"user_name=SYSDBA"});
    // The password was taken out of the visible lines.
    EXPECT_EQ(db.Params(), std::vector<std::string>{"user_name=SYSDBA"});
}

TEST_F(Connection, IdleTimerAcceptsOnlyNonNegativeValues) {
    TFbDatabase db;
    EXPECT_EQ(db.IdleTimer(), 0);
    EXPECT_EQ(clientErrorOf([&] { db.SetIdleTimer(-1); }), 20);
    db.SetIdleTimer(0);
    EXPECT_EQ(db.IdleTimer(), 0);
}

TEST_F(Connection, ADatabaseCanBeCreatedThroughTheLayer) {
    std::string fresh = dir.file("fresh.fdb");
    TFbDatabase::CreateDatabase("CREATE DATABASE '" + fresh + "' USER 'SYSDBA' PASSWORD '" +
                                fbtest::kPassword + "' DEFAULT CHARACTER SET NONE");
    TFbDatabase db;
    dbtest::prepare(db, fresh);
    db.Open();
    db.ExecuteImmediate("create table PESSOAS (NOME varchar(20))");
    db.ExecuteImmediate("insert into PESSOAS values ('Ana')");
    EXPECT_FALSE(db.InternalTransaction()->Active());
    EXPECT_THROW(db.ExecuteImmediate("insert into NADA values (1)"), EFbFirebirdError);
    EXPECT_FALSE(db.InternalTransaction()->Active());
    db.Close();
    EXPECT_EQ(dbtest::countRows(fresh, "PESSOAS"), 1);
}

TEST_F(Connection, ANonOwnerWithoutGrantsGetsThePermissionClass) {
    FBTEST_REQUIRE_SERVER();
    std::string user = "BRV_U" + std::to_string(::getpid());
    TFbDatabase admin;
    dbtest::prepare(admin, fbtest::serverName(path));
    admin.Open();
    admin.ExecuteImmediate("create user " + user + " password 'segredo'");
    struct DropUser {
        TFbDatabase& db;
        std::string user;
        ~DropUser() {
            try {
                db.ExecuteImmediate("drop user " + user);
            } catch (...) {
            }
        }
    } dropUser{admin, user};

    TFbDatabase db;
    db.SetDatabaseName(fbtest::serverName(path));
    db.SetLoginPrompt(false);
    db.SetParams({"user_name=" + user, "password=segredo"});
    db.Open();
    TFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    try {
        dbtest::exec(db, tr, "delete from T");
        FAIL() << "deleted without a grant";
    } catch (const EFbFirebirdPermissionError& e) {
        EXPECT_EQ(e.SQLCode(), -551);
        EXPECT_NE(std::string(e.what()).find("no permission for DELETE access to TABLE T"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_TRUE(tr.Active());
    tr.Rollback();
    db.Close();
}
