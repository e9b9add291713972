// The owners of client handles and the status captured when a call fails:
// what clean-up after a failure may and may not disturb.
#include "db/FbSQL.h"
#include "tests/db/dbtest.h"
#include "tests/support/privateserver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using Words = std::vector<ISC_STATUS>;

Words vectorNow() {
    return Words(StatusVector(), StatusVector() + ISC_STATUS_LENGTH);
}

void setStatus(std::initializer_list<ISC_STATUS> words) {
    std::fill(StatusVector(), StatusVector() + ISC_STATUS_LENGTH, 0);
    std::copy(words.begin(), words.end(), StatusVector());
}

// A connection and transaction on a fresh file, for handles of our own.
class Handles : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("h.fdb");
        fbtest::createDatabase(path, "create table T (ID integer, B blob sub_type text);"
                                     "insert into T values (1, 'um');");
        dbtest::prepare(db, path);
        tr.SetDefaultDatabase(&db);
        db.Open();
        tr.StartTransaction();
    }

    TFbStatementHandle allocate() {
        TFbStatementHandle st;
        CheckStatus(FbApi().isc_dsql_alloc_statement2(StatusVector(), db.Handle(), st.Ptr()));
        return st;
    }

    /// Whether the library still knows the statement `handle`.
    bool known(FB_API_HANDLE handle) {
        TFbStatus status(FbApi().isc_dsql_prepare(StatusVector(), tr.Handle(), &handle, 0,
                                                  "select 1 from RDB$DATABASE", 3, nullptr));
        EXPECT_TRUE(!status || status.Has(isc_bad_stmt_handle)) << "unexpected refusal";
        return !status;
    }

    fbtest::TempFolder dir;
    std::string path;
    TFbDatabase db;
    TFbTransaction tr;
};

} // namespace

TEST(Status, ACapturedFailureOutlivesTheVectorItCameFrom) {
    ASSERT_TRUE(LoadClientLibrary());
    setStatus({isc_arg_gds, isc_no_priv, isc_arg_string, reinterpret_cast<ISC_STATUS>("UPDATE"),
               isc_arg_string, reinterpret_cast<ISC_STATUS>("TABLE"), isc_arg_string,
               reinterpret_cast<ISC_STATUS>("T"), isc_arg_end});
    TFbStatus status(isc_no_priv);
    // A clean-up call that fails writes its own error into the thread's vector.
    isc_stmt_handle bogus = 0xBADu;
    ASSERT_GT(FbApi().isc_dsql_free_statement(StatusVector(), &bogus, DSQL_drop), 0);
    ASSERT_EQ(StatusVector()[1], isc_bad_stmt_handle);
    try {
        status.Raise();
        FAIL() << "nothing raised";
    } catch (const EFbFirebirdPermissionError& e) {
        EXPECT_EQ(std::string(e.what()), "no permission for UPDATE access to TABLE T");
        EXPECT_EQ(e.SQLCode(), -551);
        EXPECT_EQ(e.IBErrorCode(), isc_no_priv);
    }
    EXPECT_FALSE(TFbStatus(0).Failed());
    EXPECT_NO_THROW(TFbStatus(0).Check());
}

TEST(Status, CodesAreFoundInAnyClusterAndALostConnectionIsRecognised) {
    ASSERT_TRUE(LoadClientLibrary());
    const auto text = reinterpret_cast<ISC_STATUS>("x");
    struct Case {
        std::initializer_list<ISC_STATUS> words;
        ISC_STATUS sought;
        bool has, lost;
    } cases[] = {
        {{isc_arg_gds, isc_bad_stmt_handle, isc_arg_end}, isc_bad_stmt_handle, true, false},
        {{isc_arg_gds, isc_network_error, isc_arg_string, text, isc_arg_end},
         isc_random,
         false,
         true},
        // A counted string takes three words; the cluster after it is still read.
        {{isc_arg_gds, isc_random, isc_arg_cstring, 1, text, isc_arg_gds, isc_att_shutdown,
          isc_arg_end},
         isc_att_shutdown,
         true,
         true},
        {{isc_arg_gds, isc_deadlock, isc_arg_gds, isc_lost_db_connection, isc_arg_end},
         isc_deadlock,
         true,
         true},
    };
    for (const Case& c : cases) {
        setStatus(c.words);
        TFbStatus status = TFbStatus::Current();
        setStatus({isc_arg_end});
        EXPECT_EQ(status.Has(c.sought), c.has) << c.sought;
        EXPECT_EQ(status.ConnectionLost(), c.lost) << c.sought;
        EXPECT_EQ(status.ErrorCode(), *(c.words.begin() + 1));
    }
}

