// Workbook cells as the import reads them: typed cells, dates by their
// format, the chosen sheet, a file that is no workbook.
#include "import/Planilha.h"
#include "tests/support/fbtest.h"

#include <gtest/gtest.h>
#include <xlsxwriter.h>

using namespace importa;

TEST(Planilha, CelulasPorTipoEFormatoNaFolhaEscolhida) {
    fbtest::TempFolder pasta;
    const std::string arquivo = pasta.file("p.xlsx");
    lxw_workbook* wb = workbook_new(arquivo.c_str());
    worksheet_write_string(workbook_add_worksheet(wb, "Capa"), 0, 0, "nada", nullptr);
    lxw_worksheet* ws = workbook_add_worksheet(wb, "Dados");
    lxw_format* data = workbook_add_format(wb);
    format_set_num_format(data, "dd/mm/yyyy");
    lxw_format* hora = workbook_add_format(wb);
    format_set_num_format(hora, "[$-416]hh:mm:ss");
    lxw_format* momento = workbook_add_format(wb);
    format_set_num_format_index(momento, 22);
    lxw_format* dinheiro = workbook_add_format(wb);
    format_set_num_format(dinheiro, "\"R$ \"#,##0.00;[Red]-#,##0.00");
    lxw_datetime dt = {2024, 2, 29, 13, 14, 15.5};
    worksheet_write_string(ws, 1, 0, "00123", nullptr);
    worksheet_write_number(ws, 1, 1, 1234.5, dinheiro);
    worksheet_write_datetime(ws, 1, 2, &dt, data);
    worksheet_write_datetime(ws, 1, 3, &dt, momento);
    worksheet_write_number(ws, 1, 4, 0.5, hora);
    worksheet_write_boolean(ws, 1, 5, 1, nullptr);
    worksheet_write_number(ws, 3, 2, -1e-3, nullptr); // a gap: row 3 empty, cells A..B empty
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);

    EXPECT_EQ(folhasDaPlanilha(arquivo), (std::vector<std::string>{"Capa", "Dados"}));
    FontePlanilha f(arquivo, 1);
    Linha l;
    ASSERT_TRUE(f.proxima(l));
    EXPECT_EQ(l.numero, 2);
    EXPECT_EQ(l.celulas,
              (std::vector<std::string>{"00123", "1234.5", "2024-02-29", "2024-02-29T13:14:15.500",
                                        "12:00:00.000", "true"}));
    const bool numeros[] = {false, true, false, false, false, false};
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(f.numerosEmC(i, l), numeros[i]) << i;
    ASSERT_TRUE(f.proxima(l));
    EXPECT_EQ(l.numero, 4);
    EXPECT_EQ(l.celulas, (std::vector<std::string>{"", "", "-0.001"}));
    EXPECT_TRUE(f.numerosEmC(2, l));
    EXPECT_FALSE(f.proxima(l));

    fbtest::TempFolder outra;
    const std::string ruim = outra.file("x.xlsx");
    FILE* a = std::fopen(ruim.c_str(), "wb");
    std::fputs("a;b\n", a);
    std::fclose(a);
    EXPECT_THROW(FontePlanilha{ruim}, EPlanilha);
    EXPECT_THROW(FontePlanilha(arquivo, 2), EPlanilha);
}
