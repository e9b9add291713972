// The column types of Firebird 4 through the access layer, with this build's
// client library: Firebird 3's here (the server sends them as text), Firebird
// 4's in the chroot (the same text; and the native forms read without it).
#include "automation/Servers.h"
#include "db/Fb.h"
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "db/FbValues.h"
#include "export/ExpDataSet.h"
#include "export/ExpExcel.h"
#include "export/ExpWord.h"
#include "export/Exporta.h"
#include "filter/TrocaTermo.h"
#include "rtl/settings.h"
#include "tests/automation/OfficeFiles.h"
#include "tests/support/fbtest.h"
#include "tests/support/relay.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Every type at the ends of its range, and nulls.
const char* const kTypes =
    "create table T (K integer not null primary key, I int128, N numeric(38,4),"
    " D decimal(19,2), F16 decfloat(16), F34 decfloat(34), TT time with time zone,"
    " TS timestamp with time zone, B binary(3), VB varbinary(5));"
    "insert into T values (1, -170141183460469231731687303715884105728,"
    " -9999999999999999999999999999999999.9999, 99999999999999999.99,"
    " -9.999999999999999E+384, 9.999999999999999999999999999999999E+6144,"
    " '12:34:56.7891 America/Sao_Paulo', '2020-02-29 23:59:59.9999 +05:30', x'00FF10',"
    " x'DEADBEEF');"
    "insert into T values (2, 170141183460469231731687303715884105727, 0.0001, -0.05,"
    " -0, 1E-6176, '00:00:00 -03:00', '0001-01-01 00:00:00 UTC', x'000000', x'');"
    "insert into T values (3, 0, null, null, 1E-398, -1.5E-6143, null, null, null, null);"
    "insert into T (K) values (4);";

struct Shown {
    const char* field;
    const char* asString[4]; // rows 1 to 4
    const char* display[4];
};

// pt_BR: "," decimals, "." thousands, dd/mm/yyyy, hh:nn:ss.
const Shown kShown[] = {
    {"I",
     {"-170141183460469231731687303715884105728", "170141183460469231731687303715884105727", "0",
      ""},
     {"-170.141.183.460.469.231.731.687.303.715.884.105.728",
      "170.141.183.460.469.231.731.687.303.715.884.105.727", "0", ""}},
    {"N",
     {"-9999999999999999999999999999999999,9999", "0,0001", "", ""},
     {"-9.999.999.999.999.999.999.999.999.999.999.999,9999", "0,0001", "", ""}},
    {"D",
     {"99999999999999999,99", "-0,05", "", ""},
     {"99.999.999.999.999.999,99", "-0,05", "", ""}},
    {"F16",
     {"-9,999999999999999E+384", "-0", "1E-398", ""},
     {"-9,999999999999999E+384", "-0", "1E-398", ""}},
    {"F34",
     {"9,999999999999999999999999999999999E+6144", "1E-6176", "-1,5E-6143", ""},
     {"9,999999999999999999999999999999999E+6144", "1E-6176", "-1,5E-6143", ""}},
    {"TT",
     {"12:34:56,7891 America/Sao_Paulo", "00:00:00 -03:00", "", ""},
     {"12:34:56,7891 America/Sao_Paulo", "00:00:00 -03:00", "", ""}},
    {"TS",
     {"29/02/2020 23:59:59,9999 +05:30", "01/01/0001 00:00:00 UTC", "", ""},
     {"29/02/2020 23:59:59,9999 +05:30", "01/01/0001 00:00:00 UTC", "", ""}},
    {"B", {"\0\xff\x10", "\0\0\0", "", ""}, {"00FF10", "000000", "", ""}},
    {"VB", {"\xde\xad\xbe\xef", "", "", ""}, {"DEADBEEF", "", "", ""}},
};

class Fb4Types : public ::testing::Test {
protected:
    void SetUp() override {
        FBTEST_REQUIRE_FB4_SERVER();
        base.emplace(kTypes);
        db.SetDatabaseName(base->name());
        db.SetLoginPrompt(false);
        db.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
        db.Open();
        tr.SetDefaultDatabase(&db);
        db.SetDefaultTransaction(&tr);
        table.SetDatabase(&db);
        table.SetTransaction(&tr);
        table.SetTableName("T");
    }
    /// Column `field` of every row, as the grid shows it.
    std::string column(const std::string& field) {
        std::string r;
        for (table.First(); !table.Eof(); table.Next())
            r += table.FieldByName(field).DisplayText() + ";";
        return r;
    }
    std::optional<fbtest::Fb4Database> base;
    rtl::ScopedFormatSettings settings{rtl::brazilianSettings()};
    TFbDatabase db;
    TFbTransaction tr;
    TFbTable table;
};

