// The text, HTML and XML writers on real tables under the Brazilian
// regional settings, checked byte by byte in the files they leave. The
// component's cell event: ui/componente_test.cpp.
#include "export/ExpDataSet.h"
#include "export/Exporta.h"
#include "tests/export/tabela.h"
#include "tests/support/tmpfs.h"

#include "rtl/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;
using exptest::le;
using exptest::Tabela;

namespace {

const char* kClientes = "create table CLI (A varchar(10), B integer, C varchar(20));"
                        "insert into CLI values ('ABC', 12, 'O''Brien');"
                        "insert into CLI values ('X;Y', -3, null);";

const char* kTipos =
    "create table TIPOS (ID integer not null primary key, S smallint, F double precision,"
    " V numeric(15,2), D date, H time, TS timestamp, G bigint, N varchar(20));"
    "insert into TIPOS values (1, 1, 1234.5, 1234.5, '2024-12-25', '13:45:30',"
    " '2024-12-25 08:05:00', 9007199254740993, 'x');"
    "insert into TIPOS (ID) values (2);"
    "insert into TIPOS values (3, 0, -0.5, -7, '1899-12-30', '00:00:00', '2024-01-02 00:00:00',"
    " -5, '');";

class Escritores : public ::testing::Test {
protected:
    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("saida.txt");
};

} // namespace

TEST_F(Escritores, TextUsesTheFirstCharacterOfEachSeparatorEdit) {
    Tabela t(pasta, kClientes, "CLI");
    struct Caso {
        const char *sepC, *sepT, *linha1, *linha2;
    } casos[] = {
        {",", "''", "'ABC','12','O''Brien'", "'X;Y','-3',''"},
        {"", "''", "'ABC''12''O''Brien'", "'X;Y''-3'''"},
        {";", "", "ABC;12;O'Brien", "X;Y;-3;"},
        {" | ", "''", "'ABC'|'12'|'O''Brien'", "'X;Y'|'-3'|''"},
        {";;", "\"x", "\"ABC\";\"12\";\"O'Brien\"", "\"X;Y\";\"-3\";\"\""},
        {"  ", "\t", "ABC12O'Brien", "X;Y-3"},
    };
    for (const auto& c : casos) {
        exporta::FonteDataSet fonte(t.tabela);
        EXPECT_TRUE(exporta::ExpText(alvo, fonte, c.sepC, c.sepT));
        EXPECT_EQ(le(alvo), std::string(c.linha1) + "\r\n" + c.linha2 + "\r\n")
            << "separators [" << c.sepC << "] [" << c.sepT << "]";
    }
}

TEST_F(Escritores, TextWritesEveryKindByTheSharedFormatting) {
    Tabela t(pasta, kTipos, "TIPOS");
    exporta::FonteDataSet fonte(t.tabela);
    ASSERT_TRUE(exporta::ExpText(alvo, fonte, ",", "''"));
    EXPECT_EQ(le(alvo), "'1','SIM','1234,5','1234,5','25/12/2024','13:45:30',"
                        "'25/12/2024 08:05:00','9007199254740993','x'\r\n"
                        "'2','N\xc3O','0','0','','00:00:00','','0',''\r\n"
                        "'3','N\xc3O','-0,5','-7','','00:00:00','02/01/2024','-5',''\r\n");
}

TEST_F(Escritores, TextOfATableWithoutRowsIsAnEmptyFile) {
    Tabela t(pasta, "create table VAZIA (A integer);", "VAZIA");
    exptest::grava(alvo, "conteudo antigo");
    exporta::FonteDataSet fonte(t.tabela);
    ASSERT_TRUE(exporta::ExpText(alvo, fonte, ",", "''"));
    EXPECT_TRUE(fs::exists(alvo));
    EXPECT_EQ(le(alvo), "");
}

