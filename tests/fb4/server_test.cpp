// The Firebird 4 test server through the access layer. Built twice: on this
// machine with its Firebird 3 client library, and inside the server's
// Debian 13 chroot with Firebird 4's (scripts/fb4-tests.sh).
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "tests/support/fbtest.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace {

class Fb4Server : public ::testing::Test {
protected:
    void SetUp() override {
        FBTEST_REQUIRE_FB4_SERVER();
        base.emplace("CREATE TABLE PESSOA (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(20));"
                     "INSERT INTO PESSOA VALUES (1, 'um');");
    }
    std::optional<fbtest::Fb4Database> base;
};

TEST_F(Fb4Server, ReachedByTheClientLibraryOfTheBuildWithItsDefaultSecurity) {
    TFbDatabase db;
    TFbTransaction tr;
    db.SetDatabaseName(base->name());
    db.SetLoginPrompt(false);
    db.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
    db.Open();
    tr.SetDefaultDatabase(&db);
    db.SetDefaultTransaction(&tr);
    // Firebird 3's library with Debian 12's headers, Firebird 4's in the chroot.
    EXPECT_EQ(ClientLibraryMajorVersion(), FB_API_VER / 10);
    TFbSQL q;
    q.SetDatabase(&db);
    q.SetTransaction(&tr);
    q.SQL().SetText("select rdb$get_context('SYSTEM', 'ENGINE_VERSION'), mon$auth_method,"
                    " rdb$get_context('SYSTEM', 'WIRE_ENCRYPTED') from mon$attachments"
                    " where mon$attachment_id = current_connection");
    q.ExecQuery();
    EXPECT_EQ(q.ColumnAt(0).AsString().substr(0, 2), "4.");
    EXPECT_EQ(q.ColumnAt(1).AsString(), "Srp256");
    EXPECT_EQ(q.ColumnAt(2).AsString(), "TRUE");
    q.Close();

    q.SQL().SetText("insert into PESSOA values (2, :nome)");
    q.ParamNamed("NOME").SetAsString("três");
    q.ExecQuery();
    tr.Commit();
    TFbTable table;
    table.SetDatabase(&db);
    table.SetTransaction(&tr);
    table.SetTableName("PESSOA");
    table.Open();
    std::string rows;
    for (table.First(); !table.Eof(); table.Next())
        rows +=
            table.FieldByName("ID").AsString() + "=" + table.FieldByName("NOME").AsString() + ";";
    EXPECT_EQ(rows, "1=um;2=três;");
}

TEST_F(Fb4Server, RefusesClientsThatWillNotEncryptOrProveThePasswordWithSrp256) {
    const std::pair<const char*, ISC_STATUS> cases[] = {
        {"", 0},
        {"WireCrypt = Disabled", isc_wirecrypt_incompatible},
        {"AuthClient = Srp", isc_login_error},
        {"AuthClient = Legacy_Auth", isc_login_error},
    };
    RequireClientLibrary();
    for (const auto& [config, error] : cases) {
        std::string dpb(1, static_cast<char>(isc_dpb_version1));
        for (auto [tag, value] : {std::pair<int, std::string>{isc_dpb_user_name, "SYSDBA"},
                                  {isc_dpb_password, fbtest::kPassword},
                                  {isc_dpb_config, config}})
            if (!value.empty()) dpb += std::string{char(tag), char(value.size())} + value;
        ISC_STATUS_ARRAY status{};
        FB_API_HANDLE handle = 0;
        FbApi().isc_attach_database(status, 0, base->name().c_str(), &handle,
                                    static_cast<short>(dpb.size()), dpb.data());
        EXPECT_EQ(status[1], error) << config;
        FbFreeHandle(TFbHandleKind::Attachment, &handle);
    }
}

} // namespace
