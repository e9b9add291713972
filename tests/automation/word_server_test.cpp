// The built-in Word server driven as a table export drives it, and the
// document it saves opened back.
#include "automation/Automation.h"
#include "automation/Servers.h"
#include "tests/automation/OfficeFiles.h"
#include "tests/support/fbtest.h"

#include "rtl/settings.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace automation;
namespace fs = std::filesystem;

namespace {

struct WordServer : ::testing::Test {
    fbtest::TempFolder dir;
    rtl::ScopedFormatSettings regional{rtl::brazilianSettings()};
    AutoObject w;

    void SetUp() override {
        resetServers();
        w = createOleObject("Word.Application");
        w.set("Visible", false);
        w.get("Documents").call("Add");
    }
    void TearDown() override { resetServers(); }

    AutoObject doc() { return w.get("ActiveDocument"); }
    AutoObject table() { return doc().get("Range").get("Tables").get("Item", {1}); }
    void addTable(int rows, int cols) {
        doc().get("PageSetup").set("Orientation", 1);
        doc().get("Tables").call("Add", {doc().get("Range"), rows, cols});
        table().call("AutoFormat", {1, 1, 1, 1, 1, 1, 0, 0, 0, 1});
    }
    void put(int r, int c, const Variant& v) {
        doc()
            .get("Tables")
            .get("Item", {1})
            .get("Cell", {r, c})
            .get("Range")
            .call("InsertAfter", {v});
    }
    std::string save(const std::string& name = "t.doc") {
        table().call("UpdateAutoFormat");
        std::string path = dir.file(name);
        doc().call("SaveAs", {path});
        doc().call("Close", {false});
        w.call("Quit");
        return path;
    }
};

} // namespace

TEST_F(WordServer, SavesALandscapeDocumentWithOneBorderedTableAndABoldHeadingRow) {
    addTable(3, 2);
    put(1, 1, "NOME");
    put(1, 2, "VALOR");
    put(2, 1, "Jo\xe3o & <Maria>");
    put(2, 2, Currency::fromRaw(12345000));
    put(3, 1, "");
    put(3, 2, 7);
    auto d = officefiles::readWord(save());

    EXPECT_TRUE(d.landscape);
    EXPECT_GT(std::stoi(d.pageWidth), std::stoi(d.pageHeight));
    EXPECT_EQ(d.tables, 1);
    EXPECT_TRUE(d.borders);
    ASSERT_EQ(d.rows.size(), 3u);
    EXPECT_EQ(d.headerRow, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(d.rows[0][0].text, "NOME");
    EXPECT_TRUE(d.rows[0][0].bold);
    EXPECT_TRUE(d.rows[0][1].bold);
    EXPECT_FALSE(d.rows[1][0].bold);
    EXPECT_EQ(d.rows[1][0].text, "Jo\xe3o & <Maria>");
    EXPECT_EQ(d.rows[1][1].text, "1234,5");
    EXPECT_EQ(d.rows[2][0].text, "");
    EXPECT_EQ(d.rows[2][1].text, "7");
    // A real package: the content types and the relationship to the body.
    auto entries = officefiles::zipEntries(dir.file("t.doc"));
    EXPECT_EQ(entries.at(0), "[Content_Types].xml");
    EXPECT_NE(officefiles::readZipEntry(dir.file("t.doc"), "_rels/.rels").find("word/document.xml"),
              std::string::npos);
}

TEST_F(WordServer, RendersNumbersByTheRegionalSettingsAsWordDoes) {
    struct Row {
        Variant v;
        const char* brazil;
        const char* english;
    } rows[] = {
        {Variant(1234.5), "1234,5", "1234.5"},
        {Variant(0.1 + 0.2), "0,3", "0.3"},
        {Variant(-42), "-42", "-42"},
        {Variant(Currency::fromRaw(100000)), "10", "10"},
        {Variant(Currency::fromRaw(-12345)), "-1,2345", "-1.2345"},
        {Variant(1e20), "1E20", "1E20"},
    };
    addTable(2, static_cast<int>(std::size(rows)));
    for (std::size_t i = 0; i < std::size(rows); ++i)
        put(1, static_cast<int>(i + 1), rows[i].v);
    rtl::ScopedFormatSettings english(rtl::englishSettings());
    for (std::size_t i = 0; i < std::size(rows); ++i)
        put(2, static_cast<int>(i + 1), rows[i].v);
    auto d = officefiles::readWord(save());
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(d.rows[0][i].text, rows[i].brazil) << rows[i].v.describe();
        EXPECT_EQ(d.rows[1][i].text, rows[i].english) << rows[i].v.describe();
    }
}