TEST_F(Escritores, TextReportsProgressRowByRow) {
    Tabela t(pasta, kTipos, "TIPOS");
    t.tabela.Last();
    t.tabela.First();
    std::vector<std::pair<std::int64_t, std::int64_t>> passos;
    exporta::FonteDataSet fonte(t.tabela);
    exporta::ExpText(alvo, fonte, ",", "''",
                     [&](std::int64_t p, std::int64_t m) { passos.emplace_back(p, m); });
    EXPECT_EQ(passos,
              (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
}

TEST_F(Escritores, OnlyTheVisibleFieldsInDatasetOrder) {
    Tabela t(pasta, kTipos, "TIPOS");
    t.escolhe({"N", "S", "ID"});
    exporta::FonteDataSet fonte(t.tabela);
    ASSERT_TRUE(exporta::ExpText(alvo, fonte, ";", ""));
    EXPECT_EQ(le(alvo), "1;SIM;x\r\n2;N\xc3O;\r\n3;N\xc3O;\r\n");
}

TEST_F(Escritores, HtmlPageWithCurrencyInTheRegionalFormat) {
    Tabela t(pasta, kTipos, "TIPOS");
    t.escolhe({"ID", "S", "V", "D", "N"});
    t.tabela.FieldByName("V").SetDisplayLabel("Valor total");
    t.tabela.Last();
    t.tabela.First();
    exporta::FonteDataSet fonte(t.tabela);
    ASSERT_TRUE(exporta::ExpHtml(alvo, fonte, {}, nullptr));
    EXPECT_EQ(le(alvo),
              "<html>\r\n"
              "<head> <title> Listagem </title> </head>\r\n"
              "<body>\r\n"
              "<table border = \"1\" rows = \"3\" bordercolor=\"#000000\" cellspacing=\"0\" "
              "cellpadding=\"2\">\r\n"
              "<tr>\r\n"
              "<th  >ID </th>\r\n"
              "<th  >S </th>\r\n"
              "<th  >Valor total </th>\r\n"
              "<th  >D </th>\r\n"
              "<th  >N </th>\r\n"
              "</tr>\r\n"
              "<tr>\r\n"
              "<td nowrap  >1 </td>\r\n"
              "<td nowrap  >SIM </td>\r\n"
              "<td nowrap  >R$ 1.234,50 </td>\r\n"
              "<td nowrap  >25/12/2024 </td>\r\n"
              "<td nowrap  >x </td>\r\n"
              "</tr>\r\n"
              "<tr>\r\n"
              "<td nowrap  >2 </td>\r\n"
              "<td nowrap  >N\xc3O </td>\r\n"
              "<td nowrap  >R$ 0,00 </td>\r\n"
              "<td nowrap  >&nbsp </td>\r\n"
              "<td nowrap  >&nbsp </td>\r\n"
              "</tr>\r\n"
              "<tr>\r\n"
              "<td nowrap  >3 </td>\r\n"
              "<td nowrap  >N\xc3O </td>\r\n"
              "<td nowrap  >-R$ 7,00 </td>\r\n"
              "<td nowrap  >&nbsp </td>\r\n"
              "<td nowrap  >&nbsp </td>\r\n"
              "</tr>\r\n"
              "</table>\r\n"
              "</body>\r\n"
              "</html>\r\n");
}

TEST_F(Escritores, HtmlOfATableWithoutRowsHasTheHeaderAndRowsZero) {
    Tabela t(pasta, "create table VAZIA (A integer, B varchar(5));", "VAZIA");
    exporta::FonteDataSet fonte(t.tabela);
    ASSERT_TRUE(exporta::ExpHtml(alvo, fonte, {}, nullptr));
    EXPECT_EQ(le(alvo), "<html>\r\n<head> <title> Listagem </title> </head>\r\n<body>\r\n"
                        "<table border = \"1\" rows = \"0\" bordercolor=\"#000000\" "
                        "cellspacing=\"0\" cellpadding=\"2\">\r\n"
                        "<tr>\r\n<th  >A </th>\r\n<th  >B </th>\r\n</tr>\r\n"
                        "</table>\r\n</body>\r\n</html>\r\n");
}

TEST_F(Escritores, HtmlStoredMarkupIsWrittenAsEntities) {
    Tabela t(pasta,
             "create table M (\"<b>\" varchar(40));"
             "insert into M values ('<script>alert(''x'')</script> & co');",
             "M");
    exporta::FonteDataSet fonte(t.tabela);
    ASSERT_TRUE(exporta::ExpHtml(alvo, fonte, {}, nullptr));
    std::string pagina = le(alvo);
    EXPECT_NE(pagina.find("<th  >&lt;b&gt; </th>\r\n"), std::string::npos);
    EXPECT_NE(pagina.find("<td nowrap  >&lt;script&gt;alert('x')&lt;/script&gt; &amp; co </td>"),
              std::string::npos);
    EXPECT_EQ(pagina.find("<script>"), std::string::npos);
}

TEST_F(Escritores, XmlDocumentWithValidNamesAndCleanValues) {
    Tabela t(pasta,
             "create table X (ID integer not null primary key, NOME varchar(30),"
             " V numeric(9,2), D date, S smallint);"
             "insert into X values (1, 'A<B & C>D', 1234.5, null, 1);"
             "insert into X values (2, 'linha' || ascii_char(1) || 'fim', 0, '2001-02-03', 0);",
             "X");
    t.tabela.FieldByName("NOME").SetDisplayLabel("Nome do cliente");
    t.tabela.FieldByName("S").SetDisplayLabel("2a via");
    exporta::FonteDataSet fonte(t.tabela);
    ASSERT_TRUE(exporta::ExpXml(alvo, fonte));
    EXPECT_EQ(le(alvo), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
                        "<Exportacao>\r\n"
                        "  <Registros>\r\n"
                        "    <ID>1</ID>\r\n"
                        "    <Nome_do_cliente>A B   C D</Nome_do_cliente>\r\n"
                        "    <V>R$ 1.234,50</V>\r\n"
                        "    <D></D>\r\n"
                        "    <_2a_via>SIM</_2a_via>\r\n"
                        "  </Registros>\r\n"
                        "  <Registros>\r\n"
                        "    <ID>2</ID>\r\n"
                        "    <Nome_do_cliente>linhafim</Nome_do_cliente>\r\n"
                        "    <V>R$ 0,00</V>\r\n"
                        "    <D>03/02/2001</D>\r\n"
                        "    <_2a_via>N\xc3O</_2a_via>\r\n"
                        "  </Registros>\r\n"
                        "</Exportacao>\r\n");
}

TEST_F(Escritores, XmlOfATableWithoutRowsHasOnlyTheFrame) {
    Tabela t(pasta, "create table VAZIA (A integer);", "VAZIA");
    exporta::FonteDataSet fonte(t.tabela);
    ASSERT_TRUE(exporta::ExpXml(alvo, fonte));
    EXPECT_EQ(le(alvo), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
                        "<Exportacao>\r\n</Exportacao>\r\n");
}

TEST_F(Escritores, DateTimeAndLargeIntegerExportTheirText) {
    Tabela t(pasta, kTipos, "TIPOS");
    t.escolhe({"TS", "G"});
    exporta::FonteDataSet fonte(t.tabela);
    ASSERT_TRUE(exporta::ExpXml(alvo, fonte));
    std::string doc = le(alvo);
    EXPECT_NE(doc.find("<TS>25/12/2024 08:05:00</TS>"), std::string::npos);
    EXPECT_NE(doc.find("<G>9007199254740993</G>"), std::string::npos);
    EXPECT_NE(doc.find("<TS>02/01/2024</TS>"), std::string::npos) << "midnight leaves the time out";
    EXPECT_NE(doc.find("<TS></TS>"), std::string::npos) << "a null date-time is empty";
}

namespace {

using Escrita = std::function<void(const std::string&, exporta::Fonte&)>;
struct EscritorNomeado {
    const char* nome;
    Escrita escreve;
};
const EscritorNomeado kEscritores[] = {
    {"texto", [](const std::string& a, exporta::Fonte& f) { exporta::ExpText(a, f, ",", "''"); }},
    {"html", [](const std::string& a, exporta::Fonte& f) { exporta::ExpHtml(a, f, {}, nullptr); }},
    {"xml", [](const std::string& a, exporta::Fonte& f) { exporta::ExpXml(a, f); }},
};

} // namespace

TEST_F(Escritores, AMissingFolderFailsWithoutWritingAnything) {
    Tabela t(pasta, kClientes, "CLI");
    for (const auto& e : kEscritores) {
        exporta::FonteDataSet fonte(t.tabela);
        EXPECT_THROW(e.escreve(pasta.file("falta/saida"), fonte), std::runtime_error) << e.nome;
        EXPECT_FALSE(fs::exists(pasta.file("falta"))) << e.nome;
    }
}

TEST_F(Escritores, AFullDeviceKeepsThePreviousFileIntact) {
    Tabela t(pasta,
             "create table GRANDE (ID integer, TXT varchar(200));"
             "set term ^;"
             "execute block as declare i integer = 0; begin"
             "  while (i < 3000) do begin"
             "    insert into GRANDE values (:i, lpad('', 200, 'x')); i = i + 1; end end^"
             "set term ;^",
             "GRANDE");
    fs::create_directory(pasta.path() / "cheio");
    std::string dir = (pasta.path() / "cheio").string();
    fbtest::Tmpfs m(dir, false, "size=128k");
    if (!m.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    std::string antigo = dir + "/anterior.dat";
    exptest::grava(antigo, "o arquivo de ontem");
    for (const auto& e : kEscritores) {
        exporta::FonteDataSet fonte(t.tabela);
        EXPECT_THROW(e.escreve(antigo, fonte), std::runtime_error) << e.nome;
        EXPECT_EQ(le(antigo), "o arquivo de ontem") << e.nome;
        int arquivos = 0;
        for ([[maybe_unused]] auto& x : fs::directory_iterator(dir))
            ++arquivos;
        EXPECT_EQ(arquivos, 1) << "no temporary file left behind by " << e.nome;
    }
}

TEST_F(Escritores, EveryWriterReportsEachRowAndStopsWhenAskedLeavingThePreviousFile) {
    Tabela t(pasta, kTipos, "TIPOS");
    t.tabela.Last();
    t.tabela.First();
    using Passos = std::vector<std::pair<std::int64_t, std::int64_t>>;
    const std::function<void(const std::string&, exporta::Fonte&, const exporta::Progresso&)>
        escritores[] = {
            [](auto& a, auto& f, auto& p) { exporta::ExpText(a, f, ",", "''", p); },
            [](auto& a, auto& f, auto& p) { exporta::ExpHtml(a, f, {}, nullptr, p); },
            [](auto& a, auto& f, auto& p) { exporta::ExpXml(a, f, p); },
        };
    fs::create_directory(pasta.path() / "saida");
    const std::string antigo = pasta.file("saida/anterior.dat");
    exptest::grava(antigo, "o arquivo de ontem");
    for (const auto& escreve : escritores) {
        Passos passos;
        exporta::FonteDataSet fonte(t.tabela);
        escreve(pasta.file("saida/inteiro.dat"), fonte,
                [&](std::int64_t p, std::int64_t m) { passos.emplace_back(p, m); });
        EXPECT_EQ(passos, (Passos{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
        fs::remove(pasta.file("saida/inteiro.dat"));

        // Stopped after the first row.
        int chamadas = 0;
        EXPECT_THROW(escreve(antigo, fonte,
                             [&](std::int64_t, std::int64_t) {
                                 return ++chamadas == 2 ? exporta::Andamento::Para
                                                        : exporta::Andamento::Segue;
                             }),
                     exporta::Cancelada);
        EXPECT_EQ(chamadas, 2);
        EXPECT_EQ(le(antigo), "o arquivo de ontem");
        EXPECT_EQ(
            std::distance(fs::directory_iterator(pasta.path() / "saida"), fs::directory_iterator()),
            1)
            << "no temporary file left";
    }
}
