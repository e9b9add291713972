// Loading the client library, the error family and how server messages are
// composed. Each test leaves the binding unloaded and set to detection.
#include "db/Fb.h"
#include "db/FbDatabase.h"
#include "db/FbIntf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

class ClientLibrary : public ::testing::Test {
protected:
    void TearDown() override {
        UnloadClientLibrary();
        SetClientLibraryName("");
    }
};

template <typename E, typename F> E caught(F f) {
    try {
        f();
    } catch (const E& e) {
        return e;
    }
    ADD_FAILURE() << "nothing raised";
    return E("", 0, 0);
}

void setStatus(std::initializer_list<ISC_STATUS> words) {
    ISC_STATUS* sv = StatusVector();
    std::fill(sv, sv + ISC_STATUS_LENGTH, 0);
    std::copy(words.begin(), words.end(), sv);
}

ISC_STATUS text(const char* s) {
    return reinterpret_cast<ISC_STATUS>(s);
}

} // namespace

TEST_F(ClientLibrary, DetectionFindsTheInstalledClientAsVersion6) {
    ASSERT_TRUE(LoadClientLibrary());
    EXPECT_EQ(ClientLibraryName(), "libfbclient.so.2");
    EXPECT_EQ(ClientLibraryVersion(), 6);
    EXPECT_NE(FbApi().isc_attach_database, nullptr);
    EXPECT_NE(FbApi().isc_rollback_retaining, nullptr);
    EXPECT_NE(FbApi().fb_interpret, nullptr);
    std::printf("client library: %s, version %d\n", ClientLibraryName().c_str(),
                ClientLibraryVersion());
}

TEST_F(ClientLibrary, AnExplicitLibraryThatDoesNotExistGivesClientError1) {
    SetClientLibraryName("libfbclient-that-is-not-here.so");
    auto e = caught<EFbClientError>([] { TFbDatabase db; });
    EXPECT_EQ(e.SQLCode(), 1);
    EXPECT_STREQ(e.what(), "Firebird Client library not found in the path. Please install "
                           "Firebird to use this functionality");
    EXPECT_FALSE(LoadClientLibrary());
    EXPECT_EQ(caught<EFbClientError>([] { TFbTransaction tr; }).SQLCode(), 1);
}

TEST_F(ClientLibrary, SwitchingAConnectionToAMissingLibraryFailsAndAutoDetectRecovers) {
    TFbDatabase db;
    bool asked = false;
    db.OnClientLibChange = [&](TFbDatabase&, TFbClientLib lib, bool&) {
        asked = true;
        EXPECT_EQ(lib, clFBEmbed);
    };
    EXPECT_EQ(caught<EFbClientError>([&] { db.SetClientLib(clFBEmbed); }).SQLCode(), 1);
    EXPECT_TRUE(asked);
    EXPECT_FALSE(LoadClientLibrary());
    db.OnClientLibChange = nullptr;
    db.SetClientLib(clAutoDetect);
    EXPECT_TRUE(LoadClientLibrary());
    EXPECT_EQ(ClientLibraryName(), "libfbclient.so.2");
}

TEST_F(ClientLibrary, TheChangeHandlerCanAbortALibrarySwitch) {
    TFbDatabase db;
    db.OnClientLibChange = [](TFbDatabase&, TFbClientLib, bool& abort) { abort = true; };
    db.SetClientLib(clFBEmbed);
    EXPECT_EQ(db.ClientLib(), clAutoDetect);
    EXPECT_EQ(ClientLibraryName(), "libfbclient.so.2");
}

