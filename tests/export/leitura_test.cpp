// An export reads the table's rows again on a forward-only cursor of its
// own: the grid keeps its rows and position, memory stays flat, and the
// file holds what the grid shows.
#include "db/FbError.h"
#include "export/ExpTabela.h"
#include "tests/export/tabela.h"

#include "rtl/settings.h"

#include <gtest/gtest.h>

using exptest::le;
using exptest::Tabela;

namespace {

// 3000 rows; the filter keeps the 1000 whose ID is a multiple of 3.
const char* kMuitos =
    "create table ITENS (ID integer not null primary key, NOME varchar(30), V numeric(9,2),"
    " D date);"
    "set term ^;"
    "execute block as declare i integer = 1; begin while (i <= 3000) do begin"
    " insert into ITENS values (:i, 'item ' || :i, :i / 4.0, dateadd(:i day to date '2020-01-01'));"
    " i = i + 1; end end^"
    "set term ;^";

class Leitura : public ::testing::Test {
protected:
    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
};

} // namespace

TEST_F(Leitura, FilteredGridKeepsItsRowsAndPositionAndTheFileHoldsItsRows) {
    Tabela t(pasta, kMuitos, "ITENS");
    t.tabela.ApplyFilter("mod(ID, 3) = 0", true);
    t.tabela.SetRecNo(7);
    const int linhasAntes = t.tabela.RecordCount();
    const std::size_t cacheAntes = t.tabela.CacheBytes();
    const std::string atual = t.tabela.FieldByName("NOME").AsString();

    // Names in another order than the table's: the file follows the table.
    const std::string alvo = pasta.file("novo.txt");
    std::vector<std::pair<std::int64_t, std::int64_t>> passos;
    {
        exporta::LeituraTabela leitura(t.tabela, {"D", "ID"});
        EXPECT_EQ(leitura.total(), 1000);
        ASSERT_TRUE(
            exporta::ExpText(alvo, leitura.fonte(), ";", "", [&](std::int64_t p, std::int64_t m) {
                if (p == 0 || p == m) passos.emplace_back(p, m);
            }));
    }
    EXPECT_EQ(t.tabela.RecNo(), 7);
    EXPECT_EQ(t.tabela.RecordCount(), linhasAntes);
    EXPECT_EQ(t.tabela.CacheBytes(), cacheAntes);
    EXPECT_EQ(t.tabela.FieldByName("NOME").AsString(), atual);
    EXPECT_TRUE(t.tabela.FieldByName("NOME").Visible());
    EXPECT_EQ(passos,
              (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 1000}, {1000, 1000}}));

    // The old way, through the grid's own walk, writes the same bytes.
    const std::string antigo = pasta.file("antigo.txt");
    t.escolhe({"ID", "D"});
    t.tabela.Last();
    t.tabela.First();
    exporta::FonteDataSet grade(t.tabela);
    ASSERT_TRUE(exporta::ExpText(antigo, grade, ";", "", {}));
    const std::string texto = le(alvo);
    EXPECT_EQ(texto, le(antigo));
    EXPECT_EQ(texto.substr(0, 16), "3;04/01/2020\r\n6;");
    EXPECT_EQ(std::count(texto.begin(), texto.end(), '\n'), 1000);
}

TEST_F(Leitura, AForwardOnlyCursorHoldsOneRowWhateverItReads) {
    Tabela t(pasta, kMuitos, "ITENS");
    TFbTable cursor;
    cursor.SelectLike(t.tabela);
    cursor.SetUnidirectional(true);
    EXPECT_EQ(cursor.CountRows(), 3000);
    cursor.Open();
    EXPECT_THROW(cursor.SetUnidirectional(false), EDatabaseError);
    const std::size_t umaLinha = cursor.CacheBytes();
    long linhas = 0, soma = 0;
    for (cursor.First(); !cursor.Eof(); cursor.Next()) {
        ++linhas;
        soma += cursor.FieldByName("ID").AsInteger();
        ASSERT_EQ(cursor.RecordCount(), 1);
        ASSERT_LE(cursor.CacheBytes(), umaLinha);
    }
    EXPECT_EQ(linhas, 3000);
    EXPECT_EQ(soma, 3000L * 3001 / 2);
    // The last row stays readable at the end.
    EXPECT_EQ(cursor.FieldByName("ID").AsInteger(), 3000);
}

TEST_F(Leitura, AnUnknownFieldOrARefusedFilterFailsBeforeAnyFileIsWritten) {
    Tabela t(pasta, kMuitos, "ITENS");
    EXPECT_THROW(exporta::LeituraTabela(t.tabela, {"ID", "NADA"}), EDatabaseError);
    t.tabela.SetFilterForNextOpen("COLUNA_QUE_NAO_HA = 1", true);
    EXPECT_THROW(exporta::LeituraTabela(t.tabela, {"ID"}), EDatabaseError);
    EXPECT_EQ(t.tabela.RecNo(), 1);
}
