// Stopping a statement that waits for another user's lock: two attachments
// through the server, one holding an uncommitted change, the other's UPDATE
// run on a thread of its own and cancelled from the test's thread.
#include "db/FbSQL.h"
#include "tests/db/dbtest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using dbtest::clientErrorOf;

namespace {

/// One user: a connection through the server and its transaction.
struct Usuario {
    explicit Usuario(const std::string& name) {
        dbtest::prepare(db, name);
        db.Open();
        tr.SetDefaultDatabase(&db);
        q.SetDatabase(&db);
        q.SetTransaction(&tr);
    }
    void exec(const std::string& text) {
        q.SQL().SetText(text);
        q.ExecQuery();
    }
    TFbDatabase db;
    TFbTransaction tr;
    TFbSQL q;
};

class Cancel : public ::testing::Test {
protected:
    void SetUp() override {
        FBTEST_REQUIRE_SERVER();
        ASSERT_TRUE(TFbDatabase::CanCancelOperation()) << "the client library cannot cancel";
        path = dir.file("base.fdb");
        fbtest::createDatabase(path, "create table T (ID integer not null primary key, V integer);"
                                     "insert into T values (1, 1); insert into T values (2, 1);");
        outro = std::make_unique<Usuario>(fbtest::serverName(path));
        eu = std::make_unique<Usuario>(fbtest::serverName(path));
        outro->exec("update T set V = 5 where ID = 1"); // not committed: the row is locked
    }

    /// The values of T as the server has them committed.
    std::string committed() {
        return fbtest::isql(fbtest::serverName(path),
                            "set heading off; select list(V) from (select V from T order by ID);");
    }

    fbtest::TempFolder dir;
    std::string path;
    std::unique_ptr<Usuario> outro, eu;
};

} // namespace

TEST_F(Cancel, StopsTheWaitingStatementAndLeavesItsTransactionUsable) {
    TFbCancellableCall call(eu->db, [&] { eu->exec("update T set V = 9"); });
    EXPECT_FALSE(call.WaitFor(300ms)) << "the UPDATE waits for the other user's lock";
    EXPECT_TRUE(call.Cancel());
    ASSERT_TRUE(call.WaitFor(5s));
    try {
        call.Get();
        FAIL() << "a cancelled statement reported success";
    } catch (const EFbFirebirdError& e) {
        EXPECT_EQ(e.IBErrorCode(), isc_cancelled) << e.what();
    }
    EXPECT_FALSE(call.Cancel()) << "nothing runs any more";

    // The transaction goes on: a row nobody holds is written and committed.
    eu->exec("update T set V = 7 where ID = 2");
    eu->tr.Commit();
    outro->tr.Rollback();
    EXPECT_NE(committed().find("1,7"), std::string::npos) << committed();
}

TEST_F(Cancel, WorkThatGotThroughAfterACancelStillReportsIt) {
    // Nothing reaches the server: the cancel finds nothing to stop, yet the
    // owner must not keep the work's result.
    std::atomic<bool> livre{false};
    TFbCancellableCall call(eu->db, [&] {
        while (!livre)
            std::this_thread::sleep_for(1ms);
    });
    EXPECT_FALSE(call.Cancel());
    EXPECT_TRUE(call.CancelRequested());
    livre = true;
    EXPECT_EQ(clientErrorOf([&] { call.Get(); }), 10);

    // Without a cancel, work that ends reports what it threw, or nothing.
    TFbCancellableCall ok(eu->db, [&] { eu->exec("update T set V = 3 where ID = 2"); });
    EXPECT_NO_THROW(ok.Get());
    TFbCancellableCall erro(eu->db, [&] { eu->exec("update NADA set V = 3"); });
    EXPECT_THROW(erro.Get(), EFbFirebirdError);
}

TEST_F(Cancel, DroppingAWaitingCallCancelsItInsteadOfWaitingForTheOtherUser) {
    const auto inicio = std::chrono::steady_clock::now();
    {
        TFbCancellableCall call(eu->db, [&] { eu->exec("update T set V = 9"); });
        EXPECT_FALSE(call.WaitFor(200ms));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, 3s);
    eu->tr.Rollback();
    outro->tr.Rollback();
    EXPECT_NE(committed().find("1,1"), std::string::npos) << committed();
}