TEST_F(ClientLibrary, ALibraryWithoutRollbackRetainingLoadsAsVersion5WithSubstitutes) {
    SetClientLibraryName(FBSTUB5_PATH);
    ASSERT_TRUE(LoadClientLibrary());
    EXPECT_EQ(ClientLibraryVersion(), 5);
    EXPECT_EQ(FbApi().fb_interpret, nullptr);
    const TFbClientApi& api = FbApi();
    struct Case {
        const char* shown;
        std::function<void()> call;
    } cases[] = {
        {"isc_rollback_retaining", [&] { api.isc_rollback_retaining(nullptr, nullptr); }},
        {"isc_service_attach",
         [&] { api.isc_service_attach(nullptr, 0, nullptr, nullptr, 0, nullptr); }},
        {"isc_service_detach", [&] { api.isc_service_detach(nullptr, nullptr); }},
        {"isc_service_query",
         [&] {
             api.isc_service_query(nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr, 0, nullptr);
         }},
        {"isc_service_start",
         [&] { api.isc_service_start(nullptr, nullptr, nullptr, 0, nullptr); }},
        {"isc_decode_sql_date", [&] { api.isc_decode_sql_date(nullptr, nullptr); }},
        {"isc_decode_sql_time", [&] { api.isc_decode_sql_time(nullptr, nullptr); }},
        {"isc_decode_timestamp", [&] { api.isc_decode_timestamp(nullptr, nullptr); }},
        {"isc_encode_sql_date", [&] { api.isc_encode_sql_date(nullptr, nullptr); }},
        {"isc_encode_sql_time", [&] { api.isc_encode_sql_time(nullptr, nullptr); }},
        {"isc_encode_sql_timestamp", [&] { api.isc_encode_timestamp(nullptr, nullptr); }},
    };
    for (const Case& c : cases) {
        auto e = caught<EFbClientError>(c.call);
        EXPECT_EQ(e.SQLCode(), 3) << c.shown;
        EXPECT_EQ(std::string(e.what()), std::string(c.shown) +
                                             " is an InterBase 6 function. Please upgrade to "
                                             "InterBase 6 to use this functonality");
    }
}

TEST_F(ClientLibrary, WithoutFbInterpretTheClassicInterpreterComposesTheMessage) {
    SetClientLibraryName(FBSTUB5_PATH);
    ASSERT_TRUE(LoadClientLibrary());
    setStatus({isc_arg_gds, isc_no_priv, isc_arg_string, text("first."), isc_arg_gds, isc_random,
               isc_arg_string, text("second."), isc_arg_end});
    try {
        RaiseServerError();
    } catch (const EFbFirebirdPermissionError& e) {
        EXPECT_EQ(std::string(e.what()), "first.\r\nsecond");
        EXPECT_EQ(e.SQLCode(), -551);
        EXPECT_EQ(e.IBErrorCode(), isc_no_priv);
    }
}

TEST_F(ClientLibrary, ALibraryMissingARequiredEntryPointIsNotBound) {
    SetClientLibraryName(FBSTUB_INCOMPLETE_PATH);
    try {
        LoadClientLibrary();
        ADD_FAILURE() << "loaded";
    } catch (const EOSError& e) {
        EXPECT_NE(std::string(e.what()).find("isc_modify_user"), std::string::npos) << e.what();
    }
    EXPECT_EQ(FbApi().isc_attach_database, nullptr);
    // A later attempt tries again and fails the same way.
    EXPECT_THROW(RequireClientLibrary(), EOSError);
}

TEST_F(ClientLibrary, UnloadingAndLoadingAgainGivesAWorkingBinding) {
    ASSERT_TRUE(LoadClientLibrary());
    UnloadClientLibrary();
    EXPECT_EQ(FbApi().isc_attach_database, nullptr);
    SetClientLibraryName(FBSTUB5_PATH);
    ASSERT_TRUE(LoadClientLibrary());
    EXPECT_EQ(ClientLibraryVersion(), 5);
    UnloadClientLibrary();
    SetClientLibraryName("");
    ASSERT_TRUE(LoadClientLibrary());
    EXPECT_EQ(ClientLibraryVersion(), 6);
}

TEST_F(ClientLibrary, ServerMessagesAreJoinedByCrLfWithoutTheFinalPeriod) {
    ASSERT_TRUE(LoadClientLibrary());
    setStatus({isc_arg_gds, isc_random, isc_arg_string, text("first line."), isc_arg_gds,
               isc_random, isc_arg_string, text("second line."), isc_arg_end});
    auto e = caught<EFbFirebirdError>([] { RaiseServerError(); });
    EXPECT_EQ(std::string(e.what()), "first line.\r\nsecond line");
    EXPECT_EQ(e.IBErrorCode(), isc_random);
    EXPECT_EQ(e.SQLCode(), FbApi().isc_sqlcode(StatusVector()));

    // A line that already ends with a line feed gets no second break.
    setStatus({isc_arg_gds, isc_random, isc_arg_string, text("one\n"), isc_arg_gds, isc_random,
               isc_arg_string, text("two"), isc_arg_end});
    EXPECT_EQ(ServerErrorMessage(StatusVector()), "one\ntwo");
}

