// A table with a BOOLEAN column exported: every writer gives "SIM" or "NÃO",
// and a null reads as false, as for the other kinds that read null as zero.
#include "automation/Servers.h"
#include "export/ExpDataSet.h"
#include "export/ExpExcel.h"
#include "export/ExpWord.h"
#include "export/Exporta.h"
#include "tests/automation/OfficeFiles.h"
#include "tests/export/tabela.h"

#include "rtl/settings.h"

#include <gtest/gtest.h>

using exptest::le;
using exptest::Tabela;

namespace {

const char* kTarefas = "create table TAREFAS (ID integer not null primary key, FEITA boolean);"
                       "insert into TAREFAS values (1, true);"
                       "insert into TAREFAS values (2, false);"
                       "insert into TAREFAS values (3, null);";

class Booleanos : public ::testing::Test {
protected:
    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;

    void SetUp() override { automation::resetServers(); }
    void TearDown() override { automation::resetServers(); }
};

} // namespace

TEST_F(Booleanos, TextHtmlAndXmlWriteSimOrNao) {
    Tabela t(pasta, kTarefas, "TAREFAS");
    const std::string alvo = pasta.file("saida.txt");
    {
        exporta::FonteDataSet fonte(t.tabela);
        ASSERT_TRUE(exporta::ExpText(alvo, fonte, ";", ""));
    }
    EXPECT_EQ(le(alvo), "1;SIM\r\n2;N\xc3O\r\n3;N\xc3O\r\n");

    const std::string html = pasta.file("saida.html");
    {
        exporta::FonteDataSet fonte(t.tabela);
        exporta::ExpHtml(html, fonte, {}, nullptr);
    }
    const std::string pagina = le(html);
    EXPECT_NE(pagina.find("SIM"), std::string::npos);
    EXPECT_NE(pagina.find("N\xc3O"), std::string::npos);
    EXPECT_EQ(pagina.find("true"), std::string::npos);

    const std::string xml = pasta.file("saida.xml");
    {
        exporta::FonteDataSet fonte(t.tabela);
        ASSERT_TRUE(exporta::ExpXml(xml, fonte));
    }
    const std::string dados = le(xml);
    EXPECT_NE(dados.find("SIM"), std::string::npos);
    EXPECT_EQ(dados.find("true"), std::string::npos);
}

TEST_F(Booleanos, ExcelAndWordCellsHoldTheSameTexts) {
    Tabela t(pasta, kTarefas, "TAREFAS");
    const std::string planilha = pasta.file("t.xls");
    {
        t.tabela.Last();
        t.tabela.First();
        exporta::FonteDataSet fonte(t.tabela);
        ASSERT_TRUE(exporta::ExpExcel(planilha, fonte));
    }
    auto cells = officefiles::readSheet(planilha);
    EXPECT_EQ(cells["B1"].value, "FEITA");
    EXPECT_EQ(cells["B2"].type, "s");
    EXPECT_EQ(cells["B2"].value, "SIM");
    EXPECT_EQ(cells["B3"].value, "N\xc3O");
    EXPECT_EQ(cells["B4"].value, "N\xc3O");

    const std::string documento = pasta.file("t.doc");
    {
        t.tabela.First();
        exporta::FonteDataSet fonte(t.tabela);
        ASSERT_TRUE(exporta::ExpWord(documento, fonte));
    }
    auto d = officefiles::readWord(documento);
    ASSERT_EQ(d.rows.size(), 4u);
    EXPECT_EQ(d.rows.at(1).at(1).text, "SIM");
    EXPECT_EQ(d.rows.at(2).at(1).text, "N\xc3O");
}