TEST_F(Fb4Types, EveryValueAtTheEndsOfItsTypeIsShownExactly) {
    table.Open();
    int row = 0;
    for (table.First(); !table.Eof(); table.Next(), ++row) {
        ASSERT_LT(row, 4);
        for (const Shown& s : kShown) {
            SCOPED_TRACE(std::string(s.field) + " row " + std::to_string(row + 1));
            const TField& f = table.FieldByName(s.field);
            // The binary columns' raw bytes include zeros: compare by length.
            const std::string field = s.field;
            const std::size_t rawLen = field == "B"                ? (row < 2 ? 3 : 0)
                                       : field == "VB" && row == 0 ? 4
                                                                   : std::strlen(s.asString[row]);
            EXPECT_EQ(f.AsString(), std::string(s.asString[row], rawLen));
            EXPECT_EQ(f.DisplayText(), s.display[row]);
            if (row == 3) {
                EXPECT_TRUE(f.IsNull());
            }
        }
    }
    EXPECT_EQ(row, 4);
}

TEST_F(Fb4Types, TheStatementReadsAndWritesTheServersText) {
    TFbSQL q;
    q.SetDatabase(&db);
    q.SetTransaction(&tr);
    q.SQL().SetText("select I, N, F34, TS from T where I = :i or N = :n or F34 = :f or TS = :ts");
    q.ParamNamed("I").SetAsString("170141183460469231731687303715884105727");
    q.ParamNamed("N").SetAsString("-9999999999999999999999999999999999.9999");
    q.ParamNamed("F").SetAsString("-1.5E-6143");
    q.ParamNamed("TS").SetAsString("2020-02-29 23:59:59.9999 +05:30");
    q.ExecQuery();
    std::string rows;
    for (; !q.AtEnd(); q.FetchNext())
        rows += q.ColumnAt(0).AsString() + "|" + q.ColumnAt(1).AsString() + "|" +
                q.ColumnAt(2).AsString() + "|" + q.ColumnAt(3).AsString() + ";";
    EXPECT_EQ(rows, "-170141183460469231731687303715884105728|-9999999999999999999999999999999999."
                    "9999|9.999999999999999999999999999999999E+6144|2020-02-29 23:59:59.9999 "
                    "+05:30;170141183460469231731687303715884105727|0.0001|1E-6176|0001-01-01 "
                    "00:00:00.0000 UTC;0||-1.5E-6143|;");
}

// Without the text bindings a library that knows the types receives their
// native forms; the decoder must give the server's own text for each.
TEST_F(Fb4Types, NativeFormsDecodeToTheServersText) {
    if (ClientLibraryMajorVersion() < 4) GTEST_SKIP() << "only a later library passes them";
    db.ExecuteImmediate("set bind of int128 to native");
    db.ExecuteImmediate("set bind of decfloat to native");
    ISC_STATUS_ARRAY status{};
    tr.StartTransaction();
    isc_tr_handle& trh = *tr.Handle();
    char area[XSQLDA_LENGTH(2)] = {};
    auto* da = reinterpret_cast<XSQLDA*>(area);
    da->version = SQLDA_VERSION1;
    da->sqln = 2;
    int checked = 0;
    // Every three-digit group in every place of both widths, and both signs.
    const std::string every = "(with recursive r as (select 0 n from rdb$database union all"
                              " select n + 1 from r where n < 999) select n from r)";
    for (const std::string col :
         {"I", "N", "F16", "F34", "F16 * 7", "-F34 / 3",
          "cast(n as decfloat(34)) * 1000001000001000001000001000001 - 999 + n",
          "cast(n - 500 as int128) * 1000001000001000001000001000001000 + n"}) {
        isc_stmt_handle st = 0;
        ASSERT_EQ(FbApi().isc_dsql_alloc_statement2(status, db.Handle(), &st), 0);
        const bool generated = col.rfind("cast(n", 0) == 0;
        const std::string q = "select " + col + ", cast(" + col + " as varchar(64)) from " +
                              (generated ? every : "T where " + col + " is not null");
        ASSERT_EQ(FbApi().isc_dsql_prepare(status, &trh, &st, 0, q.c_str(), 3, da), 0) << q;
        char value[16], text[66];
        short ind[2] = {};
        da->sqlvar[0].sqldata = value;
        da->sqlvar[0].sqlind = &ind[0];
        da->sqlvar[1].sqldata = text;
        da->sqlvar[1].sqlind = &ind[1];
        const int type = da->sqlvar[0].sqltype & ~1;
        EXPECT_TRUE(FbIsNativeExactType(type)) << col << " " << type;
        ASSERT_EQ(FbApi().isc_dsql_execute(status, &trh, &st, 3, nullptr), 0);
        ISC_STATUS fetched;
        while ((fetched = FbApi().isc_dsql_fetch(status, &st, 3, da)) == 0) {
            std::uint16_t len;
            std::memcpy(&len, text, 2);
            EXPECT_EQ(FbNativeText(type, da->sqlvar[0].sqlscale,
                                   reinterpret_cast<unsigned char*>(value),
                                   static_cast<std::size_t>(da->sqlvar[0].sqllen)),
                      std::string(text + 2, len))
                << col;
            ++checked;
        }
        EXPECT_EQ(fetched, 100) << col << " " << status[1];
        FbApi().isc_dsql_free_statement(status, &st, DSQL_drop);
    }
    tr.Commit();
    EXPECT_EQ(checked, 2017);
}

