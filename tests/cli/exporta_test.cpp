// brivane-exporta against real databases: the same bytes as the export the
// dialog runs, and clean failures (message, exit status, the old file kept).
#include "automation/Servers.h"
#include "cli/LinhaExporta.h"
#include "export/ExpTabela.h"
#include "tests/automation/OfficeFiles.h"
#include "tests/export/tabela.h"
#include "tests/support/tmpfs.h"

#include "rtl/settings.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using exptest::le;

namespace {

const char* kDdl =
    "create table ITENS (ID integer not null primary key, NOME varchar(20), V numeric(9,2),"
    " D date, M blob sub_type 1);"
    "insert into ITENS values (1, 'Jo\xc3\xa3o & <Ana>', 10.5, '2024-12-25', 'memo');"
    "insert into ITENS values (2, '00123', -3, null, null);"
    "insert into ITENS values (3, 'Zeca', 7, '2001-02-03', null);";

struct Resultado {
    int status;
    std::string erro;
};

class Linha : public ::testing::Test {
protected:
    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    std::string banco = pasta.file("dados.fdb");
    std::map<std::string, std::string> ambiente{{"ISC_PASSWORD", fbtest::kPassword}};

    void SetUp() override {
        automation::resetServers();
        fbtest::createDatabaseUtf8(banco, "UTF8", kDdl);
    }
    void TearDown() override { automation::resetServers(); }

    Resultado roda(std::vector<std::string> args) {
        static Linha* atual;
        atual = this;
        std::ostringstream saida, erro;
        int s = linha::exporta(args, saida, erro, false, [](const char* n) -> const char* {
            auto it = atual->ambiente.find(n);
            return it == atual->ambiente.end() ? nullptr : it->second.c_str();
        });
        return {s, erro.str()};
    }
};

} // namespace

TEST_F(Linha, WritesWhatTheDialogWritesInEveryFormat) {
    exptest::Tabela t(pasta, "", "ITENS", "dados.fdb", false);
    for (const char* formato : {"txt", "html", "xml", "xlsx", "docx"}) {
        SCOPED_TRACE(formato);
        const std::string doDialogo = pasta.file(std::string("dialogo.") + formato);
        const std::string daLinha = pasta.file(std::string("linha.") + formato);
        exporta::Pedido p;
        ASSERT_TRUE(exporta::formatoDe(formato, p.formato));
        p.arquivo = doDialogo;
        p.campos = {"ID", "NOME", "D"};
        t.tabela.SetFilterForNextOpen("ID < 3 AND NOME LIKE '%o%'", true);
        ASSERT_TRUE(exporta::exportaTabela(t.tabela, p));
        Resultado r = roda({"--campos", "D,NOME,ID", "--filtro", "ID < 3 E NOME COM '%o%'", banco,
                            "ITENS", daLinha});
        ASSERT_EQ(r.status, 0) << r.erro;
        EXPECT_EQ(r.erro, "");
        if (std::string(formato) == "xlsx")
            EXPECT_EQ(officefiles::readSheet(daLinha), officefiles::readSheet(doDialogo));
        else if (std::string(formato) == "docx")
            EXPECT_EQ(officefiles::readZipEntry(daLinha, "word/document.xml"),
                      officefiles::readZipEntry(doDialogo, "word/document.xml"));
        else
            EXPECT_EQ(le(daLinha), le(doDialogo));
    }
    // Without --campos every field but the memo, and the separators chosen.
    Resultado r = roda({"--separador-campos", ";", "--separador-texto", "", "--formato", "txt",
                        banco, "ITENS", pasta.file("tudo.out")});
    ASSERT_EQ(r.status, 0) << r.erro;
    EXPECT_EQ(
        le(pasta.file("tudo.out")).rfind("1;Jo\xc3\xa3o & <Ana>;10,5;25/12/2024\r\n2;00123;", 0),
        0u)
        << le(pasta.file("tudo.out"));
}

TEST_F(Linha, FailsCleanlyLeavingTheOldFile) {
    const std::string alvo = pasta.file("velho.txt");
    struct Caso {
        std::vector<std::string> args;
        int status;
        const char* diz;
    } casos[] = {
        {{banco, "NAO_HA", alvo}, 1, "não foi possível abrir a tabela NAO_HA"},
        {{"--filtro", "NADA = 1 E ID > 0", banco, "ITENS", alvo}, 1, "filtro recusado"},
        {{"--campos", "ID,NADA", banco, "ITENS", alvo}, 1, "não tem o campo NADA"},
        {{banco, "ITENS", pasta.file("sem.extensao")}, 2, "formato desconhecido"},
        {{"--cor", "azul", banco, "ITENS", alvo}, 2, "opção desconhecida: --cor"},
        {{banco, "ITENS"}, 2, "informe BANCO, TABELA e ARQUIVO"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.diz);
        exptest::grava(alvo, "anterior");
        Resultado r = roda(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.erro.find(c.diz), std::string::npos) << r.erro;
        EXPECT_EQ(le(alvo), "anterior");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(pasta.path()),
                            std::filesystem::directory_iterator()),
              2); // the database and the old file: nothing left behind
    EXPECT_NE(linha::ajuda().find("Uso: brivane-exporta"), std::string::npos);

    // Passwords count through the server: ISC_PASSWORD is the default, an
    // option overrides it.
    if (!fbtest::serverRunning()) return;
    const std::string remoto = fbtest::serverName(banco);
    ambiente["ISC_PASSWORD"] = "errada";
    exptest::grava(alvo, "anterior");
    Resultado r = roda({remoto, "ITENS", alvo});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.erro.find("usuário ou senha inválidos"), std::string::npos) << r.erro;
    EXPECT_EQ(le(alvo), "anterior");
    r = roda({"--senha", fbtest::kPassword, remoto, "ITENS", alvo});
    EXPECT_EQ(r.status, 0) << r.erro;
}

TEST_F(Linha, AFullDiskFailsWithItsMessageAndKeepsTheOldFile) {
    const std::filesystem::path dir = pasta.path() / "cheio";
    std::filesystem::create_directory(dir);
    fbtest::Tmpfs m(dir.string(), false, "size=64k");
    if (!m.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    const std::string alvo = (dir / "velho.html").string();
    exptest::grava(alvo, "anterior");
    exptest::grava((dir / "enche").string(), std::string(128 * 1024, 'x')); // whatever fits
    Resultado r = roda({banco, "ITENS", alvo});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.erro.find("espa\xc3\xa7o"), std::string::npos) << r.erro;
    EXPECT_EQ(le(alvo), "anterior");
}
