#include "filter/ui/UFiltrar.h"
#include "tests/ui/leiaute.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>

namespace {

// Deletes the application after the last test: left to the statics at exit,
// Qt's input devices are torn down after what they use and crash.
class FimDoQt : public ::testing::Environment {
public:
    void TearDown() override { delete QApplication::instance(); }
};

QApplication& app() {
    static int argc = 1;
    static char nome[] = "ffiltrar_test";
    static char* argv[] = {nome, nullptr};
    static QApplication* a = [] {
        ::testing::AddGlobalTestEnvironment(new FimDoQt);
        return new QApplication(argc, argv);
    }();
    return *a;
}

QString L1(const char* s) {
    return QString::fromLatin1(s);
}

// A filter window as "Filtrar" shows it: columns given, shown and active.
class JanelaFiltro : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        w = std::make_unique<TFFiltrar>();
        w->adicionaCampos({"DATA", "ID", "NOME", "QTD", "VALOR"});
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }

    // A user's double click: press and release, then the second press.
    static void duploClique(QWidget* alvo, QPoint pos) {
        QTest::mouseClick(alvo, Qt::LeftButton, {}, pos);
        QTest::mouseDClick(alvo, Qt::LeftButton, {}, pos);
    }
    void duploCliqueCampo(const char* nome) {
        auto itens = w->lbCampos->findItems(L1(nome), Qt::MatchExactly);
        ASSERT_EQ(itens.size(), 1);
        duploClique(w->lbCampos->viewport(), w->lbCampos->visualItemRect(itens.first()).center());
    }
    void duploCliqueOperador(int linha, int coluna) {
        duploClique(w->grid->viewport(),
                    w->grid->visualItemRect(w->grid->item(linha, coluna)).center());
    }
    void cliqueOperador(int linha, int coluna) {
        QTest::mouseClick(w->grid->viewport(), Qt::LeftButton, {},
                          w->grid->visualItemRect(w->grid->item(linha, coluna)).center());
    }
    void cliqueSentenca(int linha) {
        QTest::mouseClick(w->lbSentenca->viewport(), Qt::LeftButton, {},
                          w->lbSentenca->visualItemRect(w->lbSentenca->item(linha)).center());
    }
    void digita(const char* texto) { QTest::keyClicks(w->edSentenca, L1(texto)); }
    void enter(QWidget* alvo) { QTest::keyClick(alvo, Qt::Key_Return); }
    void adicionaSentenca(const char* texto) {
        w->edSentenca->setText(L1(texto));
        enter(w->edSentenca);
    }
    QStringList sentencas() const {
        QStringList l;
        for (int i = 0; i < w->lbSentenca->count(); ++i)
            l << w->lbSentenca->item(i)->text();
        return l;
    }

    std::unique_ptr<TFFiltrar> w;
};

TEST_F(JanelaFiltro, OpensEmptyWithTheOperatorCellsAndTheEditFocused) {
    EXPECT_EQ(w->windowTitle(), L1("  Filtrar registros"));
    EXPECT_EQ(w->size(), QSize(689, 458));
    EXPECT_EQ(w->gbLocais->title(), L1("   [ Campos dispon\xedveis  ]   "));
    EXPECT_EQ(w->edSentenca->text(), QString());
    EXPECT_EQ(QApplication::focusWidget(), w->edSentenca);
    EXPECT_FALSE(w->aplicar);
    EXPECT_FALSE(w->remover);
    EXPECT_EQ(w->lbSentenca->count(), 0);
    EXPECT_EQ(w->lbCampos->count(), 5);

    const char* esperado[4][5] = {
        {" > ", " <= ", " COM ", " SEG ", " MES "},
        {" < ", " <> ", " ( ", " D_HJ ", " ANO "},
        {" = ", " E ", " ) ", " H_HJ ", " HOR "},
        {" >= ", " OU ", " DIA ", "", " MIN "},
    };
    ASSERT_EQ(w->grid->rowCount(), 4);
    ASSERT_EQ(w->grid->columnCount(), 5);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(w->grid->item(r, c)->text(), L1(esperado[r][c])) << r << "," << c;
    // Every cell is visible inside the grid.
    const QRect ultima = w->grid->visualItemRect(w->grid->item(3, 4));
    EXPECT_LE(ultima.right(), w->grid->viewport()->width());
    EXPECT_LE(ultima.bottom(), w->grid->viewport()->height());
}