TEST_F(Handles, ReleasingLeavesTheThreadsVectorAloneEvenWhenItFails) {
    setStatus({isc_arg_gds, isc_random, isc_arg_end});
    const Words before = vectorNow();
    TFbStatementHandle live = allocate();
    setStatus({isc_arg_gds, isc_random, isc_arg_end});
    live.Reset();
    EXPECT_FALSE(live);
    // Handles the library does not know: every release fails, quietly.
    TFbAttachmentHandle att;
    TFbTransactionHandle trh;
    TFbStatementHandle st;
    TFbBlobHandle blob;
    *att.Ptr() = *trh.Ptr() = *st.Ptr() = *blob.Ptr() = 0xBADu;
    att.Reset();
    trh.Reset();
    st.Reset();
    blob.Reset();
    EXPECT_FALSE(att || trh || st || blob);
    EXPECT_EQ(vectorNow(), before);
}

TEST_F(Handles, AMovedFromOwnerReleasesNothingAndAssignmentReleasesTheOldHandle) {
    TFbStatementHandle first = allocate();
    const FB_API_HANDLE raw = first.Get();
    TFbStatementHandle moved(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(moved.Get(), raw);
    first.Reset();
    { TFbStatementHandle gone(std::move(first)); }
    EXPECT_TRUE(known(raw)) << "the moved-from owner dropped the statement";

    TFbStatementHandle other = allocate();
    const FB_API_HANDLE replaced = other.Get();
    other = std::move(moved);
    EXPECT_EQ(other.Get(), raw);
    EXPECT_FALSE(known(replaced)) << "the replaced statement was kept";
    EXPECT_TRUE(known(raw));
    other = std::move(other);
    EXPECT_TRUE(known(raw)) << "assignment to itself released the handle";
}

TEST_F(Handles, EachKindIsGivenBackTheWayItEnds) {
    const TFbClientApi& api = FbApi();
    FB_API_HANDLE raw = 0;
    {
        TFbTransactionHandle own;
        CheckStatus(api.isc_dsql_execute_immediate(StatusVector(), db.Handle(), own.Ptr(), 0,
                                                   "set transaction", 3, nullptr));
        CheckStatus(api.isc_dsql_execute_immediate(StatusVector(), db.Handle(), own.Ptr(), 0,
                                                   "insert into T (ID) values (2)", 3, nullptr));
        raw = own.Get();
    }
    EXPECT_TRUE(
        TFbStatus(api.isc_commit_transaction(StatusVector(), &raw)).Has(isc_bad_trans_handle));

    raw = allocate().Get();
    EXPECT_FALSE(known(raw));
    tr.Commit(); // the next reading sees what the ended transaction kept

    auto q = std::make_unique<TFbSQL>();
    q->SetDatabase(&db);
    q->SQL().SetText("select B, (select count(*) from T) from T");
    q->ExecQuery();
    EXPECT_EQ(q->ColumnAt(1).AsLong(), 1) << "the insert was rolled back";
    ISC_QUAD id = q->ColumnAt(0).AsQuad();
    {
        TFbBlobHandle blob;
        CheckStatus(api.isc_open_blob2(StatusVector(), db.Handle(), tr.Handle(), blob.Ptr(), &id, 0,
                                       nullptr));
        raw = blob.Get();
    }
    char piece[8];
    unsigned short got = 0;
    EXPECT_TRUE(TFbStatus(api.isc_get_segment(StatusVector(), &raw, &got, sizeof piece, piece))
                    .Has(isc_bad_segstr_handle));

    {
        TFbAttachmentHandle att;
        const std::string dpb = GenerateDPB(db.Params());
        CheckStatus(api.isc_attach_database(StatusVector(), static_cast<short>(path.size()),
                                            path.c_str(), att.Ptr(), static_cast<short>(dpb.size()),
                                            dpb.data()));
        raw = att.Get();
    }
    char item = isc_info_db_sql_dialect, reply[16];
    EXPECT_TRUE(
        TFbStatus(api.isc_database_info(StatusVector(), &raw, 1, &item, sizeof reply, reply))
            .Has(isc_bad_db_handle));
}

TEST_F(Handles, RemovingAPairingFromEitherSideClearsBothHalvesAndDefaults) {
    for (bool fromConnection : {true, false}) {
        TFbTransaction other;
        other.SetDefaultDatabase(&db);
        db.SetDefaultTransaction(&other);
        ASSERT_GE(other.FindDatabase(&db), 0);
        if (fromConnection)
            db.RemoveTransaction(db.FindTransaction(&other));
        else
            other.RemoveDatabase(other.FindDatabase(&db));
        EXPECT_EQ(db.FindTransaction(&other), -1) << fromConnection;
        EXPECT_EQ(other.FindDatabase(&db), -1) << fromConnection;
        EXPECT_EQ(db.DefaultTransaction(), nullptr) << fromConnection;
        EXPECT_EQ(other.DefaultDatabase(), nullptr) << fromConnection;
    }
    EXPECT_GE(db.FindTransaction(&tr), 0) << "other pairings stay";
}

TEST(HandlesOfADeadConnection, AreReleasedWithoutAnError) {
    FBTEST_PRIVATE_SERVER(srv);
    std::string path = srv.file("d.fdb");
    fbtest::createDatabase(path, "create table T (ID integer, B blob);"
                                 "insert into T values (1, null);");
    TFbDatabase db;
    dbtest::prepare(db, srv.name(path));
    TFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    db.SetDefaultTransaction(&tr);
    db.Open();
    auto q = std::make_unique<TFbSQL>();
    q->SetDatabase(&db);
    q->SQL().SetText("select ID from T");
    q->ExecQuery();
    ASSERT_TRUE(q->IsOpen());
    TFbStatementHandle st;
    CheckStatus(FbApi().isc_dsql_alloc_statement2(StatusVector(), db.Handle(), st.Ptr()));
    TFbBlobHandle blob;
    ISC_QUAD id{};
    CheckStatus(FbApi().isc_create_blob2(StatusVector(), db.Handle(), tr.Handle(), blob.Ptr(), &id,
                                         0, nullptr));
    TFbAttachmentHandle second;
    const std::string dpb = GenerateDPB(db.Params());
    const std::string name = srv.name(path);
    CheckStatus(FbApi().isc_attach_database(StatusVector(), static_cast<short>(name.size()),
                                            name.c_str(), second.Ptr(),
                                            static_cast<short>(dpb.size()), dpb.data()));
    srv.kill();

    setStatus({isc_arg_gds, isc_random, isc_arg_end});
    const Words before = vectorNow();
    blob.Reset();
    st.Reset();
    second.Reset();
    EXPECT_EQ(vectorNow(), before);
    EXPECT_FALSE(blob || st || second);
    // The layer's own objects go the same way: the destructors run their
    // forced ends against the dead connection and raise nothing.
    q.reset();
    EXPECT_NO_THROW(db.Close());
    EXPECT_FALSE(db.Connected());
    EXPECT_FALSE(tr.Active());
}
