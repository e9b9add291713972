// "Replicar" and "Limpar" over rows that another user changed and has not
// committed: the statement waits for that user's lock, the wait window shows,
// and its "Cancelar" (or Esc, or closing the main window) stops it. Two
// attachments through the server, since the lock only arises between two.
#include "app/Controles.h"
#include "app/Espera.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "db/FbSQL.h"
#include "tests/support/fbtest.h"
#include "tests/ui/apoio.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <string>

namespace {

using uitest::l1;
using V = std::vector<std::string>;

const std::string kAvisoReplicar =
    "Informa\xe7\xe3o ou campo inv\xe1lido para replica\xe7\xe3o.\rErro: ";
const std::string kAvisoLimpar = "Tabela n\xe3o pode ser limpa ou possui dependentes.\rErro: ";
const std::string kCancelada = "Opera\xe7\xe3o cancelada pelo usu\xe1rio.";

/// The other user: a second connection to the same database.
struct Outro {
    explicit Outro(const std::string& nome) {
        db.SetDatabaseName(nome);
        db.SetLoginPrompt(false);
        db.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
        db.Open();
        tr.SetDefaultDatabase(&db);
        q.SetDatabase(&db);
        q.SetTransaction(&tr);
    }
    void executa(const std::string& texto) {
        q.SQL().SetText(texto);
        q.ExecQuery();
    }
    /// The number of rows and VALOR of the first three in ID order, as
    /// committed ("500:1,2,3"), read in a transaction of its own.
    std::string valores() {
        TFbTransaction leitura;
        leitura.SetDefaultDatabase(&db);
        TFbSQL s;
        s.SetDatabase(&db);
        s.SetTransaction(&leitura);
        s.SQL().SetText("select (select count(*) from ITENS), VALOR from ITENS where ID <= 3 "
                        "order by ID");
        std::string r;
        for (s.ExecQuery(); !s.AtEnd(); s.FetchNext())
            r += (r.empty() ? s.ColumnAt(0).AsString() + ":" : ",") + s.ColumnAt(1).AsString();
        leitura.Commit();
        return r;
    }
    TFbDatabase db;
    TFbTransaction tr;
    TFbSQL q;
};

class Espera : public ::testing::Test {
protected:
    void SetUp() override {
        FBTEST_REQUIRE_SERVER();
        // More rows than the grid fetches at once, so it still has some to ask for.
        fbtest::createDatabase(banco, "create table ITENS (ID integer not null primary key, "
                                      "VALOR integer);"
                                      "set term ^;"
                                      "execute block as declare i integer = 1; begin"
                                      "  while (i <= 500) do begin"
                                      "    insert into ITENS values (:i, :i); i = i + 1; end "
                                      "end^"
                                      "set term ;^");
        w.show();
        w.ed1->setText(QString::fromLatin1(fbtest::serverName(banco)));
        QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
        ASSERT_TRUE(w.conexao.Connected()) << testing::PrintToString(usuario.mensagens);
        w.AbreTabela("ITENS");
        w.cb1->setCurrentText("VALOR");
        w.ed4->setText("9");
        usuario.responde = true;
        usuario.mensagens.clear();
        outro = std::make_unique<Outro>(fbtest::serverName(banco));
        outro->executa("update ITENS set VALOR = 50 where ID = 2"); // not committed
        ASSERT_TRUE(w.ds1()->canFetchMore({}));
        QObject::connect(&vigia_, &QTimer::timeout, [this] { vigia(); });
    }

    /// Runs `acao` on the wait window once it shows, leaving it to close by
    /// itself; if it is still up 10 s later the other user lets go of the
    /// row, so no test hangs.
    void naEspera(std::function<void(app::TFEspera&)> acao) {
        visto = false;
        acao_ = std::move(acao);
        prazo_.start();
        vigia_.start(5);
    }
    void vigia() {
        auto* e = qobject_cast<app::TFEspera*>(QApplication::activeModalWidget());
        if (e && !visto) {
            visto = true;
            acao_(*e);
        } else if (e && prazo_.elapsed() > 10000) {
            ADD_FAILURE() << "the wait did not end";
            if (outro->tr.Active()) outro->tr.Rollback();
            prazo_.restart();
        } else if (!e && (visto || prazo_.elapsed() > 10000)) {
            vigia_.stop();
        }
    }

    void pressiona(bool limpar) {
        QTest::mouseClick(limpar ? w.SpeedButton3 : w.SpeedButton2, Qt::LeftButton);
    }

