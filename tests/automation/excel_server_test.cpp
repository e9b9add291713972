// The built-in Excel server driven as a sheet export drives it, and the
// workbook it saves opened back.
#include "automation/Automation.h"
#include "automation/Servers.h"
#include "tests/automation/OfficeFiles.h"
#include "tests/support/fbtest.h"

#include "rtl/settings.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>

using namespace automation;
namespace fs = std::filesystem;

namespace {

struct ExcelServer : ::testing::Test {
    fbtest::TempFolder dir;
    rtl::ScopedFormatSettings regional{rtl::brazilianSettings()};
    AutoObject x;

    void SetUp() override {
        resetServers();
        x = createOleObject("Excel.Application");
        x.set("visible", false);
        x.get("Workbooks").call("Add");
    }
    void TearDown() override { resetServers(); }

    std::string save(const std::string& name = "t.xls") {
        std::string path = dir.file(name);
        x.get("ActiveWorkBook").call("SaveAs", {path});
        x.get("ActiveWorkBook").call("Close", {false});
        x.call("Quit");
        return path;
    }
};

} // namespace

TEST_F(ExcelServer, TextsAreStringsNumbersAreNumbersAndCurrencyCarriesAMoneyFormat) {
    x.set("Cells", {1, 1}, "NOME");
    x.set("Cells", {1, 2}, "VALOR");
    x.set("Cells", {1, 3}, "QTD");
    x.set("Cells", {1, 4}, "PRE\xc7O");
    x.set("Cells", {2, 1}, "Jo\xe3o & <Maria>");
    x.set("Cells", {2, 2}, Currency::fromRaw(12345000));
    x.set("Cells", {2, 3}, 7);
    x.set("Cells", {2, 4}, 0.25);
    x.set("Cells", {3, 1}, "12");
    auto cells = officefiles::readSheet(save());

    struct Row {
        const char* ref;
        const char* type;
        const char* value;
    } expected[] = {
        {"A1", "s", "NOME"},
        {"B1", "s", "VALOR"},
        {"C1", "s", "QTD"},
        {"D1", "s", "PRE\xc7O"},
        {"A2", "s", "Jo\xe3o & <Maria>"},
        {"B2", "n", "1234.5"},
        {"C2", "n", "7"},
        {"D2", "n", "0.25"},
        {"A3", "s", "12"}, // a text of digits stays a text
    };
    for (const Row& r : expected) {
        ASSERT_TRUE(cells.count(r.ref)) << r.ref;
        EXPECT_EQ(cells[r.ref].type, r.type) << r.ref;
        EXPECT_EQ(cells[r.ref].value, r.value) << r.ref;
    }
    EXPECT_EQ(cells.size(), std::size(expected));
    EXPECT_EQ(cells["B2"].format, "\"R$ \"#,##0.00;\"-R$ \"#,##0.00");
    EXPECT_EQ(cells["C2"].format, "");
    EXPECT_EQ(cells["D2"].format, "");
}

TEST_F(ExcelServer, TheMoneyFormatFollowsTheRegionalLayout) {
    rtl::FormatSettings fs = rtl::englishSettings();
    fs.currencyString = "EUR";
    fs.currencyFormat = 3; // "1 $"
    fs.negCurrFormat = 15; // "(1 $)"
    fs.currencyDecimals = 0;
    rtl::ScopedFormatSettings s(fs);
    x.set("Cells", {1, 1}, Currency::fromRaw(-10000));
    auto cells = officefiles::readSheet(save());
    EXPECT_EQ(cells["A1"].value, "-1");
    EXPECT_EQ(cells["A1"].format, "#,##0\" EUR\";\"(\"#,##0\" EUR)\"");
}