TEST_F(JanelaFiltro, EveryCaptionAndOperatorCellReadsWholeInsideItsFrame) {
    for (const auto& f : leiaute::confere(w.get()))
        ADD_FAILURE() << f;
    const QFontMetrics fm(w->grid->font());
    int largura = 0;
    for (int c = 0; c < w->grid->columnCount(); ++c) {
        largura += w->grid->columnWidth(c);
        for (int r = 0; r < w->grid->rowCount(); ++r) {
            const QString t = w->grid->item(r, c)->text();
            EXPECT_LE(fm.horizontalAdvance(t.trimmed()) + 4, w->grid->columnWidth(c))
                << "cell " << t.toStdString() << " is cut";
        }
    }
    EXPECT_LE(largura, w->grid->viewport()->width()) << "every operator column is in view";
}

TEST_F(JanelaFiltro, ComposingTwoSentencesByClicksAndTypingGivesTheJoinedCondition) {
    duploCliqueCampo("VALOR");
    EXPECT_EQ(w->edSentenca->text(), L1("VALOR"));
    duploCliqueOperador(2, 0); // " = "
    EXPECT_EQ(w->edSentenca->text(), L1("VALOR = "));
    // The edit has the focus and the caret at the end, so typing goes on.
    EXPECT_EQ(QApplication::focusWidget(), w->edSentenca);
    digita("10");
    enter(w->edSentenca);
    EXPECT_EQ(sentencas(), QStringList{L1("VALOR = 10")});
    EXPECT_EQ(w->edSentenca->text(), QString());

    duploCliqueOperador(2, 1); // " E "
    duploCliqueCampo("QTD");
    cliqueOperador(0, 0); // " > " by the button instead of a double click
    QTest::mouseClick(w->SpeedButton7, Qt::LeftButton);
    digita("2");
    QTest::mouseClick(w->SpeedButton4, Qt::LeftButton);
    EXPECT_EQ(sentencas(), (QStringList{L1("VALOR = 10"), L1(" E QTD > 2")}));

    QTest::mouseClick(w->b1, Qt::LeftButton);
    EXPECT_TRUE(w->aplicar);
    EXPECT_FALSE(w->remover);
    EXPECT_EQ(w->condicao, "VALOR = 10 AND QTD > 2");
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Accepted);
}

TEST_F(JanelaFiltro, EnterInTheListsAndGridWorksLikeADoubleClick) {
    w->lbCampos->setFocus();
    QTest::keyClick(w->lbCampos, Qt::Key_Down); // nothing selected yet: the first
    enter(w->lbCampos);
    EXPECT_EQ(w->edSentenca->text(), L1("DATA"));
    // The focus stays in the list when a column is appended.
    EXPECT_EQ(QApplication::focusWidget(), w->lbCampos);

    cliqueOperador(3, 0); // " >= "
    enter(w->grid);
    EXPECT_EQ(w->edSentenca->text(), L1("DATA >= "));
    EXPECT_EQ(QApplication::focusWidget(), w->edSentenca);
}

TEST_F(JanelaFiltro, SentencesAreJoinedAsTheyAreAndTranslatedUntrimmed) {
    adicionaSentenca("NOME = 'X'");
    adicionaSentenca("ID > 3");
    adicionaSentenca(" e id < 9 ");
    QTest::mouseClick(w->b1, Qt::LeftButton);
    EXPECT_TRUE(w->aplicar);
    EXPECT_EQ(w->condicao, "NOME = 'X'ID > 3 AND id < 9 ");
}

TEST_F(JanelaFiltro, QuotedValuesReachTheConditionAsTyped) {
    adicionaSentenca("NOME = 'MARIA E JOSE'");
    adicionaSentenca(" OU NOME COM 'ANA%'");
    QTest::mouseClick(w->b1, Qt::LeftButton);
    EXPECT_EQ(w->condicao, "NOME = 'MARIA E JOSE' OR NOME LIKE 'ANA%'");
}

TEST_F(JanelaFiltro, ClickedDatePartsTranslateToExtract) {
    duploCliqueOperador(3, 2); // " DIA "
    duploCliqueOperador(1, 2); // " ( "
    duploCliqueCampo("DATA");
    duploCliqueOperador(2, 2); // " ) "
    duploCliqueOperador(2, 0); // " = "
    digita("5");
    enter(w->edSentenca);
    duploCliqueOperador(2, 1); // " E "
    duploCliqueOperador(0, 4); // " MES " of the fifth column
    duploCliqueOperador(1, 2);
    duploCliqueCampo("DATA");
    duploCliqueOperador(2, 2);
    duploCliqueOperador(0, 0);
    duploCliqueOperador(0, 3); // compared with nothing sensible, but translated
    enter(w->edSentenca);
    duploCliqueOperador(2, 1);
    duploCliqueOperador(2, 4); // " HOR "
    duploCliqueOperador(1, 2);
    duploCliqueCampo("DATA");
    duploCliqueOperador(2, 2);
    duploCliqueOperador(1, 0); // " < "
    duploCliqueOperador(2, 3); // " H_HJ "
    enter(w->edSentenca);
    QTest::mouseClick(w->b1, Qt::LeftButton);
    EXPECT_EQ(w->condicao, " EXTRACT(DAY FROM DATA )  = 5"
                           " AND  EXTRACT(MONTH FROM DATA )  >  SEG "
                           " AND  EXTRACT(HOUR FROM  DATA )  <  CURRENT_TIME ");
}