TEST_F(WordServer, InsertAfterAppendsAndLineBreaksAndTabsSurvive) {
    addTable(1, 1);
    put(1, 1, "a\tb");
    put(1, 1, "\r\nc\x01");
    auto d = officefiles::readWord(save());
    EXPECT_EQ(d.rows[0][0].text, "a\tb\nc"); // the control character is dropped
}

TEST_F(WordServer, AHeaderOnlyTableAndTheAutoFormatValuesDecideTheLook) {
    doc().get("Tables").call("Add", {doc().get("Range"), 1, 2});
    // No borders, no heading rows asked for.
    table().call("AutoFormat", {1, 0, 1, 1, 1, 0, 0, 0, 0, 1});
    put(1, 1, "A");
    auto d = officefiles::readWord(save());
    EXPECT_FALSE(d.landscape); // orientation never set
    EXPECT_FALSE(d.borders);
    ASSERT_EQ(d.rows.size(), 1u);
    EXPECT_EQ(d.headerRow, std::vector<bool>{false});
    EXPECT_FALSE(d.rows[0][0].bold);
    EXPECT_EQ(d.rows[0][1].text, "");
}

TEST_F(WordServer, RefusesMoreThan63ColumnsAndCellsOutsideTheTable) {
    EXPECT_THROW(doc().get("Tables").call("Add", {doc().get("Range"), 1, 64}), EOleError);
    EXPECT_THROW(doc().get("Tables").get("Item", {1}), EOleError); // nothing was added
    doc().get("Tables").call("Add", {doc().get("Range"), 2, 63});
    EXPECT_THROW(put(3, 1, "x"), EOleError);
    EXPECT_THROW(put(1, 64, "x"), EOleError);
    EXPECT_THROW(put(0, 1, "x"), EOleError);
    EXPECT_NO_THROW(put(2, 63, "x"));
    // A table only goes over the document's own range.
    AutoObject cellRange = table().get("Cell", {1, 1}).get("Range");
    EXPECT_THROW(doc().get("Tables").call("Add", {cellRange, 1, 1}), EOleError);
    EXPECT_THROW(doc().get("Tables").call("Add", {"range", 1, 1}), EOleError);
}

TEST_F(WordServer, SavingReplacesAnExistingFileWhole) {
    std::string path = dir.file("old.doc");
    std::ofstream(path) << std::string(100000, 'x');
    addTable(1, 1);
    put(1, 1, "novo");
    save("old.doc");
    EXPECT_EQ(officefiles::readWord(path).rows[0][0].text, "novo");
    // Nothing but the document is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(WordServer, ASaveIntoAMissingFolderFailsAndLeavesNothing) {
    addTable(1, 1);
    EXPECT_THROW(doc().call("SaveAs", {dir.file("nao/existe.doc")}), EOleError);
    EXPECT_FALSE(fs::exists(dir.file("nao")));
}

TEST_F(WordServer, AfterQuitTheApplicationAndItsObjectsAreGone) {
    AutoObject d = doc();
    w.call("Quit");
    EXPECT_THROW(w.get("Documents"), EOleError);
    EXPECT_THROW(d.get("Tables"), EOleError);
}

