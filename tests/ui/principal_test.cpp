// The main window as the user meets it: its controls, the file picker,
// connecting (good and bad), the buttons that must stay quiet before a
// table is open, leaving, and the footer links.
#include "app/Controles.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "tests/support/fbtest.h"
#include "tests/ui/apoio.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

using uitest::l1;

class Principal : public ::testing::Test {
protected:
    void SetUp() override {
        fbtest::createDatabase(banco, "CREATE TABLE CLIENTES (ID INTEGER NOT NULL PRIMARY KEY, "
                                      "NOME VARCHAR(30));"
                                      "INSERT INTO CLIENTES VALUES (1, 'Ana');");
        w.show();
    }

    void conecta(const std::string& nome) {
        w.ed1->setText(QString::fromLatin1(nome));
        QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    }

    std::string painel(int i) { return w.painel(i).toStdString(); }

    QApplication& qapp = uitest::aplicacao(); // before any widget
    fbtest::TempFolder pasta;
    std::string banco = pasta.file("principal.fdb");
    uitest::Usuario usuario;
    TFPrincipal w;
};

struct Controle {
    const char* nome;
    QRect geometria;
    const char* texto; // UTF-8; null when the control has no caption
};

TEST_F(Principal, ShowsEveryControlWhereAndAsTheFormPlacesIt) {
    EXPECT_EQ(w.windowTitle(),
              QString::fromUtf8("  Brivane - Replicação de registros Firebird & Intebase"));
    EXPECT_EQ(w.size(), QSize(560, 560));
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "the window has a fixed size";
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);

    const Controle controles[] = {
        {"gbLocais", {11, 8, 390, 153}, "   [  Local da base de dados  ]   "},
        {"ed1", {13, 49, 339, 24}, ""},
        {"SpeedButton5", {352, 48, 30, 27}, ""},
        {"ed2", {13, 108, 108, 24}, "SYSDBA"},
        {"ed3", {141, 108, 84, 24}, "plumtower"},
        {"SpeedButton6", {231, 106, 149, 26}, " &Conectar banco"},
        {"gbBotoes", {407, 8, 143, 153}, ""},
        {"b1", {9, 13, 124, 26}, " &Abrir tabelas"},
        {"SpeedButton1", {9, 39, 124, 26}, " &Filtrar"},
        {"SpeedButton2", {9, 65, 124, 26}, " &Replicar"},
        {"SpeedButton3", {9, 91, 124, 26}, " &Limpar"},
        {"SpeedButton4", {9, 117, 124, 26}, " &Sair"},
        {"GroupBox1", {11, 167, 539, 66}, ""},
        {"cb1", {13, 31, 200, 24}, nullptr},
        {"ed4", {219, 31, 166, 24}, ""},
        {"SpeedButton7", {411, 14, 123, 46}, " &Exportar"},
        {"GroupBox2", {11, 238, 539, 283}, ""},
        {"dbGrid", {6, 10, 525, 254}, nullptr},
    };
    for (const auto& c : controles) {
        SCOPED_TRACE(c.nome);
        auto* x = w.findChild<QWidget*>(QString::fromLatin1(c.nome));
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->geometry(), c.geometria);
        if (!c.texto) continue;
        const QString esperado = QString::fromUtf8(c.texto);
        if (auto* b = qobject_cast<QAbstractButton*>(x)) {
            EXPECT_EQ(b->text(), esperado);
        } else if (auto* e = qobject_cast<QLineEdit*>(x)) {
            EXPECT_EQ(e->text(), esperado);
        } else if (auto* g = qobject_cast<QGroupBox*>(x)) {
            EXPECT_EQ(g->title(), esperado);
        }
    }

    const std::pair<QLabel*, const char*> rotulos[] = {
        {w.lb1, "Arquivo de trabalho"},
        {w.lb2, "Usuário"},
        {w.lb3, "Senha"},
        {w.lb5, "Campo a ser replicado"},
        {w.lb4, "Informação à replicar"},
    };
    for (const auto& [l, t] : rotulos)
        EXPECT_EQ(l->text(), QString::fromUtf8(t));
    EXPECT_EQ(w.lb1->pos(), QPoint(13, 33));
    EXPECT_EQ(w.lb4->pos(), QPoint(220, 15));
    EXPECT_EQ(w.lb6->pos(), QPoint(12, 523));
    EXPECT_EQ(w.JvLinkLabel1->pos(), QPoint(347, 523));
    EXPECT_EQ(w.jvlnklbl1->pos(), QPoint(459, 523));
    EXPECT_TRUE(w.JvLinkLabel1->text().endsWith(" - "));
    EXPECT_EQ(w.ed3->echoMode(), QLineEdit::Password);
    EXPECT_EQ(w.ed3->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, w.ed3),
              '*');
    EXPECT_EQ(w.font().family(), "Arial");
    EXPECT_EQ(w.font().pixelSize(), 13);
    EXPECT_EQ(w.lb1->font().pixelSize(), 11);
    EXPECT_EQ(w.dbGrid->font().pixelSize(), 9);
    EXPECT_TRUE(w.dbGrid->horizontalHeader()->font().bold());
    EXPECT_TRUE(w.gbLocais->font().bold());
    EXPECT_FALSE(w.ed1->font().bold()) << "only the group box caption is bold";
    EXPECT_EQ(w.ed1->palette().color(QPalette::Text), QColor(Qt::blue));
    EXPECT_FALSE(w.cb1->isEditable());
    EXPECT_TRUE(w.lbFiltro->text().isEmpty());
    EXPECT_EQ(w.lbFiltro->geometry().bottom(), 283 - 3) << "docked to the bottom of GroupBox2";
}

