// The Excel export as a spreadsheet user opens it: date cells, text that
// stays text, a header that is bold, frozen and filtered, and a table longer
// than a sheet continued on more sheets. Read back from the saved file.
#include "automation/Servers.h"
#include "export/ExpExcel.h"
#include "export/ExpTabela.h"
#include "tests/automation/OfficeFiles.h"
#include "tests/export/tabela.h"

#include "rtl/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using exptest::Tabela;
using officefiles::readSheet;
using officefiles::readZipEntry;

namespace {

class Planilha : public ::testing::Test {
protected:
    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    void SetUp() override { automation::resetServers(); }
    void TearDown() override {
        exporta::defineLinhasPorPlanilha(0);
        automation::resetServers();
    }
};

// How many times each value of column A holds a number in a sheet's XML
// (header row apart), counted into `vistos`.
void contaNumeros(const std::string& xml, std::vector<int>& vistos) {
    for (std::size_t p = xml.find("<c r=\"A"); p != std::string::npos;
         p = xml.find("<c r=\"A", p + 1)) {
        const std::size_t v = xml.find("<v>", p);
        const std::size_t fim = xml.find("</c>", p);
        if (v == std::string::npos || v > fim) continue;
        const long n = std::strtol(xml.c_str() + v + 3, nullptr, 10);
        if (n >= 0 && n < static_cast<long>(vistos.size())) ++vistos[static_cast<std::size_t>(n)];
    }
}

} // namespace

TEST_F(Planilha, CellsAreTypedAndTheHeaderIsBoldFrozenAndFiltered) {
    Tabela t(pasta,
             "create table T (ID integer not null primary key, COD varchar(10), D date, H time,"
             " TS timestamp, V numeric(9,2), VELHA date);"
             "insert into T values (1, '00123', '2024-12-25', '13:45:30', '2024-12-25 08:05:00',"
             " 10.5, '1899-12-30');"
             "insert into T values (2, 'abc', null, null, null, -1, '1850-01-01');",
             "T");
    const std::string alvo = pasta.file("t.xlsx");
    int planilhas = 0;
    {
        exporta::LeituraTabela leitura(t.tabela, {"ID", "COD", "D", "H", "TS", "V", "VELHA"});
        ASSERT_TRUE(exporta::ExpExcel(alvo, leitura.fonte(), {}, &planilhas));
    }
    EXPECT_EQ(planilhas, 1);
    auto c = readSheet(alvo);
    EXPECT_EQ(c["B2"].type, "s");
    EXPECT_EQ(c["B2"].value, "00123");
    EXPECT_EQ(c["A2"].type, "n");
    struct Caso {
        const char* celula;
        const char* valor;
        const char* formato;
    } casos[] = {{"C2", "45651", "dd/mm/yyyy"},
                 {"D2", "0.573263888888889", "hh:mm:ss"},
                 {"E2", "45651.336805555555", "dd/mm/yyyy hh:mm:ss"},
                 {"D3", "0", "hh:mm:ss"}}; // a null time reads as midnight
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.celula);
        EXPECT_EQ(c[k.celula].type, "n");
        EXPECT_NEAR(std::stod(c[k.celula].value), std::stod(k.valor), 1e-9);
        EXPECT_EQ(c[k.celula].format, k.formato);
    }
    // No date at all: the zero date and a null one leave the cell empty; a
    // day a sheet cannot hold as a date stays text.
    EXPECT_EQ(c.count("G2"), 0u);
    EXPECT_EQ(c.count("C3"), 0u);
    EXPECT_EQ(c["G3"].type, "s");
    EXPECT_EQ(c["G3"].value, "01/01/1850");

    const std::string xml = readZipEntry(alvo, "xl/worksheets/sheet1.xml");
    EXPECT_NE(xml.find("<pane ySplit=\"1\""), std::string::npos);
    EXPECT_NE(xml.find("<autoFilter ref=\"A1:G3\""), std::string::npos);
    EXPECT_NE(xml.find("<col min=\"2\" max=\"2\""), std::string::npos);
    EXPECT_NE(readZipEntry(alvo, "xl/styles.xml").find("<b/>"), std::string::npos);
}