TEST_F(ClientLibrary, SqlCode551IsThePermissionClassAndAllAreEFbError) {
    ASSERT_TRUE(LoadClientLibrary());
    setStatus({isc_arg_gds, isc_no_priv, isc_arg_string, text("DELETE"), isc_arg_string,
               text("TABLE"), isc_arg_string, text("T"), isc_arg_end});
    try {
        RaiseServerError();
    } catch (const EFbFirebirdPermissionError& e) {
        EXPECT_EQ(e.SQLCode(), -551);
        EXPECT_EQ(e.IBErrorCode(), isc_no_priv);
        EXPECT_EQ(std::string(e.what()), "no permission for DELETE access to TABLE T");
    }
    setStatus({isc_arg_gds, isc_io_error, isc_arg_string, text("open"), isc_arg_string, text("/x"),
               isc_arg_end});
    EXPECT_THROW(CheckStatus(1), EFbFirebirdError);
    EXPECT_THROW(CheckStatus(1), EFbError);
    EXPECT_THROW(CheckStatus(1), EDatabaseError);
    EXPECT_EQ(CheckStatus(0), 0);
    EXPECT_EQ(CheckStatus(isc_io_error, false), isc_io_error);
}

TEST(ClientErrors, TheTableHoldsEveryCodeWithItsText) {
    struct Case {
        int code;
        const char* text;
    } cases[] = {
        {0, "Unknown error"},
        {15, "Cannot perform operation -- DB is not open"},
        {16, "Cannot perform operation -- DB is currently open"},
        {43, "Cannot \"open\" a non-select statement. Use ExecQuery"},
        {55, "SQL Parse Error:\r\n\r\n%s"},
        {87, "SQL Dialect Invalid"},
        {99, "SEOFReached"},
        {116, "Generator %s is not defined"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(ClientErrorFormat(c.code), c.text) << c.code;
    EXPECT_STREQ(ClientErrorFormat(-1), "Unknown error");
    EXPECT_STREQ(ClientErrorFormat(kClientErrorCount), "Unknown error");
}

TEST(ClientErrors, FormatsInsertTheirArgumentsInOrder) {
    EXPECT_EQ(FormatClientError(46, {std::string("P0")}), "Field \"P0\" not found");
    EXPECT_EQ(FormatClientError(35, {520LL}), "Unknown SQL Data type (520)");
    EXPECT_EQ(FormatClientError(59, {5LL, 255LL}),
              "Windows API error. (Windows error 5 [$000000ff])");
    EXPECT_EQ(FormatClientError(61, {1LL, 2LL}),
              "Column types don't match. (From index: 1; To index: 2)");
    EXPECT_EQ(FormatClientError(18, {std::string("ignored")}), "Transaction is not active");
    EXPECT_EQ(FormatClientError(55, {std::string("Parameter name expected")}),
              "SQL Parse Error:\r\n\r\nParameter name expected");
}

TEST(ClientErrors, RaisedClientErrorsCarryTheirCodeAsSqlCode) {
    try {
        RaiseClientError(27, {std::string("NOME")});
    } catch (const EFbError& e) {
        EXPECT_NE(dynamic_cast<const EFbClientError*>(&e), nullptr);
        EXPECT_EQ(e.SQLCode(), 27);
        EXPECT_EQ(e.IBErrorCode(), 0);
        EXPECT_EQ(e.Message(), "XSQLDA name does not exist (NOME)");
    }
}

TEST(StatusVectors, EachThreadHasItsOwn) {
    ISC_STATUS* mine = StatusVector();
    mine[1] = 42;
    ISC_STATUS* other = nullptr;
    ISC_STATUS otherValue = -1;
    std::thread t([&] {
        other = StatusVector();
        otherValue = other[1];
    });
    t.join();
    EXPECT_NE(mine, other);
    EXPECT_EQ(otherValue, 0);
    EXPECT_EQ(mine[1], 42);
}
