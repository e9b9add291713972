// Things that are not a database, named as the database: the user gets
// "Base de dados inválida.", the file is left exactly as it was, and a good
// database connects right after. Tried through the embedded engine and
// through a private server (a damaged file never reaches the shared one).
#include "app/Controles.h"
#include "app/UPrincipal.h"
#include "tests/support/fbtest.h"
#include "tests/support/privateserver.h"
#include "tests/ui/apoio.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

using uitest::l1;
namespace fs = std::filesystem;

std::string le(const std::string& caminho) {
    std::ifstream in(caminho, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void grava(const std::string& caminho, const std::string& bytes) {
    std::ofstream(caminho, std::ios::binary | std::ios::trunc) << bytes;
}

std::string aleatorios(std::size_t n) {
    std::mt19937 g(20240105);
    std::string r(n, '\0');
    for (auto& c : r)
        c = static_cast<char>(g());
    return r;
}

/// A way of spoiling the file at `caminho`; `bom` is a sound database file
/// to start from.
struct Estrago {
    const char* nome;
    void (*faz)(const std::string& caminho, const std::string& bom);
};

const Estrago kEstragos[] = {
    {"an empty file", [](const std::string& c, const std::string&) { grava(c, ""); }},
    {"a folder", [](const std::string& c, const std::string&) { fs::create_directory(c); }},
    {"a text file",
     [](const std::string& c, const std::string&) { grava(c, "nome;valor\r\nAna;10\r\n"); }},
    {"random bytes", [](const std::string& c, const std::string&) { grava(c, aleatorios(65536)); }},
    {"a database with its header page overwritten",
     [](const std::string& c, const std::string& bom) {
         std::string b = le(bom);
         std::string lixo = aleatorios(1024);
         b.replace(0, lixo.size(), lixo);
         grava(c, b);
     }},
    {"a database cut short after its first pages",
     [](const std::string& c, const std::string& bom) { grava(c, le(bom).substr(0, 3 * 8192)); }},
};

class BaseInvalida : public ::testing::Test {
protected:
    void SetUp() override {
        fbtest::createDatabase(bom, "create table CLIENTES (ID integer not null primary key);"
                                    "insert into CLIENTES values (1);");
        w.show();
    }

    void conecta(const std::string& nome) {
        usuario.mensagens.clear();
        w.ed1->setText(QString::fromLatin1(nome));
        QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    }

    /// Tries every spoilt file under the name `nomeDe` gives it; after each,
    /// a sound copy connects.
    void tentaTodos(const fbtest::TempFolder& pasta,
                    const std::function<std::string(const std::string&)>& nomeDe) {
        int n = 0;
        for (const auto& e : kEstragos) {
            SCOPED_TRACE(e.nome);
            const std::string caminho = pasta.file("ruim" + std::to_string(n++) + ".fdb");
            e.faz(caminho, bom);
            const bool pastaRuim = fs::is_directory(caminho);
            const std::string antes = pastaRuim ? std::string() : le(caminho);

            conecta(nomeDe(caminho));
            EXPECT_EQ(usuario.mensagens, std::vector<std::string>{l1("Base de dados inválida.")});
            EXPECT_TRUE(usuario.erros.empty()) << testing::PrintToString(usuario.erros);
            EXPECT_FALSE(w.conexao.Connected());
            EXPECT_EQ(w.painel(0).toStdString(), "  TABELA: Nenhuma");
            EXPECT_EQ(w.painel(1).toStdString(), "  Banco: DESCONECTADO");
            if (pastaRuim)
                EXPECT_TRUE(fs::is_empty(caminho)) << "nothing is created inside the folder";
            else
                EXPECT_EQ(le(caminho), antes) << "the file is left as it was";

            const std::string sao = pasta.file("bom" + std::to_string(n) + ".fdb");
            fs::copy_file(bom, sao);
            conecta(nomeDe(sao));
            EXPECT_EQ(usuario.mensagens, std::vector<std::string>{"Conectado!!!"});
            EXPECT_EQ(w.painel(1).toStdString(), "  Banco: CONECTADO");
        }
        w.conexao.Close();
    }

    QApplication& qapp = uitest::aplicacao();
    fbtest::TempFolder pasta;
    std::string bom = pasta.file("bom.fdb");
    uitest::Usuario usuario;
    TFPrincipal w;
};

TEST_F(BaseInvalida, ThroughTheEmbeddedEngineEveryDamagedFileIsAnInvalidDatabase) {
    tentaTodos(pasta, [](const std::string& c) { return c; });
}

TEST_F(BaseInvalida, ThroughAServerEveryDamagedFileIsAnInvalidDatabase) {
    fbtest::PrivateServer srv;
    if (!srv.available() || !srv.start())
        GTEST_SKIP() << "no private Firebird server: " << srv.why();
    tentaTodos(pasta, [&](const std::string& c) { return srv.name(c); });
}

} // namespace