    QApplication& qapp = uitest::aplicacao(); // before any widget
    fbtest::TempFolder pasta;
    std::string banco = pasta.file("espera.fdb");
    uitest::Usuario usuario;
    TFPrincipal w;
    std::unique_ptr<Outro> outro;
    bool visto = false; ///< the wait window showed

private:
    QTimer vigia_;
    QElapsedTimer prazo_;
    std::function<void(app::TFEspera&)> acao_;
};

TEST_F(Espera, CancelarStopsTheWaitingStatementReportsItAndChangesNothing) {
    struct Caso {
        const char* nome;
        bool limpar;
        bool esc; // Esc instead of the button
    };
    for (const Caso& c :
         {Caso{"Replicar, button", false, false}, Caso{"Limpar, Esc", true, true}}) {
        SCOPED_TRACE(c.nome);
        if (c.limpar) outro->executa("update ITENS set VALOR = 50 where ID = 2");
        usuario.mensagens.clear();
        std::string texto;
        bool buscas = true;
        naEspera([&](app::TFEspera& e) {
            texto = e.texto()->text().toStdString();
            // The main window still paints, from the rows it holds, without
            // asking the server for more.
            w.dbGrid->viewport()->grab();
            buscas = w.ds1()->canFetchMore({});
            if (c.esc)
                QTest::keyClick(&e, Qt::Key_Escape);
            else
                QTest::mouseClick(e.cancelar(), Qt::LeftButton);
            EXPECT_EQ(e.texto()->text().toStdString(), "Cancelando...");
        });
        pressiona(c.limpar);
        EXPECT_TRUE(visto) << "the wait window showed";
        EXPECT_EQ(texto, "Aguardando o banco de dados...");
        EXPECT_FALSE(buscas);
        ASSERT_EQ(usuario.mensagens.size(), 1u);
        const std::string& m = usuario.mensagens[0];
        const std::string aviso = c.limpar ? kAvisoLimpar : kAvisoReplicar;
        EXPECT_EQ(m.substr(0, aviso.size()), aviso) << m;
        EXPECT_NE(m.find(kCancelada), std::string::npos) << m;
        std::cout << "  the user saw: " << testing::PrintToString(m) << "\n";
        EXPECT_TRUE(usuario.erros.empty()) << testing::PrintToString(usuario.erros);

        // Nothing changed; the table is open again, with every row.
        outro->tr.Rollback();
        EXPECT_EQ(outro->valores(), "500:1,2,3");
        EXPECT_TRUE(w.tabela.Active());
        EXPECT_GT(w.ds1()->rowCount(), 0);
    }

    // The program goes on: without the other user's lock, no wait and no box.
    usuario.mensagens.clear();
    naEspera([](app::TFEspera& e) { e.reject(); });
    pressiona(false);
    EXPECT_FALSE(visto);
    EXPECT_EQ(usuario.mensagens, V{});
    EXPECT_EQ(outro->valores(), "500:9,9,9");
}

TEST_F(Espera, WhenTheOtherUserEndsTheStatementGoesOnByItself) {
    // The transactions wait for the other user (snapshot, wait): a commit of
    // the locked row is the server's update conflict, a rollback frees it.
    struct Caso {
        bool confirma;
        const char* valores;
        const char* erro; // in the box, or "" for no box
    };
    for (const Caso& c : {Caso{true, "500:1,50,3", "update conflicts with concurrent update"},
                          Caso{false, "500:9,9,9", ""}}) {
        SCOPED_TRACE(c.confirma ? "commit" : "rollback");
        usuario.mensagens.clear();
        outro->executa("update ITENS set VALOR = 50 where ID = 2");
        naEspera([&](app::TFEspera&) {
            if (c.confirma)
                outro->tr.Commit();
            else
                outro->tr.Rollback();
        });
        pressiona(false);
        EXPECT_TRUE(visto);
        if (*c.erro) {
            ASSERT_EQ(usuario.mensagens.size(), 1u);
            EXPECT_EQ(usuario.mensagens[0].substr(0, kAvisoReplicar.size()), kAvisoReplicar);
            EXPECT_NE(usuario.mensagens[0].find(c.erro), std::string::npos) << usuario.mensagens[0];
        } else {
            EXPECT_EQ(usuario.mensagens, V{});
        }
        EXPECT_EQ(outro->valores(), c.valores);
        // The next round starts from the values as they were, in a new
        // transaction of the window's (an older one would conflict at once).
        outro->executa("update ITENS set VALOR = ID");
        outro->tr.Commit();
        w.AbreTabela("ITENS");
        w.cb1->setCurrentText("VALOR");
    }
}

TEST_F(Espera, ClosingTheMainWindowWhileWaitingCancelsThenCloses) {
    bool fechou = true;
    naEspera([&](app::TFEspera&) { fechou = w.close(); });
    pressiona(false);
    EXPECT_TRUE(visto);
    EXPECT_FALSE(fechou) << "held back while the statement runs";
    ASSERT_EQ(usuario.mensagens.size(), 1u);
    EXPECT_NE(usuario.mensagens[0].find(kCancelada), std::string::npos) << usuario.mensagens[0];
    EXPECT_TRUE(uitest::espera([&] { return !w.isVisible(); })) << "closed once the action ended";
    EXPECT_FALSE(w.conexao.Connected());
    outro->tr.Rollback();
    EXPECT_EQ(outro->valores(), "500:1,2,3");
}

} // namespace