TEST_F(JanelaFiltro, TheEmptyCellAppendsNothing) {
    w->edSentenca->setText(L1("X"));
    duploCliqueOperador(3, 3);
    EXPECT_EQ(w->edSentenca->text(), L1("X"));
}

TEST_F(JanelaFiltro, OkWithoutSentencesRemovesTheFilter) {
    w->edSentenca->setText(L1("ID = 1")); // typed but never added
    QTest::mouseClick(w->b1, Qt::LeftButton);
    EXPECT_TRUE(w->remover);
    EXPECT_FALSE(w->aplicar);
}

TEST_F(JanelaFiltro, CancelAndTheCloseBoxLeaveBothFlagsFalse) {
    adicionaSentenca("ID = 1");
    QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
    EXPECT_FALSE(w->aplicar);
    EXPECT_FALSE(w->remover);
    EXPECT_FALSE(w->isVisible());

    w->show();
    adicionaSentenca("ID = 2");
    w->close();
    EXPECT_FALSE(w->aplicar);
    EXPECT_FALSE(w->remover);
}

TEST_F(JanelaFiltro, ShowingAgainResetsTheFlagsAndTheEdit) {
    QTest::mouseClick(w->b1, Qt::LeftButton);
    ASSERT_TRUE(w->remover);
    w->show();
    EXPECT_FALSE(w->remover);
    EXPECT_EQ(w->edSentenca->text(), QString());
}

TEST_F(JanelaFiltro, ABlankLineIsNotASentenceButTheEditIsEmptied) {
    adicionaSentenca("   \t ");
    EXPECT_EQ(w->lbSentenca->count(), 0);
    EXPECT_EQ(w->edSentenca->text(), QString());
    // Added as typed, blanks kept.
    adicionaSentenca("  ID = 1  ");
    EXPECT_EQ(sentencas(), QStringList{L1("  ID = 1  ")});
    // A double click in the edit adds it too.
    w->edSentenca->setText(L1("ID = 2"));
    duploClique(w->edSentenca, QPoint(5, 5));
    EXPECT_EQ(sentencas(), (QStringList{L1("  ID = 1  "), L1("ID = 2")}));
}

TEST_F(JanelaFiltro, CampoWithoutASelectedColumnChangesNothing) {
    w->edSentenca->setText(L1("X"));
    QTest::mouseClick(w->SpeedButton3, Qt::LeftButton);
    EXPECT_EQ(w->edSentenca->text(), L1("X"));
    // With a selection it appends, and the focus stays in the edit.
    w->lbCampos->setCurrentRow(1);
    QTest::mouseClick(w->SpeedButton3, Qt::LeftButton);
    EXPECT_EQ(w->edSentenca->text(), L1("XID"));
    EXPECT_EQ(QApplication::focusWidget(), w->edSentenca);
}

TEST_F(JanelaFiltro, ChoosingASentenceShowsItInTheEdit) {
    adicionaSentenca("A = 1");
    adicionaSentenca(" E B = 2");
    adicionaSentenca(" E C = 3");
    cliqueSentenca(1);
    EXPECT_EQ(w->edSentenca->text(), L1(" E B = 2"));
    QTest::keyClick(w->lbSentenca, Qt::Key_Down);
    EXPECT_EQ(TFFiltrar::selecionado(w->lbSentenca), 2);
    EXPECT_EQ(w->edSentenca->text(), L1(" E C = 3"));
    QTest::keyClick(w->lbSentenca, Qt::Key_Up);
    QTest::keyClick(w->lbSentenca, Qt::Key_Up);
    EXPECT_EQ(TFFiltrar::selecionado(w->lbSentenca), 0);
    EXPECT_EQ(w->edSentenca->text(), L1("A = 1"));
}

