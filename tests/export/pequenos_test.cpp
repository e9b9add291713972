// A SMALLINT column that holds more than flags, exported by every writer:
// 1 gives "SIM", 0 and null "NÃO", and every other value its own number.
#include "automation/Servers.h"
#include "export/ExpDataSet.h"
#include "export/ExpExcel.h"
#include "export/ExpWord.h"
#include "export/Exporta.h"
#include "tests/automation/OfficeFiles.h"
#include "tests/export/gravador.h"
#include "tests/export/tabela.h"

#include "rtl/settings.h"

#include <gtest/gtest.h>

using exptest::le;
using exptest::Tabela;

namespace {

struct Caso {
    const char* valor; ///< in the insert
    const char* texto; ///< as every writer shows it
    bool numero;       ///< a number cell in Excel
};

const Caso kCasos[] = {
    {"1", "SIM", false},      {"0", "N\xc3O", false},     {"null", "N\xc3O", false},
    {"2", "2", true},         {"-1", "-1", true},         {"7", "7", true},
    {"32767", "32767", true}, {"-32768", "-32768", true},
};

class Pequenos : public ::testing::Test {
protected:
    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    exptest::Gravador usuario;
    std::unique_ptr<Tabela> t;

    void SetUp() override {
        automation::resetServers();
        std::string ddl = "create table GRUPOS (ID integer not null primary key, G smallint);";
        int id = 0;
        for (const Caso& c : kCasos)
            ddl += "insert into GRUPOS values (" + std::to_string(++id) + ", " + c.valor + ");";
        t = std::make_unique<Tabela>(pasta, ddl, "GRUPOS");
        t->escolhe({"G"});
        t->tabela.Last();
        t->tabela.First();
    }
    void TearDown() override { automation::resetServers(); }
};

} // namespace

TEST_F(Pequenos, TextHtmlAndXmlWriteFlagsAsWordsAndOtherValuesAsNumbers) {
    std::string texto, html, xml;
    for (const Caso& c : kCasos) {
        texto += std::string(c.texto) + "\r\n";
        html += std::string("<td nowrap  >") + c.texto + " </td>\r\n</tr>\r\n";
        xml += std::string("    <G>") + c.texto + "</G>\r\n";
    }
    exporta::FonteDataSet fonte(t->tabela);
    ASSERT_TRUE(exporta::ExpText(pasta.file("g.txt"), fonte, ",", ""));
    EXPECT_EQ(le(pasta.file("g.txt")), texto);

    ASSERT_TRUE(exporta::ExpHtml(pasta.file("g.html"), fonte, {}, nullptr));
    std::string pagina;
    for (std::string resto = le(pasta.file("g.html")); !resto.empty();) {
        auto p = resto.find("<td nowrap");
        if (p == std::string::npos) break;
        auto fim = resto.find("</tr>\r\n", p) + 7;
        pagina += resto.substr(p, fim - p);
        resto.erase(0, fim);
    }
    EXPECT_EQ(pagina, html);

    ASSERT_TRUE(exporta::ExpXml(pasta.file("g.xml"), fonte));
    std::string dados = le(pasta.file("g.xml"));
    std::string linhas;
    for (std::size_t p = 0; (p = dados.find("    <G>", p)) != std::string::npos;) {
        auto fim = dados.find("\r\n", p) + 2;
        linhas += dados.substr(p, fim - p);
        p = fim;
    }
    EXPECT_EQ(linhas, xml);
}

TEST_F(Pequenos, WordCellsShowTheSameTextsAndExcelGetsNumberCells) {
    exporta::FonteDataSet fonte(t->tabela);
    ASSERT_TRUE(exporta::ExpWord(pasta.file("g.docx"), fonte));
    auto d = officefiles::readWord(pasta.file("g.docx"));
    ASSERT_EQ(d.rows.size(), std::size(kCasos) + 1);

    t->tabela.First();
    ASSERT_TRUE(exporta::ExpExcel(pasta.file("g.xlsx"), fonte));
    auto cells = officefiles::readSheet(pasta.file("g.xlsx"));

    for (std::size_t i = 0; i < std::size(kCasos); ++i) {
        const Caso& c = kCasos[i];
        EXPECT_EQ(d.rows[i + 1][0].text, c.texto) << c.valor;
        const auto& cel = cells["A" + std::to_string(i + 2)];
        EXPECT_EQ(cel.type, c.numero ? "n" : "s") << c.valor;
        EXPECT_EQ(cel.value, c.texto) << c.valor;
    }
}
