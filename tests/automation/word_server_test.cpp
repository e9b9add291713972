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
