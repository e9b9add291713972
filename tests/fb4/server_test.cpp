// The Firebird 4 test server through the access layer: which client library
// reaches it, how it lets clients in, and a table written and read back.
// Built twice: on this machine with its Firebird 3 client library, and inside
// the server's Debian 13 chroot with Firebird 4's (scripts/fb4-tests.sh).
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "tests/support/fbtest.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class Fb4Server : public ::testing::Test {
protected:
    void SetUp() override {
        FBTEST_REQUIRE_FB4_SERVER();
        base = std::make_unique<fbtest::Fb4Database>(
            "CREATE TABLE PESSOA (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(20));\n"
            "INSERT INTO PESSOA VALUES (1, 'um');\n"
            "INSERT INTO PESSOA VALUES (2, 'dois');\n");
        db.SetDatabaseName(base->name());
        db.SetLoginPrompt(false);
        db.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
        db.Open();
        tr.SetDefaultDatabase(&db);
        db.SetDefaultTransaction(&tr);
    }

    std::string scalar(const std::string& sql) {
        TFbSQL q;
        q.SetDatabase(&db);
        q.SetTransaction(&tr);
        q.SQL().SetText(sql);
        q.ExecQuery();
        return q.ColumnAt(0).AsString();
    }

    std::unique_ptr<fbtest::Fb4Database> base;
    TFbDatabase db;
    TFbTransaction tr;
};

TEST_F(Fb4Server, IsFirebird4ReachedByTheClientLibraryOfTheBuild) {
    // Firebird 3's library with Debian 12's headers, Firebird 4's inside the
    // chroot: the two roads the tests of this label travel.
    EXPECT_EQ(ClientLibraryMajorVersion(), FB_API_VER / 10);
    EXPECT_EQ(
        scalar("select rdb$get_context('SYSTEM', 'ENGINE_VERSION') from rdb$database").substr(0, 2),
        "4.");
    EXPECT_EQ(scalar("select mon$auth_method from mon$attachments"
                     " where mon$attachment_id = current_connection"),
              "Srp256");
    EXPECT_EQ(scalar("select rdb$get_context('SYSTEM', 'WIRE_ENCRYPTED') from rdb$database"),
              "TRUE");
}

TEST_F(Fb4Server, AdmitsOnlyClientsThatEncryptAndProveThePasswordWithSrp256) {
    struct Case {
        const char* config;
        ISC_STATUS error;
    } cases[] = {
        {"", 0},
        {"WireCrypt = Disabled", isc_wirecrypt_incompatible},
        {"AuthClient = Srp", isc_login_error},
        {"AuthClient = Legacy_Auth", isc_login_error},
    };
    for (const auto& c : cases) {
        std::string dpb(1, static_cast<char>(isc_dpb_version1));
        auto add = [&](int tag, const std::string& value) {
            dpb += static_cast<char>(tag);
            dpb += static_cast<char>(value.size());
            dpb += value;
        };
        add(isc_dpb_user_name, "SYSDBA");
        add(isc_dpb_password, fbtest::kPassword);
        if (*c.config) add(isc_dpb_config, c.config);
        ISC_STATUS_ARRAY status{};
        FB_API_HANDLE handle = 0;
        FbApi().isc_attach_database(status, 0, base->name().c_str(), &handle,
                                    static_cast<short>(dpb.size()), dpb.data());
        EXPECT_EQ(status[1], c.error) << c.config;
        if (handle) FbFreeHandle(TFbHandleKind::Attachment, &handle);
    }
}

TEST_F(Fb4Server, TableWrittenIsReadBack) {
    TFbSQL insert;
    insert.SetDatabase(&db);
    insert.SetTransaction(&tr);
    insert.SQL().SetText("insert into PESSOA values (3, :nome)");
    insert.ParamNamed("NOME").SetAsString("três");
    insert.ExecQuery();
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
    EXPECT_EQ(rows, "1=um;2=dois;3=três;");
}

} // namespace