TEST_F(ExcelServer, CellsMayBeSetInAnyOrderAndAnEmptyValueClearsOne) {
    x.set("Cells", {3, 2}, "c");
    x.set("Cells", {1, 3}, "a");
    x.set("Cells", {2, 1}, true);
    x.set("Cells", {1, 3}, Variant());
    x.set("Cells", {40, 40}, Variant()); // clearing far away creates nothing
    auto cells = officefiles::readSheet(save());
    EXPECT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells["B3"].value, "c");
    EXPECT_EQ(cells["A2"].type, "b");
    EXPECT_EQ(cells["A2"].value, "1");
}

TEST_F(ExcelServer, TextsComeBackAsTheyWereSent) {
    // Sequences the file format would read as escapes, control characters
    // and accents.
    const std::string texts[] = {"_x0041_", "a_x00e9_b_x", "tab\there\nline", "\x01\x1f",
                                 "\xc7\xe3\xff"};
    int col = 1;
    for (const auto& t : texts)
        x.set("Cells", {1, col++}, t);
    auto cells = officefiles::readSheet(save());
    EXPECT_EQ(cells["A1"].value, "_x005F_x0041_"); // as stored; a reader decodes it to the text
    EXPECT_EQ(cells["B1"].value, "a_x005F_x00e9_b_x");
    EXPECT_EQ(cells["C1"].value, "tab\there\nline");
    EXPECT_EQ(cells["D1"].value, "_x0001__x001F_");
    EXPECT_EQ(cells["E1"].value, "\xc7\xe3\xff");
}

TEST_F(ExcelServer, NumbersWithoutACellValueAreRefused) {
    EXPECT_THROW(x.set("Cells", {1, 1}, std::numeric_limits<double>::quiet_NaN()), EOleError);
    EXPECT_THROW(x.set("Cells", {1, 1}, std::numeric_limits<double>::infinity()), EOleError);
}

TEST_F(ExcelServer, AnEmptyWorkbookStillSavesASheet) {
    auto cells = officefiles::readSheet(save());
    EXPECT_TRUE(cells.empty());
}

TEST_F(ExcelServer, RefusesCellsOutsideTheSheetAndObjectsAsValues) {
    EXPECT_THROW(x.set("Cells", {0, 1}, "x"), EOleError);
    EXPECT_THROW(x.set("Cells", {1, 16385}, "x"), EOleError);
    EXPECT_THROW(x.set("Cells", {1048577, 1}, "x"), EOleError);
    EXPECT_NO_THROW(x.set("Cells", {1048576, 16384}, "x"));
    EXPECT_THROW(x.set("Cells", {1, 1}, Variant(x.get("Workbooks"))), EOleError);
    EXPECT_THROW(x.set("Cells", {1, 1}, std::string(32768, 'a')), EOleError);
    EXPECT_NO_THROW(x.set("Cells", {1, 1}, std::string(32767, 'a')));
    // The limit counts characters, not the bytes of a UTF-8 text.
    std::string ideogramas;
    for (int i = 0; i < 32767; ++i)
        ideogramas += "\xe4\xb8\xad";
    EXPECT_NO_THROW(x.set("Cells", {1, 1}, Variant::utf8(ideogramas)));
    EXPECT_THROW(x.set("Cells", {1, 1}, Variant::utf8(ideogramas + "a")), EOleError);
    EXPECT_THROW(x.value("Cells", {1, 1}), EOleError); // assignment only
}

TEST_F(ExcelServer, CellsNeedAnOpenWorkbook) {
    x.get("ActiveWorkBook").call("Close", {false});
    EXPECT_THROW(x.set("Cells", {1, 1}, "x"), EOleError);
    EXPECT_THROW(x.get("ActiveWorkBook"), EOleError);
}

TEST_F(ExcelServer, SavingReplacesAnExistingFileWhole) {
    std::string path = dir.file("old.xls");
    std::ofstream(path) << "not a workbook";
    x.set("Cells", {1, 1}, "novo");
    save("old.xls");
    EXPECT_EQ(officefiles::readSheet(path)["A1"].value, "novo");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(ExcelServer, ASaveIntoAMissingFolderFails) {
    EXPECT_THROW(x.get("ActiveWorkBook").call("SaveAs", {dir.file("nao/existe.xls")}), EOleError);
}
