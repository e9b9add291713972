// Text of every character set at the windows' edges, on real databases of
// each set: grid cells and titles, replication and filters, and the whole
// path a user takes on a UTF8 database.
#include "app/Aplicacao.h"
#include "app/Controles.h"
#include "app/DialogosQt.h"
#include "app/Grade.h"
#include "app/UAcoes.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "filter/ui/UFiltrar.h"
#include "tests/ui/sessao.h"

#include <QComboBox>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>

#include <string>
#include <vector>

namespace {

using uitest::l1;

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

/// The one value `select` gives, read through a second connection that asks
/// for UTF8, as UTF-8 (trailing blanks removed).
std::string relido(const std::string& banco, const std::string& select) {
    TFbDatabase db;
    db.SetDatabaseName(banco);
    db.SetLoginPrompt(false);
    db.SetParams(
        {"user_name=SYSDBA", std::string("password=") + fbtest::kPassword, "lc_ctype=UTF8"});
    db.Open();
    TFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    TFbSQL q;
    q.SetDatabase(&db);
    q.SetTransaction(&tr);
    q.SQL().SetText(select);
    q.ExecQuery();
    std::string v = q.CurrentRow()[0].AsString();
    q.Close();
    tr.Commit();
    v.erase(v.find_last_not_of(' ') + 1);
    return v;
}

// A database of the default set `padrao` made with `ddl` (UTF-8 through a
// UTF8 connection; for NONE, the bytes as given through a connection without
// a set, as such databases are filled), and the main window's objects wired
// to it.
struct Banco {
    Banco(const std::string& padrao, const std::string& ddl) {
        caminho = pasta.file("b.fdb");
        if (padrao == "NONE")
            fbtest::createDatabase(caminho, ddl);
        else
            fbtest::createDatabaseUtf8(caminho, padrao, ddl);
        conexao.SetDatabaseName(caminho);
        conexao.SetLoginPrompt(false);
        conexao.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
        transacao.SetDefaultDatabase(&conexao);
        conexao.SetDefaultTransaction(&transacao);
        conexao.Open();
        tabela.SetDatabase(&conexao);
        tabela.SetTransaction(&transacao);
        sql.SetDatabase(&conexao);
        sql.SetTransaction(&transacao);
        tabela.SetTableName("T");
        tabela.Open();
    }
    ~Banco() {
        try {
            tabela.Close();
            conexao.Close();
        } catch (...) {
        }
    }

    QApplication& qapp = uitest::aplicacao();
    uitest::Usuario usuario;
    fbtest::TempFolder pasta;
    std::string caminho;
    TFbDatabase conexao;
    TFbTransaction transacao;
    TFbTable tabela;
    TFbSQL sql;
    TAcoes acoes{conexao, transacao, tabela, sql};
};

struct CasoGrade {
    const char* padrao;
    const char* conjuntoA; // character set clauses of the three text columns
    const char* conjuntoC;
    const char* conjuntoM;
    const char* a; // VARCHAR(20), CHAR(4), text blob
    const char* c;
    const char* m;
};

TEST(Conjuntos, TheGridShowsTheCharactersOfEverySetAndCharKeepsItsBlanksInCharacters) {
    const CasoGrade casos[] = {
        {"NONE", "", "", "", "José Ação", "ã", "memória"},
        {"ISO8859_1", "", "", "", "José Ação", "ãé", "Ação"},
        {"WIN1252", "", "", "", "€“”–", "ãé", "€ ação"},
        {"UTF8", "", "", "", "Zoë €uro 中", "ãé", "José Ação 中"},
        {"UNICODE_FSS", "", "", "", "Zoë €uro 中", "ãé", "memo 中"},
        {"WIN1252", " character set UTF8", " character set ISO8859_1", "", "Zoë 中", "ãé", "€“”"},
    };
    for (const CasoGrade& c : casos) {
        SCOPED_TRACE(std::string(c.padrao) + c.conjuntoA + c.conjuntoC);
        // A database without a set is filled with Latin-1 bytes; names are
        // UTF-8 whatever the connection (the server checks them).
        const bool none = std::string(c.padrao) == "NONE";
        auto valor = [none](const char* t) { return none ? l1(t) : std::string(t); };
        Banco b(c.padrao, std::string("create table T (ID integer not null primary key, "
                                      "\"Descrição\" varchar(20)") +
                              c.conjuntoA + ", C char(4)" + c.conjuntoC + ", M blob sub_type text" +
                              c.conjuntoM + "); commit; insert into T values (1, '" + valor(c.a) +
                              "', '" + valor(c.c) + "', '" + valor(c.m) + "');");
        app::TGradeModelo modelo(b.tabela);
        ASSERT_EQ(modelo.columnCount(), 4);
        EXPECT_EQ(modelo.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), u("Descrição"));
        auto celula = [&](int coluna) {
            return modelo.data(modelo.index(0, coluna), Qt::DisplayRole).toString();
        };
        EXPECT_EQ(celula(1), u(c.a));
        QString esperado = u(c.c);
        EXPECT_EQ(celula(2), esperado.leftJustified(4, QLatin1Char(' ')));
        EXPECT_EQ(celula(3), QStringLiteral("(MEMO)"));
        const TField& memo = b.tabela.Fields(3);
        EXPECT_EQ(app::deTexto(memo.AsString(), memo.CharSetId()), u(c.m));
    }
}