TEST_F(JanelaFiltro, UpAndDownMoveByOneEntryPerKeyPress) {
    w->lbCampos->setFocus();
    QTest::keyClick(w->lbCampos, Qt::Key_Up);
    EXPECT_EQ(TFFiltrar::selecionado(w->lbCampos), -1); // nothing selected stays so
    QTest::keyClick(w->lbCampos, Qt::Key_Down);
    EXPECT_EQ(TFFiltrar::selecionado(w->lbCampos), 0);
    QTest::keyClick(w->lbCampos, Qt::Key_Down);
    EXPECT_EQ(TFFiltrar::selecionado(w->lbCampos), 1);
    QTest::keyClick(w->lbCampos, Qt::Key_Down);
    QTest::keyClick(w->lbCampos, Qt::Key_Down);
    QTest::keyClick(w->lbCampos, Qt::Key_Down);
    EXPECT_EQ(TFFiltrar::selecionado(w->lbCampos), 4);
    QTest::keyClick(w->lbCampos, Qt::Key_Down); // already on the last
    EXPECT_EQ(TFFiltrar::selecionado(w->lbCampos), 4);
    QTest::keyClick(w->lbCampos, Qt::Key_Up);
    EXPECT_EQ(TFFiltrar::selecionado(w->lbCampos), 3);
}

TEST_F(JanelaFiltro, DeletingSentencesKeepsASensibleSelection) {
    adicionaSentenca("A = 1");
    adicionaSentenca(" E B = 2");
    adicionaSentenca(" E C = 3");

    // Nothing selected: nothing deleted.
    QTest::mouseClick(w->SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(w->lbSentenca->count(), 3);

    // Deleting the middle one selects the one that moved up.
    cliqueSentenca(1);
    QTest::mouseClick(w->SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(sentencas(), (QStringList{L1("A = 1"), L1(" E C = 3")}));
    EXPECT_EQ(TFFiltrar::selecionado(w->lbSentenca), 1);
    // The edit is not rewritten by the program's own selection.
    EXPECT_EQ(w->edSentenca->text(), L1(" E B = 2"));

    // Delete key on the last one selects the new last.
    w->lbSentenca->setFocus();
    QTest::keyClick(w->lbSentenca, Qt::Key_Delete);
    EXPECT_EQ(sentencas(), QStringList{L1("A = 1")});
    EXPECT_EQ(TFFiltrar::selecionado(w->lbSentenca), 0);

    // Deleting the only one leaves the list empty and unselected.
    QTest::keyClick(w->lbSentenca, Qt::Key_Delete);
    EXPECT_EQ(w->lbSentenca->count(), 0);
    EXPECT_EQ(TFFiltrar::selecionado(w->lbSentenca), -1);
    QTest::keyClick(w->lbSentenca, Qt::Key_Delete); // harmless on an empty list
}

TEST_F(JanelaFiltro, DeleteInTheEditDeletesCharactersNotSentences) {
    adicionaSentenca("A = 1");
    cliqueSentenca(0);
    w->edSentenca->setFocus();
    w->edSentenca->setCursorPosition(0);
    QTest::keyClick(w->edSentenca, Qt::Key_Delete);
    EXPECT_EQ(w->lbSentenca->count(), 1);
    EXPECT_EQ(w->edSentenca->text(), L1(" = 1"));
}

TEST_F(JanelaFiltro, TheGlyphButtonClearsAllSentences) {
    adicionaSentenca("A = 1");
    adicionaSentenca(" E B = 2");
    QTest::mouseClick(w->SpeedButton5, Qt::LeftButton);
    EXPECT_EQ(w->lbSentenca->count(), 0);
    QTest::mouseClick(w->b1, Qt::LeftButton);
    EXPECT_TRUE(w->remover);
}

TEST_F(JanelaFiltro, ButtonsCarryTheirCaptionsAndAltAccelerators) {
    struct {
        QToolButton* botao;
        const char* titulo;
        const char* atalho;
    } const esperado[] = {
        {w->SpeedButton3, " C&ampo", "Alt+A"},
        {w->SpeedButton2,
         " E&xclui senten\xe7"
         "a",
         "Alt+X"},
        {w->SpeedButton4,
         "A&diciona senten\xe7"
         "a",
         "Alt+D"},
        {w->SpeedButton7, "O&perador", "Alt+P"},
        {w->b1, " &Ok", "Alt+O"},
        {w->SpeedButton1, " &Cancelar", "Alt+C"},
    };
    for (const auto& e : esperado) {
        EXPECT_EQ(e.botao->text(), L1(e.titulo));
        EXPECT_EQ(e.botao->shortcut(), QKeySequence(L1(e.atalho))) << e.titulo;
        // Pressing a button never takes the focus from the list or edit in use.
        EXPECT_EQ(e.botao->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_TRUE(w->SpeedButton5->text().isEmpty());
}

TEST_F(JanelaFiltro, LatinOneTextsSurviveTheRoundTrip) {
    w->edSentenca->setText(QString::fromLatin1("NOME = 'CONCEI\xc7\xc3O'"));
    enter(w->edSentenca);
    QTest::mouseClick(w->b1, Qt::LeftButton);
    EXPECT_EQ(w->condicao, "NOME = 'CONCEI\xc7\xc3O'");
}

} // namespace
