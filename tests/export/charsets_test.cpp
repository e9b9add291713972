// Every export format on databases whose text is not Latin-1 (UTF8,
// WIN1252) and on a NONE database: the files read back character for
// character, in the encoding the writers choose (export/ExpCodificacao.h).
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

#include <cstdio>
#include <fstream>
#include <stdexcept>

using exptest::le;
using exptest::Tabela;
using Linhas = std::vector<std::vector<std::string>>;

namespace {

/// A database of default set `set` made by isql speaking UTF-8, so that the
/// script's literals and names (UTF-8) reach the server as characters.
void criaBanco(const std::string& caminho, const std::string& set, const std::string& ddl) {
    const std::string script = caminho + ".sql";
    std::ofstream(script, std::ios::binary)
        << "CREATE DATABASE '" << caminho << "' USER 'SYSDBA' PASSWORD '" << fbtest::kPassword
        << "' DEFAULT CHARACTER SET " << set << ";\n"
        << ddl << "\nCOMMIT;\n";
    const std::string cmd = "isql-fb -q -b -ch UTF8 -i '" + script + "' 2>&1";
    std::string saida;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) throw std::runtime_error("cannot run isql-fb");
    char buf[512];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        saida.append(buf, n);
    if (::pclose(p) != 0) throw std::runtime_error("isql-fb failed:\n" + saida);
}

/// The HTML page the writer makes of `cabecalho` and `linhas` (cells as
/// the file holds them, "" for an empty one).
std::string pagina(bool utf8, const std::vector<std::string>& cabecalho, const Linhas& linhas) {
    std::string r = "<html>\r\n";
    r += utf8 ? "<head> <meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"> "
                "<title> Listagem </title> </head>\r\n"
              : "<head> <title> Listagem </title> </head>\r\n";
    r += "<body>\r\n<table border = \"1\" rows = \"" + std::to_string(linhas.size()) +
         "\" bordercolor=\"#000000\" cellspacing=\"0\" cellpadding=\"2\">\r\n<tr>\r\n";
    for (const auto& c : cabecalho)
        r += "<th  >" + c + " </th>\r\n";
    r += "</tr>\r\n";
    for (const auto& l : linhas) {
        r += "<tr>\r\n";
        for (const auto& c : l)
            r += "<td nowrap  >" + (c.empty() ? std::string("&nbsp") : c) + " </td>\r\n";
        r += "</tr>\r\n";
    }
    return r + "</table>\r\n</body>\r\n</html>\r\n";
}

std::string documento(bool utf8, const std::vector<std::string>& nomes, const Linhas& linhas) {
    std::string r = utf8 ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                         : "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";
    r += "<Exportacao>\r\n";
    for (const auto& l : linhas) {
        r += "  <Registros>\r\n";
        for (std::size_t k = 0; k < l.size(); ++k)
            r += "    <" + nomes[k] + ">" + l[k] + "</" + nomes[k] + ">\r\n";
        r += "  </Registros>\r\n";
    }
    return r + "</Exportacao>\r\n";
}

class Conjuntos : public ::testing::Test {
protected:
    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    exptest::Gravador usuario;

    void SetUp() override { automation::resetServers(); }
    void TearDown() override { automation::resetServers(); }

    std::string arquivo(const char* nome) { return pasta.file(nome); }

    void texto(Tabela& t, const std::string& alvo) {
        exporta::FonteDataSet f(t.tabela);
        ASSERT_TRUE(exporta::ExpText(alvo, f, ",", "''"));
    }
    void html(Tabela& t, const std::string& alvo) {
        exporta::FonteDataSet f(t.tabela);
        ASSERT_TRUE(exporta::ExpHtml(alvo, f, {}, nullptr));
    }
    void xml(Tabela& t, const std::string& alvo) {
        exporta::FonteDataSet f(t.tabela);
        ASSERT_TRUE(exporta::ExpXml(alvo, f));
    }
    /// The Word table and the Excel sheet, in UTF-8, as rows of texts.
    Linhas word(Tabela& t) {
        t.tabela.Last();
        t.tabela.First();
        exporta::FonteDataSet f(t.tabela);
        const std::string alvo = pasta.file("saida.docx");
        EXPECT_TRUE(exporta::ExpWord(alvo, f));
        Linhas r;
        for (const auto& linha : officefiles::readWord(alvo, true).rows) {
            r.emplace_back();
            for (const auto& c : linha)
                r.back().push_back(c.text);
        }
        return r;
    }
    Linhas excel(Tabela& t, int colunas) {
        t.tabela.Last();
        t.tabela.First();
        exporta::FonteDataSet f(t.tabela);
        const std::string alvo = pasta.file("saida.xlsx");
        EXPECT_TRUE(exporta::ExpExcel(alvo, f));
        const auto cells = officefiles::readSheet(alvo, true);
        Linhas r;
        for (int l = 1; l <= t.tabela.RecordCount() + 1; ++l) {
            r.emplace_back();
            for (int c = 0; c < colunas; ++c) {
                auto it = cells.find(std::string(1, char('A' + c)) + std::to_string(l));
                r.back().push_back(it == cells.end() ? "" : it->second.value);
            }
        }
        return r;
    }
};

} // namespace