struct CasoReplica {
    const char* padrao;
    const char* ddl; // T(ID, V), and any other table
    const char* valor;
    bool aceito;
    const char* lido = nullptr; // what is read back, when not `valor`
};

TEST(Conjuntos, ReplicationStoresTheTypedCharactersOrGivesTheServersReason) {
    const char* const t = "create table T (ID integer not null primary key, V varchar(20));";
    const char* const win = "create table T (ID integer not null primary key, "
                            "V varchar(20) character set WIN1252); "
                            "create table U (X varchar(5) character set UTF8);";
    const CasoReplica casos[] = {
        {"UTF8", t, "Zoë €uro 中", true},
        {"UNICODE_FSS", t, "Ação “中”", true},
        {"WIN1252", t, "€“”ã–", true},
        {"WIN1252", t, "中", false}, // the server transliterates and refuses
        {"ISO8859_1", t, "€", false},
        {"NONE", win, "Zoë €“”", true}, // on a UTF8 connection
        {"NONE", win, "José 中", false},
        {"NONE", t, "中", false}, // Latin-1 has no place for it: refused before sending
        // The program reads a boolean's words in any database.
        {"UTF8", "create table T (ID integer not null primary key, V boolean);", "NÃO", true,
         "N\xc3O"},
    };
    for (const CasoReplica& c : casos) {
        SCOPED_TRACE(std::string(c.padrao) + " " + c.valor);
        const bool logico = std::string(c.ddl).find("boolean") != std::string::npos;
        const std::string ddl = std::string(c.ddl) + " commit; insert into T values (1, " +
                                (logico ? "true" : "'x'") + ");";
        Banco b(c.padrao, ddl);
        b.usuario.responde = true;
        b.acoes.Replicar("V", c.valor);
        EXPECT_EQ(relido(b.caminho, "select V from T"),
                  c.aceito ? (c.lido ? c.lido : c.valor) : "x");
        if (c.aceito) {
            EXPECT_TRUE(b.usuario.mensagens.empty());
        } else {
            ASSERT_EQ(b.usuario.mensagens.size(), 1u);
            EXPECT_EQ(b.usuario.mensagens[0].rfind(l1("Informação ou campo inválido"), 0), 0u);
            EXPECT_NE(b.usuario.mensagens[0].find(
                          "Cannot transliterate character between character sets"),
                      std::string::npos)
                << b.usuario.mensagens[0];
        }
    }
}