TEST_F(Planilha, RowsPastASheetGoOnInNewSheetsUnderTheSameHeader) {
    // The real sheet holds the header and 1,048,575 rows.
    EXPECT_EQ(exporta::linhasPorPlanilha(), 1048575);
    exporta::defineLinhasPorPlanilha(2);
    Tabela t(pasta,
             "create table T (ID integer not null primary key, NOME varchar(10));"
             "insert into T values (1, 'a'); insert into T values (2, 'b');"
             "insert into T values (3, 'c'); insert into T values (4, 'd');"
             "insert into T values (5, 'e');",
             "T");
    const std::string alvo = pasta.file("t.xlsx");
    int planilhas = 0;
    {
        exporta::LeituraTabela leitura(t.tabela, {"ID", "NOME"});
        ASSERT_TRUE(exporta::ExpExcel(alvo, leitura.fonte(), {}, &planilhas));
    }
    EXPECT_EQ(planilhas, 3);
    const char* esperado[][2] = {{"1", "2"}, {"3", "4"}, {"5", nullptr}};
    for (int f = 1; f <= 3; ++f) {
        SCOPED_TRACE(f);
        auto c = readSheet(alvo, false, f);
        EXPECT_EQ(c["A1"].value, "ID");
        EXPECT_EQ(c["B1"].value, "NOME");
        EXPECT_EQ(c["A2"].value, esperado[f - 1][0]);
        if (esperado[f - 1][1])
            EXPECT_EQ(c["A3"].value, esperado[f - 1][1]);
        else
            EXPECT_EQ(c.count("A3"), 0u);
    }
}

TEST_F(Planilha, AMillionAndMoreRowsFillOneSheetAndGoOnInASecond) {
#if defined(__SANITIZE_ADDRESS__)
    // Instrumented, a million rows take minutes: a shorter sheet, the same path.
    const long kLinhas = 4097;
    exporta::defineLinhasPorPlanilha(4096);
#else
    const long kLinhas = 1048576;
#endif
    Tabela t(pasta,
             "create table T (ID integer not null primary key);"
             "set term ^;"
             "execute block as declare i integer = 1; begin while (i <= " +
                 std::to_string(kLinhas) +
                 ") do begin"
                 " insert into T values (:i); i = i + 1; end end^"
                 "set term ;^",
             "T");
    const std::string alvo = pasta.file("grande.xlsx");
    int planilhas = 0;
    {
        exporta::LeituraTabela leitura(t.tabela, {"ID"});
        ASSERT_TRUE(exporta::ExpExcel(alvo, leitura.fonte(), {}, &planilhas));
    }
    EXPECT_EQ(planilhas, 2);
    std::vector<int> vistos(static_cast<std::size_t>(kLinhas) + 1, 0);
    for (int f = 1; f <= 2; ++f) {
        const std::string xml =
            readZipEntry(alvo, "xl/worksheets/sheet" + std::to_string(f) + ".xml");
        EXPECT_NE(xml.find("<t>ID</t>"), std::string::npos) << f;
        contaNumeros(xml, vistos);
    }
    // The first sheet full: the header and the sheet's data rows.
    EXPECT_NE(readZipEntry(alvo, "xl/worksheets/sheet1.xml")
                  .find("<autoFilter ref=\"A1:A" + std::to_string(kLinhas) + "\""),
              std::string::npos);
    long uma = 0;
    for (long n = 1; n <= kLinhas; ++n)
        uma += vistos[static_cast<std::size_t>(n)] == 1;
    EXPECT_EQ(uma, kLinhas);
    EXPECT_EQ(vistos[0], 0);
}