TEST_F(Principal, ButtonsAreFlatGlyphButtonsWithAltAccelerators) {
    const std::pair<app::TSpeedButton*, Qt::Key> botoes[] = {
        {w.SpeedButton6, Qt::Key_C}, {w.b1, Qt::Key_A},           {w.SpeedButton1, Qt::Key_F},
        {w.SpeedButton2, Qt::Key_R}, {w.SpeedButton3, Qt::Key_L}, {w.SpeedButton4, Qt::Key_S},
        {w.SpeedButton7, Qt::Key_E},
    };
    for (const auto& [b, tecla] : botoes) {
        SCOPED_TRACE(b->objectName().toStdString());
        EXPECT_EQ(b->shortcut(), QKeySequence(Qt::ALT | tecla));
        EXPECT_FALSE(b->icon().isNull());
        EXPECT_FALSE(b->icon().pixmap(16, QIcon::Disabled).isNull());
        EXPECT_EQ(b->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
    }
    for (auto* b : {w.b1, w.SpeedButton1, w.SpeedButton2, w.SpeedButton3, w.SpeedButton4})
        EXPECT_EQ(b->margin(), 15);
    EXPECT_FALSE(w.SpeedButton5->icon().isNull());
}

TEST_F(Principal, AltCRunsConnectLikeAClick) {
    QApplication::setActiveWindow(&w);
    w.ed1->setFocus();
    QTest::keyClick(&w, Qt::Key_C, Qt::AltModifier);
    // The accelerator shows the button pressed for a moment before it clicks.
    uitest::espera([this] { return !usuario.mensagens.empty(); });
    EXPECT_EQ(usuario.mensagens, std::vector<std::string>{"Informe o arquivo de base de dados."});
}

TEST_F(Principal, TabVisitsTheEditsTheComboAndTheGridInOrder) {
    QApplication::setActiveWindow(&w);
    w.ed1->setFocus();
    const QWidget* ordem[] = {w.ed2, w.ed3, w.cb1, w.ed4, w.dbGrid};
    for (const QWidget* proximo : ordem) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), proximo) << proximo->objectName().toStdString();
    }
}

TEST_F(Principal, StartsDisconnectedWithTheStatusPanels) {
    EXPECT_EQ(painel(0), "  TABELA: Nenhuma");
    EXPECT_EQ(painel(1), "  Banco: DESCONECTADO");
    EXPECT_FALSE(w.painel(2).isEmpty());
    EXPECT_EQ(w.sb1->panelCount(), 3);
    EXPECT_FALSE(w.conexao.Connected());
}