TEST(Conjuntos, AnAccentedLiteralInAFilterFindsItsRow) {
    for (const char* padrao : {"UTF8", "WIN1252", "NONE"}) {
        SCOPED_TRACE(padrao);
        const std::string nome = std::string(padrao) == "NONE" ? l1("José Ação") : "José Ação";
        Banco b(padrao,
                "create table T (ID integer not null primary key, \"Descrição\" varchar(20)); "
                "commit; insert into T values (1, '" +
                    nome + "'); insert into T values (2, 'Jose Acao');");
        QTimer::singleShot(0, [] {
            auto* w = qobject_cast<TFFiltrar*>(QApplication::activeModalWidget());
            ASSERT_NE(w, nullptr);
            w->edSentenca->setText(u("\"Descrição\" = 'José Ação'"));
            w->SpeedButton4Click();
            w->b1Click();
        });
        std::string rotulo;
        b.acoes.mostraFiltro = [&rotulo](const std::string& t) { rotulo = t; };
        std::vector<std::string> campos{"ID", "Descrição"};
        b.acoes.Filtrar(campos);
        ASSERT_TRUE(b.tabela.Filtered());
        EXPECT_EQ(b.tabela.RecordCount(), 1);
        EXPECT_EQ(b.tabela.FieldByName("ID").AsInteger(), 1);
        EXPECT_TRUE(b.usuario.mensagens.empty());
        // The label shows the name as the user saw it, whatever the set.
        EXPECT_EQ(rotulo, "\"Descrição\" = 'José Ação'");
    }
}

// The whole path on a UTF8 database, through the windows.
class SessaoUtf8 : public uitest::Sessao {
protected:
    void SetUp() override {
        fbtest::createDatabaseUtf8(
            utf8, "UTF8",
            "create table \"Ações\" (ID integer not null primary key, NOME varchar(30), "
            "\"Descrição\" varchar(30), C char(4)); commit; "
            "insert into \"Ações\" values (1, 'José Ação', 'Zoë €uro 中', 'ãé'); "
            "insert into \"Ações\" values (2, 'Maria', 'x', 'a');");
        uitest::Sessao::SetUp();
        w.ed1->setText(QString::fromStdString(utf8));
        QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
        ASSERT_TRUE(w.conexao.Connected());
        usuario.mensagens.clear();
    }
    QString celula(int linha, int coluna) {
        return w.ds1()->data(w.ds1()->index(linha, coluna), Qt::DisplayRole).toString();
    }
    std::string utf8 = pasta.file("utf8.fdb");
};

TEST_F(SessaoUtf8, AUserSeesFiltersAndReplicatesTextThatIsNotLatin1) {
    QStringList oferecidas;
    uitest::quandoModal([&oferecidas](QWidget* m) {
        auto* t = qobject_cast<TFTabelas*>(m);
        ASSERT_NE(t, nullptr);
        for (int i = 0; i < t->lbTabelas->count(); ++i)
            oferecidas << t->lbTabelas->item(i)->text();
        t->lbTabelas->setCurrentRow(0);
        QTest::mouseClick(t->b1, Qt::LeftButton);
    });
    QTest::mouseClick(w.b1, Qt::LeftButton);
    EXPECT_EQ(oferecidas, QStringList{u("Ações")});
    ASSERT_TRUE(w.tabela.Active());
    EXPECT_EQ(w.painel(0), u("  TABELA: Ações"));
    EXPECT_EQ(celula(0, 1), u("José Ação"));
    EXPECT_EQ(celula(0, 2), u("Zoë €uro 中"));
    EXPECT_EQ(celula(0, 3), u("ãé  "));
    EXPECT_EQ(w.ds1()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), u("Descrição"));
    EXPECT_GE(w.cb1->findText(u("Descrição")), 0);

    // Copying takes the characters as shown.
    w.dbGrid->setCurrentIndex(w.ds1()->index(0, 2));
    EXPECT_EQ(w.dbGrid->textoSelecionado(false), u("Zoë €uro 中"));

    uitest::quandoModal([](QWidget* m) {
        auto* f = qobject_cast<TFFiltrar*>(m);
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(f->lbCampos->findItems(u("Descrição"), Qt::MatchExactly).size(), 1);
        f->lbCampos->setCurrentItem(
            f->lbCampos->findItems(QStringLiteral("NOME"), Qt::MatchExactly).front());
        QTest::mouseClick(f->SpeedButton3, Qt::LeftButton);
        f->grid->setCurrentCell(2, 0);
        QTest::mouseClick(f->SpeedButton7, Qt::LeftButton);
        f->edSentenca->insert(u("'José Ação'"));
        QTest::keyClick(f->edSentenca, Qt::Key_Return);
        QTest::mouseClick(f->b1, Qt::LeftButton);
    });
    QTest::mouseClick(w.SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(w.lbFiltro->text(), u("NOME = 'José Ação'"));
    ASSERT_EQ(w.ds1()->rowCount(), 1);

    w.cb1->setCurrentIndex(w.cb1->findText(u("Descrição")));
    w.ed4->setText(u("Ação “中” €"));
    usuario.responde = true;
    QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
    ASSERT_EQ(usuario.perguntas.size(), 1u);
    EXPECT_EQ(app::textoDaCaixa(usuario.perguntas[0]),
              u("Replicação|Replicar a informação \"Ação “中” €\" para o campo \"Descrição\"?"));
    EXPECT_TRUE(usuario.mensagens.empty());
    ASSERT_TRUE(uitest::espera([this] { return w.ds1()->rowCount() == 2; }));
    EXPECT_EQ(celula(0, 2), u("Ação “中” €"));
    EXPECT_EQ(celula(1, 2), u("x")) << "only the filtered row";
    w.conexao.Close();
    EXPECT_EQ(relido(utf8, "select \"Descrição\" from \"Ações\" where ID = 1"), "Ação “中” €");
}

