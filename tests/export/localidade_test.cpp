// Word and Excel files written while the whole process runs under a
// Brazilian locale, as the program does once the toolkit has installed the
// user's locale: the numbers in the files keep the file formats' decimal
// point, and every part of the package reads exactly as under "C".
#include "automation/Servers.h"
#include "export/ExpDataSet.h"
#include "export/ExpExcel.h"
#include "export/ExpWord.h"
#include "tests/automation/OfficeFiles.h"
#include "tests/export/gravador.h"
#include "tests/export/tabela.h"

#include "rtl/settings.h"

#include <gtest/gtest.h>

#include <charconv>
#include <map>
#include <optional>

using exptest::Tabela;

namespace {

const char* kNumeros =
    "create table NUMEROS (ID integer not null primary key, V numeric(15,2), D double precision);"
    "insert into NUMEROS values (1, 123.45, 0.123456);"
    "insert into NUMEROS values (2, 1234.5, -1234.5678);"
    "insert into NUMEROS values (3, -0.01, 1.234567890123457E+17);";

class Localidade : public ::testing::Test {
protected:
    static void SetUpTestSuite() { fbtest::ensureLocale("pt_BR.UTF-8"); }

    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    exptest::Gravador usuario;

    void SetUp() override { automation::resetServers(); }
    void TearDown() override { automation::resetServers(); }

    /// Every part of the package but the one that holds the time of saving.
    static std::map<std::string, std::string> partes(const std::string& arquivo) {
        std::map<std::string, std::string> r;
        for (const std::string& nome : officefiles::zipEntries(arquivo))
            if (nome != "docProps/core.xml") r[nome] = officefiles::readZipEntry(arquivo, nome);
        return r;
    }

    /// Exports the table with the process under `localidade` (none: "C").
    std::map<std::string, std::string> exporta(Tabela& t, bool word, const std::string& arquivo,
                                               const char* localidade) {
        std::optional<fbtest::ScopedProcessLocale> processo;
        if (localidade) processo.emplace(localidade);
        t.tabela.Last();
        t.tabela.First();
        exporta::FonteDataSet fonte(t.tabela);
        EXPECT_TRUE(word ? exporta::ExpWord(arquivo, fonte) : exporta::ExpExcel(arquivo, fonte));
        return partes(arquivo);
    }
};

void mesmasPartes(const std::map<std::string, std::string>& emBr,
                  const std::map<std::string, std::string>& emC) {
    ASSERT_EQ(emBr.size(), emC.size());
    for (const auto& [nome, conteudo] : emC)
        EXPECT_EQ(emBr.at(nome), conteudo) << nome;
}

double numero(const std::string& texto) {
    double d = 0;
    auto r = std::from_chars(texto.data(), texto.data() + texto.size(), d);
    EXPECT_TRUE(r.ec == std::errc() && r.ptr == texto.data() + texto.size()) << texto;
    return d;
}

} // namespace

TEST_F(Localidade, ExcelNumbersKeepTheirDecimalPointUnderABrazilianProcess) {
    Tabela t(pasta, kNumeros, "NUMEROS");
    const std::string alvo = pasta.file("numeros.xlsx");
    mesmasPartes(exporta(t, false, alvo, "pt_BR.UTF-8"),
                 exporta(t, false, pasta.file("c.xlsx"), nullptr));

    auto cells = officefiles::readSheet(alvo);
    struct Celula {
        const char* ref;
        double valor;
    } celulas[] = {
        {"B2", 123.45},     {"C2", 0.123456}, {"B3", 1234.5},
        {"C3", -1234.5678}, {"B4", -0.01},    {"C4", 1.234567890123457E+17},
    };
    for (const auto& c : celulas) {
        EXPECT_EQ(cells[c.ref].type, "n") << c.ref;
        EXPECT_EQ(numero(cells[c.ref].value), c.valor) << c.ref;
    }
}

TEST_F(Localidade, WordDocumentIsTheSameUnderABrazilianProcess) {
    Tabela t(pasta, kNumeros, "NUMEROS");
    const std::string alvo = pasta.file("numeros.docx");
    mesmasPartes(exporta(t, true, alvo, "pt_BR.UTF-8"),
                 exporta(t, true, pasta.file("c.docx"), nullptr));

    // Cell texts follow the regional settings the program reads, never the
    // C library's locale; measures of the page stay whole numbers.
    auto d = officefiles::readWord(alvo);
    ASSERT_EQ(d.rows.size(), 4u);
    EXPECT_EQ(d.rows[1][1].text, "123,45");
    EXPECT_EQ(d.rows[1][2].text, "0,123456");
    EXPECT_EQ(d.rows[2][2].text, "-1234,5678");
    EXPECT_EQ(d.pageWidth, "16838");
    EXPECT_EQ(d.pageHeight, "11906");
}