TEST_F(WordServer, ClosingTheActiveDocumentLeavesNoneActive) {
    AutoObject d = doc();
    d.call("Close", {false});
    EXPECT_THROW(w.get("ActiveDocument"), EOleError);
    EXPECT_THROW(d.get("Range"), EOleError);
}

TEST_F(WordServer, ColumnsAreAsWideAsTheirLongestTextWithinThePage) {
    // Arial 10 pt, the document's default font, in twips: a digit 111, "/" and
    // ":" 56; Word's cell margins take 216 more.
    const int data = 8 * 111 + 2 * 56 + 216, hora = 6 * 111 + 2 * 56 + 216;
    const int pagina = 16838 - 2 * 1417; // landscape A4 less the side margins
    struct Caso {
        const char* nome;
        std::vector<std::string> linha;
        bool cabeNaPagina;
    } casos[] = {
        {"short texts", {"7", "25/12/2024", "13:45:30", "Jo\xe3o da Silva & Filhos"}, true},
        {"a long note", {"7", "25/12/2024", "13:45:30", std::string(600, 'x')}, false},
    };
    for (const auto& c : casos) {
        SetUp();
        addTable(2, 4);
        for (int col = 1; col <= 4; ++col) {
            put(1, col, "C" + std::to_string(col));
            put(2, col, c.linha[static_cast<std::size_t>(col - 1)]);
        }
        const std::string xml = officefiles::readZipEntry(save(), "word/document.xml");
        std::vector<int> grade;
        for (const std::string& g : officefiles::elements(xml, "w:gridCol"))
            grade.push_back(std::stoi(officefiles::attribute(g, "w:w")));
        ASSERT_EQ(grade.size(), 4u) << c.nome;
        // Every cell of a column states the column's width.
        const auto celulas = officefiles::elements(xml, "w:tcW");
        ASSERT_EQ(celulas.size(), 8u) << c.nome;
        for (std::size_t i = 0; i < celulas.size(); ++i)
            EXPECT_EQ(std::stoi(officefiles::attribute(celulas[i], "w:w")), grade[i % 4]) << c.nome;
        EXPECT_GE(grade[1], data) << c.nome << ": the date does not wrap";
        EXPECT_GE(grade[2], hora) << c.nome << ": the time does not wrap";
        EXPECT_LT(grade[0], grade[1]) << c.nome << ": a short column stays narrow";
        const int soma = grade[0] + grade[1] + grade[2] + grade[3];
        EXPECT_LE(soma, pagina) << c.nome;
        if (c.cabeNaPagina)
            EXPECT_LT(soma, pagina * 3 / 4) << c.nome << ": no wider than the content";
        else
            EXPECT_GE(soma, pagina * 95 / 100) << c.nome << ": the long text takes the rest";
    }
    // The widths are measured for the font the document sets as its default.
    const std::string estilos = officefiles::readZipEntry(dir.file("t.doc"), "word/styles.xml");
    EXPECT_NE(estilos.find("w:ascii=\"Arial\""), std::string::npos);
    EXPECT_NE(estilos.find("<w:sz w:val=\"20\"/>"), std::string::npos);
}

TEST_F(WordServer, RowsLeaveMemoryAsTheTableFillsAndComeBackWhole) {
    addTable(301, 2);
    for (int r = 1; r <= 300; ++r) {
        put(r, 1, std::to_string(r));
        put(r, 2, "linha " + std::to_string(r));
    }
    // Rows far behind the one being filled are written already.
    EXPECT_THROW(put(1, 1, "tarde"), EOleError);
    const std::string xml = officefiles::readZipEntry(save(), "word/document.xml");
    const auto linhas = officefiles::elements(xml, "w:tr");
    ASSERT_EQ(linhas.size(), 301u);
    EXPECT_NE(linhas[0].find(">1<"), std::string::npos);
    EXPECT_NE(linhas[299].find(">linha 300<"), std::string::npos);
    EXPECT_EQ(linhas[300].find("<w:r>"), std::string::npos); // never filled: empty
    EXPECT_NE(linhas[0].find("<w:tblHeader/>"), std::string::npos);
}
