// A distant server: what each step of the main window costs in exchanges
// with the test server, counted on the socket by a relay (they are exact,
// so a step that grows fails here), and a table that another user alters
// between two opens.
#include "db/FbIntf.h"
#include "db/FbSQL.h"
#include "tests/dataset/dstest.h"
#include "tests/support/relay.h"

#include <chrono>
#include <functional>
#include <thread>

namespace {

using Strings = std::vector<std::string>;

const char* const kDdl = "CREATE TABLE T (ID INTEGER NOT NULL, NOME VARCHAR(20), "
                         "CODIGO INTEGER NOT NULL, DOBRO COMPUTED BY (ID * 2), "
                         "CONSTRAINT PK_T PRIMARY KEY (ID));"
                         "INSERT INTO T VALUES (1, 'um', 30);"
                         "INSERT INTO T VALUES (2, 'dois', 20);"
                         "INSERT INTO T VALUES (3, 'tres', 10);"
                         "CREATE TABLE U (X INTEGER);";

class Remoto : public ::testing::Test {
protected:
    void SetUp() override {
        FBTEST_REQUIRE_SERVER();
        relay = std::make_unique<fbtest::Relay>("127.0.0.1", 3050);
    }

    /// Exchanges of a raw attach (the client API alone) through the relay.
    long rawAttach(const std::string& path) {
        const std::string name = relay->name(path);
        const std::string dpb = GenerateDPB(login());
        TFbAttachmentHandle h;
        const long before = relay->exchanges();
        CheckStatus(FbApi().isc_attach_database(StatusVector(), short(name.size()), name.c_str(),
                                                h.Ptr(), short(dpb.size()), dpb.data()));
        return relay->exchanges() - before;
    }

    /// Exchanges `step` took.
    long cost(const std::function<void()>& step) {
        const long before = relay->exchanges();
        step();
        return relay->exchanges() - before;
    }

    void wire(TFbDatabase& db, const std::string& path) {
        db.SetDatabaseName(relay->name(path));
        db.SetLoginPrompt(false);
        db.SetParams(login());
        tr.SetDefaultDatabase(&db);
        db.SetDefaultTransaction(&tr);
        table.SetDatabase(&db);
        table.SetTransaction(&tr);
    }

    static Strings login() {
        return {"user_name=SYSDBA", std::string("password=") + fbtest::kPassword};
    }

    Strings fieldNames() {
        Strings r;
        for (int i = 0; i < table.FieldCount(); ++i)
            r.push_back(table.Fields(i).FieldName());
        return r;
    }

    std::unique_ptr<fbtest::Relay> relay;
    fbtest::TempFolder folder;
    TFbTransaction tr;
    TFbTable table;
};

TEST_F(Remoto, EachStepCostsTheExchangesItNeeds) {
    const std::string path = folder.file("r.fdb");
    fbtest::createDatabase(path, kDdl);
    const long attach = rawAttach(path);
    TFbDatabase db;
    wire(db, path);
    Strings names;
    struct Case {
        const char* step;
        std::function<void()> run;
        long expected;
    };
    const Case cases[] = {
        // The attach, then one query for the sets, the dialect and the
        // version on the catalog transaction it starts.
        {"connect", [&] { db.Open(); }, attach + 2},
        {"list the tables", [&] { db.ListTableNames(names); }, 2},
        // Start, the catalog facts, prepare, execute with the first fetch.
        {"open a table the first time",
         [&] {
             table.SetTableName("T");
             table.Open();
         },
         4},
        {"filter", [&] { table.ApplyFilter("ID > 1", true); }, 2},
        {"sort by a title",
         [&] {
             table.SetIndexFieldNames("NOME;ID");
             table.ReopenKeepingRow(200);
         },
         2},
        {"close (its transaction ends)", [&] { table.Close(); }, 1},
        {"open it again", [&] { table.Open(); }, 3},
        {"a commit closes it, it opens again (Replicar, Limpar)",
         [&] {
             tr.Commit();
             table.Open();
         },
         4},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cost(c.run), c.expected) << c.step;
    EXPECT_EQ(names, (Strings{"T", "U"}));
    EXPECT_EQ(table.FieldByName("NOME").AsString(), "dois") << "filtered and sorted still";
    EXPECT_TRUE(table.FieldByName("DOBRO").ReadOnly()) << "the facts mark computed columns";
}

TEST_F(Remoto, AUtf8DatabaseAttachesTwiceWithoutWaitingForTheFirstToLeave) {
    const std::string path = folder.file("u.fdb");
    fbtest::createDatabaseUtf8(path, "UTF8", "CREATE TABLE T (ID INTEGER);");
    const long attach = rawAttach(path);
    relay->reset();
    TFbDatabase db;
    wire(db, path);
    db.Open();
    EXPECT_EQ(db.ConnectionCharSetId(), rtl::cs::Utf8);
    // The first attachment's transaction and detach go on its own thread.
    for (int i = 0; i < 200 && relay->exchangesByConnection().at(0) < attach + 4; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(relay->exchangesByConnection(), (std::vector<long>{attach + 4, attach}));
}

TEST_F(Remoto, ATableAlteredByAnotherConnectionIsShownAsItNowIs) {
    const std::string path = folder.file("a.fdb");
    fbtest::createDatabase(path, kDdl);
    TFbDatabase db;
    wire(db, path);
    TFbDatabase other;
    other.SetDatabaseName(fbtest::serverName(path));
    other.SetLoginPrompt(false);
    other.SetParams(login());
    struct Case {
        const char* ddl;
        bool listed; // "Abrir tabelas" lists the tables before opening
        Strings fields;
        Strings ids; // in the table's key order
    };
    const Case cases[] = {
        {"ALTER TABLE T ADD EXTRA INTEGER",
         false,
         {"ID", "NOME", "CODIGO", "DOBRO", "EXTRA"},
         {"1", "2", "3"}},
        {"ALTER TABLE T DROP NOME", false, {"ID", "CODIGO", "DOBRO", "EXTRA"}, {"1", "2", "3"}},
        // A key alone changes nothing the SELECT describes: the listing
        // tells.
        {"ALTER TABLE T DROP CONSTRAINT PK_T; ALTER TABLE T ADD CONSTRAINT PK_T PRIMARY KEY "
         "(CODIGO)",
         true,
         {"ID", "CODIGO", "DOBRO", "EXTRA"},
         {"3", "2", "1"}},
    };
    other.Open();
    table.SetTableName("T");
    table.Open();
    for (const Case& c : cases) {
        table.Close();
        std::string ddl = c.ddl;
        for (std::size_t at; (at = ddl.find("; ")) != std::string::npos; ddl.erase(0, at + 2))
            other.ExecuteImmediate(ddl.substr(0, at));
        other.ExecuteImmediate(ddl);
        Strings names;
        if (c.listed) db.ListTableNames(names);
        table.Open();
        EXPECT_EQ(fieldNames(), c.fields) << c.ddl;
        Strings ids;
        for (table.First(); !table.Eof(); table.Next())
            ids.push_back(table.FieldByName("ID").AsString());
        EXPECT_EQ(ids, c.ids) << c.ddl;
    }
}

} // namespace