TEST_F(Principal, EveryStatusTextShowsWholeInItsPanel) {
    // The panels' own labels, measured with the font they really draw with.
    const QList<QLabel*> paineis = w.sb1->findChildren<QLabel*>();
    ASSERT_EQ(paineis.size(), 3);
    auto cabe = [&](int i) {
        const QLabel* l = paineis[i];
        const QFontMetrics fm(l->font());
        const int recuo =
            l->indent() >= 0 ? l->indent() : fm.horizontalAdvance(QLatin1Char('x')) / 2;
        const int precisa = fm.horizontalAdvance(l->text()) + 2 * l->frameWidth() + recuo;
        EXPECT_LE(precisa, l->width()) << l->text().toStdString() << " in panel " << i;
        EXPECT_GE(QFontInfo(l->font()).pixelSize(), 9) << "and still readable";
    };
    cabe(0);
    cabe(1);
    cabe(2);
    conecta(banco);
    EXPECT_EQ(painel(1), "  Banco: CONECTADO");
    cabe(1);
    // A table name as long as the catalog allows (31 characters).
    w.setPainel(0, QStringLiteral("  TABELA: MOVIMENTACAO_ESTOQUE_FILIAIS_01"));
    cabe(0);
}

TEST_F(Principal, FilePickerOpensInTheProgramsFolderOnTheCombinedEntry) {
    usuario.arquivo = banco;
    QTest::mouseClick(w.SpeedButton5, Qt::LeftButton);
    ASSERT_EQ(usuario.dialogosArquivo.size(), 1u);
    const auto& d = usuario.dialogosArquivo[0];
    EXPECT_EQ(d.title, "Base de dados de trabalho");
    ASSERT_EQ(d.filters.size(), 3u);
    EXPECT_EQ(d.filters[0], "Arquivo Firebird (FDB) (*.fdb)");
    EXPECT_EQ(d.filters[1], "Arquivo Interbase (GDB) (*.gdb)");
    EXPECT_EQ(d.filters[2], "Firebird & Interbase (*.fdb *.gdb)");
    EXPECT_EQ(d.selectedFilter, 2);
    EXPECT_EQ(d.initialDir, QCoreApplication::applicationDirPath().toStdString() + "/");
    EXPECT_EQ(w.ed1->text().toStdString(), banco);

    // Cancelling the picker leaves the file name alone.
    usuario.arquivo.reset();
    QTest::mouseClick(w.SpeedButton5, Qt::LeftButton);
    EXPECT_EQ(w.ed1->text().toStdString(), banco);
}

TEST_F(Principal, ABlankFileNameIsRefusedAndNothingChanges) {
    w.setPainel(0, "  TABELA: X");
    for (const char* nome : {"", "   ", " \t "}) {
        usuario.mensagens.clear();
        conecta(nome);
        EXPECT_EQ(usuario.mensagens,
                  std::vector<std::string>{"Informe o arquivo de base de dados."});
    }
    EXPECT_EQ(painel(0), "  TABELA: X");
    EXPECT_EQ(painel(1), "  Banco: DESCONECTADO");
}

TEST_F(Principal, ConnectingThroughTheEmbeddedEngineSaysSoAndMarksThePanel) {
    conecta(banco);
    EXPECT_EQ(usuario.mensagens, std::vector<std::string>{"Conectado!!!"});
    EXPECT_TRUE(w.conexao.Connected());
    EXPECT_EQ(painel(1), "  Banco: CONECTADO");
    EXPECT_EQ(painel(0), "  TABELA: Nenhuma");
    EXPECT_EQ(w.conexao.Params(),
              (std::vector<std::string>{"user_name=SYSDBA", "password=plumtower"}));
}

TEST_F(Principal, AMissingFileIsAnInvalidDatabase) {
    conecta(pasta.file("nao-existe.fdb"));
    EXPECT_EQ(usuario.mensagens, std::vector<std::string>{l1("Base de dados inválida.")});
    EXPECT_FALSE(w.conexao.Connected());
    EXPECT_EQ(painel(1), "  Banco: DESCONECTADO");
}

TEST_F(Principal, TheFileNameUserAndPasswordGoOverAsTyped) {
    w.ed2->setText(" sysdba ");
    w.ed3->setText("");
    conecta("  " + banco + "  ");
    EXPECT_EQ(w.conexao.DatabaseName(), "  " + banco + "  ");
    EXPECT_EQ(w.conexao.Params(), (std::vector<std::string>{"user_name= sysdba ", "password="}));
    ASSERT_EQ(usuario.mensagens.size(), 1u);
}

