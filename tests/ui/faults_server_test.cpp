// The server goes away under the user's feet: while a table is open, while
// an export runs, in the middle of a replication. Each story runs against a
// private server that the test stops and starts again; the shared one is
// never touched.
#include "app/Controles.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "export/ui/ExportaTov.h"
#include "tests/support/fbtest.h"
#include "tests/support/privateserver.h"
#include "tests/ui/apoio.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using uitest::l1;
namespace fs = std::filesystem;

constexpr int kLinhas = 5000;

std::string ddlItens(const std::string& extra = "") {
    return "create table ITENS (ID integer not null primary key, NOME varchar(40), VALOR "
           "integer);" +
           extra +
           "set term ^;"
           "execute block as declare i integer = 1; begin"
           "  while (i <= " +
           std::to_string(kLinhas) +
           ") do begin"
           "    insert into ITENS values (:i, 'nome ' || :i, :i); i = i + 1; end "
           "end^"
           "set term ;^";
}

std::string le(const std::string& caminho) {
    std::ifstream in(caminho, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> arquivosEm(const fs::path& pasta) {
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(pasta))
        r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
}

/// The user, who may also pull the plug at the moment the save dialog closes.
struct Usuario : uitest::Usuario {
    std::function<void()> aoSalvar;
    bool saveFile(const FileDialog& d, std::string& file) override {
        bool r = uitest::Usuario::saveFile(d, file);
        if (aoSalvar) aoSalvar();
        return r;
    }
};

class QuedaDoServidor : public ::testing::Test {
protected:
    void SetUp() override {
        if (!srv.available()) GTEST_SKIP() << "no private Firebird server: " << srv.why();
    }

    /// Creates the database (before the server holds it) and starts the server.
    void prepara(const std::string& extra = "") {
        fbtest::createDatabase(banco, ddlItens(extra));
        ASSERT_TRUE(srv.start()) << srv.why();
        w.show();
    }

    void conecta() {
        usuario.mensagens.clear();
        w.ed1->setText(QString::fromLatin1(srv.name(banco)));
        QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    }

    /// Connects and opens ITENS as "Abrir tabelas" would; true when it worked.
    bool conectaEAbre() {
        conecta();
        if (!w.conexao.Connected()) return false;
        w.AbreTabela("ITENS");
        return w.tabela.Active();
    }

    /// Runs "Exportar" and, inside the dialog, chooses every field and
    /// presses its Exportar; then closes the dialog.
    void exportaTudo(const std::function<void(TExportaTov&)>& antes = {}) {
        bool visto = false;
        uitest::quandoModal([&](QWidget* m) {
            auto* d = qobject_cast<TExportaTov*>(m);
            if (!d) return;
            visto = true;
            d->SpeedButton5Click();
            if (antes) antes(*d);
            // As the application delivers a click: what the handler lets
            // through reaches the program's error handling.
            app::executaProtegido([d] { d->FlatSpeedButton2Click(); });
        });
        QTest::mouseClick(w.SpeedButton7, Qt::LeftButton);
        EXPECT_TRUE(visto) << "the export dialog was shown";
    }

    std::string painel(int i) { return w.painel(i).toStdString(); }

    /// The program after a failure that lost the connection: the user is
    /// told once, in Portuguese, with the library's words after "Detalhe
    /// técnico:", and nothing is left connected or shown.
    void contaPerda(const std::vector<std::string>& mensagens, std::size_t n = 1) {
        const std::string aviso =
            l1("A conexão com o servidor do banco de dados foi perdida. Para continuar, clique "
               "em \"Conectar banco\".\rDetalhe técnico: ");
        ASSERT_EQ(mensagens.size(), n) << testing::PrintToString(mensagens);
        EXPECT_EQ(mensagens.back().substr(0, aviso.size()), aviso);
        EXPECT_GT(mensagens.back().size(), aviso.size()) << "the library's own text follows";
        std::cout << "  the user saw: " << mensagens.back() << "\n";
        EXPECT_TRUE(usuario.erros.empty()) << testing::PrintToString(usuario.erros);
        EXPECT_EQ(painel(1), "  Banco: DESCONECTADO");
        EXPECT_EQ(painel(0), "  TABELA: Nenhuma");
        EXPECT_FALSE(w.conexao.Connected());
        EXPECT_FALSE(w.tabela.Active());
        EXPECT_EQ(w.ds1()->rowCount(), 0) << "the grid is empty";
    }

    QApplication& qapp = uitest::aplicacao();
    fbtest::PrivateServer srv;
    std::string banco = srv.available() ? srv.file("itens.fdb") : std::string();
    fbtest::TempFolder saida;
    Usuario usuario;
    TFPrincipal w;
};

TEST_F(QuedaDoServidor, StoppedWithATableOpenTheUserIsToldAndConnectsAgainOnceItIsBack) {
    prepara();
    ASSERT_TRUE(conectaEAbre()) << testing::PrintToString(usuario.mensagens);
    ASSERT_LT(w.tabela.RecordCount(), kLinhas) << "rows are still waiting on the server";

    srv.stop();
    usuario.mensagens.clear();
    // The user scrolls down: the grid asks for more rows, until the rows
    // the client library had already received run out.
    for (int i = 0; i < kLinhas && usuario.mensagens.empty() && w.ds1()->canFetchMore({}); ++i)
        w.ds1()->fetchMore({});
    contaPerda(usuario.mensagens);

    // "Abrir tabelas" once the connection is known lost: nothing to list.
    QTest::mouseClick(w.b1, Qt::LeftButton);
    EXPECT_EQ(usuario.mensagens.size(), 1u);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    usuario.mensagens.clear();

    // While the server is down, connecting fails plainly.
    conecta();
    EXPECT_EQ(usuario.mensagens, std::vector<std::string>{l1("Base de dados inválida.")});
    EXPECT_EQ(painel(1), "  Banco: DESCONECTADO");

    // Back again: a new "Conectar banco" works and the table reads whole.
    ASSERT_TRUE(srv.start()) << srv.why();
    conecta();
    EXPECT_EQ(usuario.mensagens, std::vector<std::string>{"Conectado!!!"});
    EXPECT_EQ(painel(1), "  Banco: CONECTADO");
    w.AbreTabela("ITENS");
    w.tabela.Last();
    EXPECT_EQ(w.tabela.RecordCount(), kLinhas);
    EXPECT_EQ(w.tabela.FieldByName("NOME").AsString(), "nome " + std::to_string(kLinhas));
}

TEST_F(QuedaDoServidor, KilledUnderAnOpenTableAbrirTabelasSaysSoAndConectarBancoReconnects) {
    prepara();
    ASSERT_TRUE(conectaEAbre());
    usuario.mensagens.clear();
    srv.kill();
    QTest::mouseClick(w.b1, Qt::LeftButton);
    contaPerda(usuario.mensagens);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no table chooser";

    ASSERT_TRUE(srv.start()) << srv.why();
    ASSERT_TRUE(conectaEAbre());
    EXPECT_EQ(painel(1), "  Banco: CONECTADO");
    EXPECT_EQ(w.tabela.FieldByName("NOME").AsString(), "nome 1");
}

TEST_F(QuedaDoServidor, LeavingAfterTheServerDiedClosesQuietly) {
    prepara();
    ASSERT_TRUE(conectaEAbre());
    usuario.mensagens.clear();
    srv.kill();
    QTest::mouseClick(w.SpeedButton4, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.conexao.Connected());
    EXPECT_TRUE(usuario.erros.empty()) << testing::PrintToString(usuario.erros);
    EXPECT_EQ(usuario.mensagens, std::vector<std::string>{}) << "leaving says nothing";
}

TEST_F(QuedaDoServidor, StoppedWhileAnExportRunsLeavesThePreviousFileAndNoPartOfANewOne) {
    prepara();
    ASSERT_TRUE(conectaEAbre());
    const std::string alvo = saida.file("itens.txt");
    { std::ofstream(alvo) << "a export of last week\r\n"; }
    usuario.arquivo = alvo;
    usuario.responde = true; // overwrite
    // The user confirms the file; the server stops before the rows still on
    // it have been read.
    usuario.aoSalvar = [&] { srv.stop(); };
    usuario.mensagens.clear();
    exportaTudo();

    contaPerda(usuario.mensagens);
    EXPECT_EQ(le(alvo), "a export of last week\r\n") << "the previous file is untouched";
    EXPECT_EQ(arquivosEm(saida.path()), std::vector<std::string>{"itens.txt"})
        << "no temporary file is left behind";

    // Once the server is back, the same export goes through whole.
    usuario.aoSalvar = nullptr;
    ASSERT_TRUE(srv.start()) << srv.why();
    ASSERT_TRUE(conectaEAbre());
    exportaTudo();
    EXPECT_TRUE(usuario.erros.empty()) << testing::PrintToString(usuario.erros);
    const std::string texto = le(alvo);
    EXPECT_EQ(std::count(texto.begin(), texto.end(), '\n'), kLinhas);
    EXPECT_NE(texto.find("'5000','nome 5000','5000'\r\n"), std::string::npos)
        << texto.substr(0, 200);
}

TEST_F(QuedaDoServidor, KilledHalfwayThroughTheRowsTheExportIsWholeOrNotAtAll) {
    prepara();
    ASSERT_TRUE(conectaEAbre());
    const std::string alvo = saida.file("itens.txt");
    { std::ofstream(alvo) << "a export of last week\r\n"; }
    usuario.arquivo = alvo;
    usuario.responde = true; // overwrite
    bool morto = false;
    usuario.mensagens.clear();
    exportaTudo([&](TExportaTov& d) {
        // The rows are read as they are written: the server dies when half
        // of them are written, and the rest may or may not have reached
        // the client's buffers by then.
        QObject::connect(d.barra, &QProgressBar::valueChanged, d.barra, [&](int v) {
            if (v >= kLinhas / 2 && !morto) {
                srv.kill();
                morto = true;
            }
        });
    });
    EXPECT_TRUE(morto);
    const std::string texto = le(alvo);
    if (!usuario.mensagens.empty() && usuario.mensagens.back() == l1("Exportação completada.")) {
        // Every row had arrived: the file is whole.
        EXPECT_EQ(std::count(texto.begin(), texto.end(), '\n'), kLinhas);
        EXPECT_NE(texto.find("'5000','nome 5000','5000'\r\n"), std::string::npos);
    } else {
        contaPerda(usuario.mensagens);
        EXPECT_EQ(texto, "a export of last week\r\n") << "the previous file is untouched";
    }
    EXPECT_EQ(arquivosEm(saida.path()), std::vector<std::string>{"itens.txt"})
        << "no temporary file is left behind";
}

TEST_F(QuedaDoServidor, ConnectionLostDuringAReplicationCommitsNothing) {
    // Every updated row keeps the server busy for a while, so the connection
    // goes while the UPDATE runs.
    prepara("set term ^;"
            "create trigger ITENS_LENTO for ITENS before update as"
            "  declare i integer = 0;"
            "  begin while (i < 400000) do i = i + 1; end^"
            "set term ;^");
    ASSERT_TRUE(conectaEAbre());
    w.cb1->setCurrentText("VALOR");
    ASSERT_EQ(w.cb1->currentText(), "VALOR");
    w.ed4->setText("-1");

    // The user answers Yes; 700 ms later the server dies.
    std::thread corte;
    struct Pergunta : Usuario {
        std::function<void()> aoPerguntar;
        bool question(const std::string& c, const std::string& t) override {
            if (aoPerguntar) aoPerguntar();
            return Usuario::question(c, t);
        }
    };
    Pergunta pergunta;
    pergunta.responde = true;
    const pid_t pid = srv.pid();
    pergunta.aoPerguntar = [&] {
        corte = std::thread([pid] {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            ::kill(pid, SIGKILL);
        });
    };
    const auto inicio = std::chrono::steady_clock::now();
    QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
    const auto duracao = std::chrono::steady_clock::now() - inicio;
    if (corte.joinable()) corte.join();
    srv.kill(); // reaps the killed process

    ASSERT_FALSE(pergunta.mensagens.empty()) << "the user is told the connection was lost";
    const std::string aviso = l1("A conexão com o servidor do banco de dados foi perdida.");
    EXPECT_EQ(pergunta.mensagens[0].substr(0, aviso.size()), aviso);
    EXPECT_EQ(painel(1), "  Banco: DESCONECTADO");
    std::cout << "  the user saw: " << testing::PrintToString(pergunta.mensagens) << " then "
              << testing::PrintToString(pergunta.erros) << " after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(duracao).count() << " ms\n";

    // Back again: connecting works and not one row holds the new value.
    ASSERT_TRUE(srv.start()) << srv.why();
    conecta();
    ASSERT_EQ(pergunta.mensagens.back(), "Conectado!!!")
        << testing::PrintToString(pergunta.mensagens);
    w.AbreTabela("ITENS");
    int mudadas = 0;
    for (w.tabela.First(); !w.tabela.Eof(); w.tabela.Next())
        if (w.tabela.FieldByName("VALOR").AsString() != w.tabela.FieldByName("ID").AsString())
            ++mudadas;
    EXPECT_EQ(w.tabela.RecordCount(), kLinhas);
    EXPECT_EQ(mudadas, 0);
}

} // namespace