// Names of 63 characters on the Firebird 4 server that share their first 52:
// the chooser, the titles, the field list and the filter window tell them
// apart, and "Replicar" writes only the twin chosen.
using SessaoFb4 = uitest::Sessao;

TEST_F(SessaoFb4, LongNamesAreShownWholeAndReplicationTakesTheTwinChosen) {
    FBTEST_REQUIRE_FB4_SERVER();
    const std::string t = "Movimentação diária das filiais " + std::string(31, '_'),
                      c1 = "Preço médio em € na filial de Campinas " + std::string(23, '_') + "1",
                      c2 = c1.substr(0, c1.size() - 1) + "2";
    fbtest::Fb4Database fb4("create table \"" + t + "\" (ID integer not null primary key, \"" + c1 +
                                "\" integer, \"" + c2 + "\" integer); insert into \"" + t +
                                "\" values (1, 10, 20);",
                            "UTF8");
    w.ed1->setText(QString::fromStdString(fb4.name()));
    QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    uitest::quandoModal([&](QWidget* m) {
        auto* f = qobject_cast<TFTabelas*>(m);
        ASSERT_EQ(f->lbTabelas->findItems(u(t.c_str()), Qt::MatchExactly).size(), 1);
        f->lbTabelas->setCurrentRow(0);
        QTest::mouseClick(f->b1, Qt::LeftButton);
    });
    QTest::mouseClick(w.b1, Qt::LeftButton);
    ASSERT_TRUE(w.tabela.Active());
    const std::string titulos[] = {"ID", c1, c2};
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(w.ds1()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
                  u(titulos[c].c_str()));
    uitest::quandoModal([&](QWidget* m) {
        auto* f = qobject_cast<TFFiltrar*>(m);
        EXPECT_EQ(f->lbCampos->findItems(u(c1.c_str()), Qt::MatchExactly).size(), 1);
        EXPECT_EQ(f->lbCampos->findItems(u(c2.c_str()), Qt::MatchExactly).size(), 1);
        f->reject();
    });
    QTest::mouseClick(w.SpeedButton1, Qt::LeftButton);
    w.cb1->setCurrentIndex(w.cb1->findText(u(c2.c_str())));
    EXPECT_EQ(w.cb1->currentIndex(), 2);
    w.ed4->setText("5");
    usuario.responde = true;
    QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(usuario.mensagens, std::vector<std::string>{"Conectado!!!"});
    auto celula = [this](int c) {
        return w.ds1()->data(w.ds1()->index(0, c), Qt::DisplayRole).toString();
    };
    ASSERT_TRUE(uitest::espera([&] { return w.tabela.Active() && celula(2) == "5"; }));
    EXPECT_EQ(celula(1), "10");
}

} // namespace