TEST_F(Conjuntos, Utf8DatabaseGivesUtf8FilesAndOfficeCellsWithEveryCharacter) {
    const std::string banco = pasta.file("utf8.fdb");
    criaBanco(banco, "UTF8",
              "create table T (ID integer, NOME varchar(20), C char(4), \"DESCRIÇÃO\" varchar(10),"
              " ATIVO smallint);"
              "insert into T values (1, 'José Ação', 'ãé', 'a<b', 0);"
              "insert into T values (2, 'Zoë €uro 中', null, null, 1);");
    Tabela t(pasta, "", "T", "utf8.fdb", false);

    texto(t, arquivo("t.txt"));
    EXPECT_EQ(le(arquivo("t.txt")), "'1','José Ação','ãé  ','a<b','NÃO'\r\n"
                                    "'2','Zoë €uro 中','','','SIM'\r\n");
    html(t, arquivo("t.html"));
    EXPECT_EQ(le(arquivo("t.html")), pagina(true, {"ID", "NOME", "C", "DESCRIÇÃO", "ATIVO"},
                                            {{"1", "José Ação", "ãé  ", "a&lt;b", "NÃO"},
                                             {"2", "Zoë €uro 中", "", "", "SIM"}}));
    xml(t, arquivo("t.xml"));
    EXPECT_EQ(le(arquivo("t.xml")), documento(true, {"ID", "NOME", "C", "DESCRIÇÃO", "ATIVO"},
                                              {{"1", "José Ação", "ãé  ", "a b", "NÃO"},
                                               {"2", "Zoë €uro 中", "", "", "SIM"}}));

    const Linhas celulas = {{"ID", "NOME", "C", "DESCRIÇÃO", "ATIVO"},
                            {"1", "José Ação", "ãé  ", "a<b", "NÃO"},
                            {"2", "Zoë €uro 中", "", "", "SIM"}};
    EXPECT_EQ(word(t), celulas);
    EXPECT_EQ(excel(t, 5), celulas);
}

TEST_F(Conjuntos, Win1252DatabaseKeepsLatin1FilesWithReferencesAndTheTextWritersBytes) {
    const std::string banco = pasta.file("w.fdb");
    criaBanco(banco, "WIN1252",
              "create table W (ID integer, TXT varchar(20), \"DESCRIÇÃO\" varchar(5));"
              "insert into W values (1, 'Ação €“”–', 'é&');"
              "create table P (\"PREÇO €\" varchar(5));"
              "insert into P values ('–');");
    Tabela t(pasta, "", "W", "w.fdb", false);

    texto(t, arquivo("w.txt"));
    EXPECT_EQ(le(arquivo("w.txt")), "'1','A\xe7\xe3o \x80\x93\x94\x96','\xe9&'\r\n");
    html(t, arquivo("w.html"));
    EXPECT_EQ(le(arquivo("w.html")),
              pagina(false, {"ID", "TXT", "DESCRI\xc7\xc3O"},
                     {{"1", "A\xe7\xe3o &#8364;&#8220;&#8221;&#8211;", "\xe9&amp;"}}));
    xml(t, arquivo("w.xml"));
    EXPECT_EQ(le(arquivo("w.xml")),
              documento(false, {"ID", "TXT", "DESCRI\xc7\xc3O"},
                        {{"1", "A\xe7\xe3o &#8364;&#8220;&#8221;&#8211;", "\xe9 "}}));
    const Linhas celulas = {{"ID", "TXT", "DESCRIÇÃO"}, {"1", "Ação €“”–", "é&"}};
    EXPECT_EQ(word(t), celulas);
    EXPECT_EQ(excel(t, 3), celulas);

    // A name with a character Latin-1 lacks: a reference in the page; an
    // element name cannot hold one, so that XML file is UTF-8.
    Tabela p(pasta, "", "P", "w.fdb", false);
    html(p, arquivo("p.html"));
    EXPECT_EQ(le(arquivo("p.html")), pagina(false, {"PRE\xc7O &#8364;"}, {{"&#8211;"}}));
    xml(p, arquivo("p.xml"));
    EXPECT_EQ(le(arquivo("p.xml")), documento(true, {"PREÇO_€"}, {{"–"}}));
}

TEST_F(Conjuntos, NoneDatabaseWritesItsBytesAsTheyAreAndItsNamesInLatin1) {
    // Names are UTF-8 in any database; NONE text is whatever bytes the
    // client sent, here Latin-1 with two C1 bytes that must not change.
    fbtest::createDatabase(pasta.file("n.fdb"),
                           "create table N (\"A\xc3\x87\xc3\x83O\" varchar(10));"
                           "insert into N values ('Jo\xe3o \x80\x96');");
    Tabela t(pasta, "", "N", "n.fdb", false);
    texto(t, arquivo("n.txt"));
    EXPECT_EQ(le(arquivo("n.txt")), "'Jo\xe3o \x80\x96'\r\n");
    html(t, arquivo("n.html"));
    EXPECT_EQ(le(arquivo("n.html")), pagina(false, {"A\xc7\xc3O"}, {{"Jo\xe3o \x80\x96"}}));
    xml(t, arquivo("n.xml"));
    EXPECT_EQ(le(arquivo("n.xml")), documento(false, {"A\xc7\xc3O"}, {{"Jo\xe3o \x80\x96"}}));
    EXPECT_EQ(word(t), (Linhas{{"AÇÃO"}, {"João \xc2\x80\xc2\x96"}}));
}