TEST_F(Fb4Types, TheFilterComparesWithTypedLiteralsOnTheServer) {
    const std::pair<const char*, const char*> cases[] = {
        {"I > 0 OU N = -9999999999999999999999999999999999.9999", "1;2;"},
        {"I = -170141183460469231731687303715884105728", "1;"},
        {"N < 0.0002 E N > 0", "2;"},
        {"F34 < 0 OU F16 = -9.999999999999999E+384", "1;3;"},
        {"TS = '2020-02-29 23:59:59.9999 +05:30' OU TT = '00:00:00 -03:00'", "1;2;"},
        {"B = x'00FF10' OU VB = x''", "1;2;"},
        {"D COM '%.05'", "2;"},
    };
    table.Open();
    for (const auto& [sentence, rows] : cases) {
        SCOPED_TRACE(sentence);
        std::string sql;
        ASSERT_TRUE(
            CodificaCondicao(TraduzSentenca(std::string(" ") + sentence + " "), 0, {}, sql));
        table.SetFilter(sql);
        table.SetFiltered(true);
        EXPECT_EQ(column("K"), rows);
    }
}

TEST_F(Fb4Types, ReplicatedValuesAreTypedRegionallyAndReadBackExactly) {
    const struct {
        const char *field, *typed, *shown;
    } cases[] = {
        {"I", "-170.141.183.460.469.231.731.687.303.715.884.105.728",
         "-170.141.183.460.469.231.731.687.303.715.884.105.728"},
        {"N", "1234567890123456789012345678901234,5",
         "1.234.567.890.123.456.789.012.345.678.901.234,5000"},
        {"D", "-0,01", "-0,01"},
        {"F16", "-1,234567890123456E-383", "-1,234567890123456E-383"},
        {"F34", "0,000001", "0,000001"},
        {"TT", "23:59:59,9999 Europe/Lisbon", "23:59:59,9999 Europe/Lisbon"},
        {"TS", "31/12/9999 23:59:59 +14:00", "31/12/9999 23:59:59 +14:00"},
        {"B", "0a0B0c", "0A0B0C"},
        {"VB", "", ""},
    };
    table.Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        TFbSQL q;
        q.SetDatabase(&db);
        q.SetTransaction(&tr);
        q.SQL().Assign(FbTableReplicateSQL(3, "T", c.field, "", false));
        q.ParamNamed("P0").SetAsTypedExact(table.FieldByName(c.field).ExactKind(), c.typed);
        q.ExecQuery();
        tr.Commit();
        table.Open();
        std::string every;
        for (int row = 0; row < 4; ++row)
            every += std::string(c.shown) + ";";
        EXPECT_EQ(column(c.field), every);
    }
    // Values the types cannot hold: the server's reason, nothing changed.
    const std::pair<const char*, const char*> refused[] = {
        {"I", "170141183460469231731687303715884105728"},
        {"F16", "1E+385"},
        {"TS", "31/12/2020 10:00:00 Marte/Base"},
        {"TT", "25:00:00 UTC"},
        {"TS", "31/12/9999 23:59:59 -14:00"},
        {"B", "00112233"},
        {"VB", "zz"}};
    for (const auto& [field, typed] : refused) {
        SCOPED_TRACE(field);
        const std::string before = column(field);
        TFbSQL q;
        q.SetDatabase(&db);
        q.SetTransaction(&tr);
        q.SQL().Assign(FbTableReplicateSQL(3, "T", field, "", false));
        EXPECT_THROW(
            {
                q.ParamNamed("P0").SetAsTypedExact(table.FieldByName(field).ExactKind(), typed);
                q.ExecQuery();
            },
            EFbError);
        tr.Rollback();
        table.Open();
        EXPECT_EQ(column(field), before);
    }
}

