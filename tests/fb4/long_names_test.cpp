// Names of 63 characters on the Firebird 4 server that share far more than
// the 31 bytes a described column keeps, in ASCII and in 2- to 4-byte
// characters: listed, opened, sorted, filtered, replicated and exported whole.
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "export/ExpDataSet.h"
#include "export/Exporta.h"
#include "filter/TrocaTermo.h"
#include "rtl/charset.h"
#include "tests/support/fbtest.h"
#include "tests/support/relay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

using Strings = std::vector<std::string>;

namespace {

/// `start` padded with `pad` to 62 characters, then `last`.
std::string name63(std::string r, const std::string& pad, const char* last) {
    while (std::count_if(r.begin(), r.end(), [](char c) { return (c & 0xC0) != 0x80; }) < 62)
        r += pad;
    return r + last;
}

const std::string kTA = name63("Movimentação diária das filiais ", "_", "A"),
                  kTB = name63("Movimentação diária das filiais ", "_", "B"),
                  kA1 = name63("VALOR_MEDIDO_NA_FILIAL_DE_CAMPINAS", "_", "1"),
                  kA2 = name63("VALOR_MEDIDO_NA_FILIAL_DE_CAMPINAS", "_", "2"),
                  kSum = name63("VALOR_MEDIDO_NA_FILIAL_DE_CAMPINAS", "_", "S"),
                  kM1 = name63("Preço em € ", "😀", "🍎"), kM2 = name63("Preço em € ", "😀", "🍐");

std::string q(const std::string& n) {
    return "\"" + n + "\"";
}

TEST(LongNames, StayWholeAndApartFromTheCatalogToTheFiles) {
    FBTEST_REQUIRE_FB4_SERVER();
    const std::string cols = " (ID INTEGER NOT NULL PRIMARY KEY, " + q(kA1) + " INTEGER, " +
                             q(kA2) + " INTEGER, " + q(kSum) + " COMPUTED BY (" + q(kA1) + " + " +
                             q(kA2) + "), " + q(kM1) + " VARCHAR(9), " + q(kM2) + " VARCHAR(9));";
    std::string ddl = "CREATE TABLE " + q(kTA) + cols + "CREATE TABLE " + q(kTB) + cols +
                      "INSERT INTO " + q(kTB) + " (ID) VALUES (7);";
    for (const char* row :
         {"1, 10, 30, 'um', 'b'", "2, 20, 20, 'dois', 'c'", "3, 30, 10, 'três', 'a'"})
        ddl += "INSERT INTO " + q(kTA) + " (ID, " + q(kA1) + ", " + q(kA2) + ", " + q(kM1) + ", " +
               q(kM2) + ") VALUES (" + row + ");";
    fbtest::Fb4Database base(ddl, "UTF8");
    fbtest::Relay relay("127.0.0.1", 3051);
    TFbDatabase db;
    TFbTransaction tr;
    TFbTable table;
    db.SetDatabaseName(relay.name(base.name().substr(base.name().find(':') + 1)));
    db.SetLoginPrompt(false);
    db.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
    tr.SetDefaultDatabase(&db);
    db.SetDefaultTransaction(&tr);
    table.SetDatabase(&db);
    table.SetTransaction(&tr);
    db.Open();
    auto cost = [&](auto step) {
        const long before = relay.exchanges();
        step();
        return relay.exchanges() - before;
    };
    auto rows = [&](const std::string& column) {
        std::string r;
        for (table.First(); !table.Eof(); table.Next())
            r += table.FieldByName(column).AsString() + ";";
        return r;
    };
    Strings names;
    db.ListTableNames(names);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Strings{kTA, kTB}));

    // Opened as any table is (start, facts, prepare, execute with a fetch).
    for (const auto& [t, ids] : {std::pair{kTB, "7;"}, std::pair{kTA, "1;2;3;"}}) {
        table.Close();
        table.SetTableName(t);
        EXPECT_EQ(cost([&] { table.Open(); }), 4) << t;
        EXPECT_EQ(rows("ID"), ids);
    }
    names.clear();
    for (int i = 0; i < table.FieldCount(); ++i)
        names.push_back(table.Fields(i).FieldName());
    EXPECT_EQ(names, (Strings{"ID", kA1, kA2, kSum, kM1, kM2}));
    EXPECT_EQ(std::make_pair(table.FieldByName(kSum).ReadOnly(), rows(kSum)),
              std::make_pair(true, std::string("40;40;40;")));
    EXPECT_EQ(table.InsertText().find(q(kSum)), std::string::npos) << table.InsertText();

    // A title's sort, then conditions composed in the filter window (rows
    // in the last sort's order).
    std::vector<NomeExibido> shown;
    for (const std::string& n : names)
        shown.emplace_back(rtl::nameToUtf8(n), n);
    const std::pair<std::string, const char*> views[] = {
        {"=" + kA1, "1;2;3;"},        {"=" + kA2, "3;2;1;"},
        {"=" + kM1, "2;3;1;"},        {"=" + kM2, "3;1;2;"},
        {kA1 + " > 15", "3;2;"},      {kA2 + " > 15", "1;2;"},
        {q(kM2) + " COM 'c%'", "2;"}, {q(kM1) + " = 'três' OU " + q(kM2) + " = 'b'", "3;1;"}};
    for (const auto& [view, ids] : views) {
        std::string sql;
        if (view[0] == '=')
            table.SetIndexFieldNames(view.substr(1));
        else
            ASSERT_TRUE(CodificaCondicao(TraduzSentenca(view), db.TextCharSetId(), shown, sql));
        EXPECT_EQ(
            cost([&] { view[0] == '=' ? table.ReopenKeepingRow() : table.ApplyFilter(sql, true); }),
            2);
        EXPECT_EQ(rows("ID"), ids) << view;
    }

    // "Replicar" into one twin of each pair, on the filtered rows 1 and 3.
    for (const std::string* column : {&kA2, &kM2}) {
        TFbSQL up;
        up.SetDatabase(&db);
        up.SetTransaction(&tr);
        up.SQL().Assign(FbTableReplicateSQL(3, table.TableName(), *column, table.Filter(), true));
        up.ParamNamed("P0").SetAsString("9");
        up.ExecQuery();
    }
    tr.Commit();
    table.ApplyFilter("", false);
    table.SetIndexFieldNames("");
    table.Open();
    EXPECT_EQ(rows(kA1) + rows(kA2) + rows(kM1) + rows(kM2), "10;20;30;9;20;9;um;dois;três;9;c;9;");

    fbtest::TempFolder folder;
    exporta::FonteDataSet source(table);
    ASSERT_TRUE(exporta::ExpHtml(folder.file("t.html"), source, {}, nullptr));
    ASSERT_TRUE(exporta::ExpXml(folder.file("t.xml"), source));
    auto file = [&](const char* n) {
        std::ifstream in(folder.file(n), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    for (const std::string& n : {kA1, kA2, kSum, kM1, kM2}) {
        EXPECT_NE(file("t.html").find("<th  >" + n + " </th>"), std::string::npos) << n;
        EXPECT_NE(file("t.xml").find("<" + exporta::nomeXmlUtf8(n) + ">"), std::string::npos) << n;
    }
    EXPECT_NE(exporta::nomeXmlUtf8(kM1), exporta::nomeXmlUtf8(kM2));
}

} // namespace
