// The export component's HTML writer: every cell passes through its
// OnFormatCell event, whose results are written and whose errors are not
// allowed to cost the page.
#include "export/ExpDataSet.h"
#include "export/ui/ExpTov.h"
#include "tests/export/tabela.h"

#include "rtl/settings.h"

#include <gtest/gtest.h>

#include <stdexcept>

using exptest::le;
using exptest::Tabela;

namespace {

const char* kClientes = "create table CLI (A varchar(10), B integer, C varchar(20));"
                        "insert into CLI values ('ABC', 12, 'O''Brien');"
                        "insert into CLI values ('X;Y', -3, null);";

class Escritores : public ::testing::Test {
protected:
    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("saida.txt");
};

} // namespace

TEST_F(Escritores, HtmlCellEventSeesEveryCellAndItsResultIsWritten) {
    Tabela t(pasta, kClientes, "CLI");
    t.escolhe({"A", "C"});
    struct Chamada {
        int linha, coluna;
        std::string campo, dado;
    };
    std::vector<Chamada> chamadas;
    TExpTov componente;
    componente.OnFormatCell = [&](TExpTov* sender, int row, int col, const std::string& campo,
                                  std::string& attrs, std::string& dado) {
        EXPECT_EQ(sender, &componente);
        EXPECT_EQ(attrs, "");
        chamadas.push_back({row, col, campo, dado});
        if (col == 2) attrs = "align=\"right\"";
        if (row == 2 && col == 1) dado = "<i>" + dado + "</i>";
    };
    exporta::FonteDataSet fonte(t.tabela);
    ASSERT_TRUE(componente.ExpHtml(alvo, fonte));

    ASSERT_EQ(chamadas.size(), 6u);
    EXPECT_EQ(chamadas[0].linha, 1);
    EXPECT_EQ(chamadas[0].campo, "A");
    EXPECT_EQ(chamadas[1].coluna, 2);
    EXPECT_EQ(chamadas[1].campo, "C");
    EXPECT_EQ(chamadas[3].dado, "O'Brien");
    EXPECT_EQ(chamadas[4].linha, 3);
    EXPECT_EQ(chamadas[5].dado, "&nbsp");
    std::string pagina = le(alvo);
    EXPECT_NE(pagina.find("<th align=\"right\" >C </th>"), std::string::npos);
    EXPECT_NE(pagina.find("<td nowrap  ><i>ABC</i> </td>"), std::string::npos);
    EXPECT_NE(pagina.find("<td nowrap align=\"right\" >&nbsp </td>"), std::string::npos);
}

TEST_F(Escritores, HtmlCellEventThatThrowsStillYieldsTheWholePage) {
    Tabela t(pasta, kClientes, "CLI");
    t.tabela.Last();
    exporta::FonteDataSet semEvento(t.tabela);
    ASSERT_TRUE(exporta::ExpHtml(alvo, semEvento, {}, nullptr));
    std::string esperado = le(alvo);

    TExpTov componente;
    int chamadas = 0;
    componente.OnFormatCell = [&](TExpTov*, int, int, const std::string&, std::string&,
                                  std::string&) {
        ++chamadas;
        throw std::runtime_error("falhou");
    };
    ASSERT_TRUE(componente.ExpHtml(alvo, t.tabela));
    EXPECT_EQ(chamadas, 9);
    EXPECT_EQ(le(alvo), esperado);
}