TEST_F(Fb4Types, ExportsCarryTheGridsTextAndExcelOnlyExactNumbers) {
    fbtest::TempFolder folder;
    table.Open();
    exporta::FonteDataSet source(table);
    auto file = [&](const std::string& name) {
        std::ifstream in(folder.file(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    const char* const row1[] = {"1",
                                "-170.141.183.460.469.231.731.687.303.715.884.105.728",
                                "-9.999.999.999.999.999.999.999.999.999.999.999,9999",
                                "99.999.999.999.999.999,99",
                                "-9,999999999999999E+384",
                                "9,999999999999999999999999999999999E+6144",
                                "12:34:56,7891 America/Sao_Paulo",
                                "29/02/2020 23:59:59,9999 +05:30",
                                "00FF10",
                                "DEADBEEF"};
    ASSERT_TRUE(exporta::ExpText(folder.file("t.txt"), source, ";", ""));
    const std::string text = file("t.txt");
    std::string line1;
    for (const char* cell : row1)
        line1 += std::string(line1.empty() ? "" : ";") + cell;
    EXPECT_NE(text.find(line1), std::string::npos) << text;
    ASSERT_TRUE(exporta::ExpHtml(folder.file("t.html"), source, {}, nullptr));
    ASSERT_TRUE(exporta::ExpXml(folder.file("t.xml"), source));
    for (const std::string name : {"t.html", "t.xml"}) {
        const std::string page = file(name);
        for (const char* cell : row1)
            EXPECT_NE(page.find(cell), std::string::npos) << name << " " << cell;
    }
    automation::resetServers();
    ASSERT_TRUE(exporta::ExpExcel(folder.file("t.xlsx"), source));
    auto cells = officefiles::readSheet(folder.file("t.xlsx"));
    // Row 3: I 0, F16 1E-398 (no normal double), F34 -1.5E-6143; row 2: D -0.05,
    // F16 negative zero.
    const std::pair<const char*, const char*> typed[] = {
        {"B2", "s"}, {"C2", "s"}, {"D2", "s"}, {"E2", "s"}, {"D3", "n"},
        {"E3", "s"}, {"B4", "n"}, {"E4", "s"}, {"F4", "s"}, {"G2", "s"}};
    for (const auto& [ref, type] : typed)
        EXPECT_EQ(cells[ref].type, type) << ref << " " << cells[ref].value;
    EXPECT_EQ(cells["D3"].value, "-0.05");
    EXPECT_EQ(cells["B2"].value, row1[1]);
    ASSERT_TRUE(exporta::ExpWord(folder.file("t.docx"), source));
    auto doc = officefiles::readWord(folder.file("t.docx"));
    ASSERT_GE(doc.rows.size(), 3u);
    for (std::size_t c = 0; c < std::size(row1); ++c)
        EXPECT_EQ(doc.rows[1][c].text, row1[c]);
    EXPECT_EQ(doc.rows[2][3].text, "-0,05");
    automation::resetServers();
}

TEST_F(Fb4Types, TheBindingsAreAskedOnlyWhenAStatementFirstMeetsTheTypes) {
    fbtest::Relay relay("127.0.0.1", 3051);
    const std::string path = base->name().substr(base->name().find(':') + 1);
    const std::string name = relay.name(path);
    const std::string dpb =
        GenerateDPB({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
    long before = relay.exchanges();
    long attach = 0;
    {
        TFbAttachmentHandle h;
        CheckStatus(FbApi().isc_attach_database(StatusVector(), short(name.size()), name.c_str(),
                                                h.Ptr(), short(dpb.size()), dpb.data()));
        attach = relay.exchanges() - before;
    }
    TFbDatabase other;
    other.SetDatabaseName(name);
    other.SetLoginPrompt(false);
    other.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
    TFbTransaction t;
    t.SetDefaultDatabase(&other);
    before = relay.exchanges();
    other.Open();
    // As on a Firebird 3 server: the attach and the survey.
    EXPECT_EQ(relay.exchanges() - before, attach + 2);
    t.StartTransaction();
    const auto prepare = [&](const char* sql) {
        TFbSQL q;
        q.SetDatabase(&other);
        q.SetTransaction(&t);
        q.SQL().SetText(sql);
        const long at = relay.exchanges();
        q.Prepare();
        return relay.exchanges() - at;
    };
    const long plain = prepare("select K from T");
    const long first = prepare("select TS, I from T");
    // The prepare refused (Firebird 3's library) or described natively (a
    // later one), the three bindings, the prepare again.
    EXPECT_EQ(first, plain * 2 + 3);
    EXPECT_EQ(prepare("select F34, TT from T"), plain) << "asked once per attachment";
    t.Commit();
}

} // namespace