TEST_F(Principal, AWrongPasswordThroughTheServerIsAnInvalidDatabase) {
    FBTEST_REQUIRE_SERVER();
    w.ed3->setText("errada");
    conecta(fbtest::serverName(banco));
    EXPECT_EQ(usuario.mensagens, std::vector<std::string>{l1("Base de dados inválida.")});
    EXPECT_EQ(painel(0), "  TABELA: Nenhuma");
    EXPECT_EQ(painel(1), "  Banco: DESCONECTADO");
    EXPECT_FALSE(w.conexao.Connected());
}

TEST_F(Principal, AWrongPasswordAfterAGoodConnectionResetsBothPanels) {
    FBTEST_REQUIRE_SERVER();
    conecta(fbtest::serverName(banco));
    ASSERT_EQ(usuario.mensagens, std::vector<std::string>{"Conectado!!!"});
    w.AbreTabela("CLIENTES");
    ASSERT_EQ(painel(0), "  TABELA: CLIENTES");
    ASSERT_TRUE(w.tabela.Active());

    usuario.mensagens.clear();
    w.ed3->setText("errada");
    QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    EXPECT_EQ(usuario.mensagens, std::vector<std::string>{l1("Base de dados inválida.")});
    EXPECT_EQ(painel(0), "  TABELA: Nenhuma");
    EXPECT_EQ(painel(1), "  Banco: DESCONECTADO");
    EXPECT_FALSE(w.conexao.Connected());
    EXPECT_FALSE(w.tabela.Active());
    EXPECT_EQ(w.ds1()->rowCount(), 0) << "the grid empties with the table";
}

TEST_F(Principal, ConnectingAgainClosesTheOpenTableFirst) {
    conecta(banco);
    w.AbreTabela("CLIENTES");
    ASSERT_TRUE(w.tabela.Active());
    w.cb1->setCurrentIndex(1);
    QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    EXPECT_TRUE(w.conexao.Connected());
    EXPECT_FALSE(w.tabela.Active());
    EXPECT_EQ(painel(0), "  TABELA: Nenhuma");
    EXPECT_EQ(painel(1), "  Banco: CONECTADO");
    EXPECT_EQ(w.cb1->count(), 2) << "connecting leaves the column choice alone";
    EXPECT_EQ(w.cb1->currentIndex(), 1);
}

TEST_F(Principal, ExportAndOpenTablesStayQuietUntilTheirTimeComes) {
    // Not connected: neither opening tables nor exporting shows anything.
    bool apareceuJanela = false;
    uitest::quandoModal([&](QWidget*) { apareceuJanela = true; });
    QTest::mouseClick(w.b1, Qt::LeftButton);
    QTest::mouseClick(w.SpeedButton7, Qt::LeftButton);
    conecta(banco);
    usuario.mensagens.clear();
    // Connected but no table open: exporting still does nothing.
    QTest::mouseClick(w.SpeedButton7, Qt::LeftButton);
    QTest::qWait(30);
    EXPECT_FALSE(apareceuJanela);
    EXPECT_TRUE(usuario.mensagens.empty());
    EXPECT_TRUE(usuario.erros.empty());
}

TEST_F(Principal, ClosingTheWindowDisconnectsAndEmptiesTheFieldList) {
    conecta(banco);
    w.AbreTabela("CLIENTES");
    ASSERT_FALSE(w.campos.empty());
    QTest::mouseClick(w.SpeedButton4, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.conexao.Connected());
    EXPECT_FALSE(w.tabela.Active());
    EXPECT_TRUE(w.campos.empty());
    EXPECT_TRUE(usuario.erros.empty());
}

/// Receives what the footer links ask the desktop to open.
class Navegador : public QObject {
    Q_OBJECT
public slots:
    void abre(const QUrl& url) { abertos.push_back(url.toString().toStdString()); }

public:
    std::vector<std::string> abertos;
};

TEST_F(Principal, FooterLinksOpenTheMailAndTheWebSite) {
    Navegador n;
    QDesktopServices::setUrlHandler("mailto", &n, "abre");
    QDesktopServices::setUrlHandler("http", &n, "abre");
    QTest::mouseClick(w.JvLinkLabel1, Qt::LeftButton);
    QTest::mouseClick(w.jvlnklbl1, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("http");
    EXPECT_EQ(n.abertos, (std::vector<std::string>{std::string("mailto:") + TFPrincipal::kEmail,
                                                   std::string("http://") + TFPrincipal::kSite}));
    EXPECT_EQ(w.JvLinkLabel1->cursor().shape(), Qt::PointingHandCursor);
}

} // namespace

#include "principal_test.moc"
