// The grid as a user of other data tools reaches for it: copying cells for a
// spreadsheet (with and without titles, blocks and scattered cells, texts
// that need quotes) and sorting by a click on a column title.
#include "app/Controles.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "tests/support/fbtest.h"
#include "tests/ui/apoio.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using V = std::vector<std::string>;

// Columns: ID 0, NOME 1, VALOR 2, DIA 3, OBS 4 (memo), GRUPO 5.
const char* const kDdl = R"(
CREATE TABLE PESSOAS (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(30), VALOR NUMERIC(9,2),
  DIA DATE, OBS BLOB SUB_TYPE TEXT, GRUPO INTEGER);
CREATE TABLE TEXTOS (T VARCHAR(20));
CREATE TABLE FRAGIL (ID INTEGER NOT NULL PRIMARY KEY, X INTEGER,
  C COMPUTED BY (CASE WHEN X = 600 THEN X / 0 ELSE X END));
COMMIT;
INSERT INTO PESSOAS VALUES (1, 'Carla', 1234.5, '2024-03-05', 'nota', 1);
INSERT INTO PESSOAS VALUES (2, 'Ana', 10, '2024-01-02', NULL, 2);
INSERT INTO PESSOAS VALUES (3, 'Bruno', -2.25, NULL, NULL, 1);
INSERT INTO PESSOAS VALUES (4, 'Ana', 7, '2023-12-31', NULL, 1);
INSERT INTO TEXTOS VALUES ('a' || ASCII_CHAR(9) || 'b');
INSERT INTO TEXTOS VALUES ('diz "oi"');
INSERT INTO TEXTOS VALUES ('um' || ASCII_CHAR(10) || 'dois');
INSERT INTO TEXTOS VALUES ('simples');
SET TERM ^ ;
EXECUTE BLOCK AS DECLARE I INTEGER = 1;
BEGIN WHILE (I <= 700) DO BEGIN INSERT INTO FRAGIL VALUES (:I, :I); I = I + 1; END END^
SET TERM ; ^
)";

class Grade : public ::testing::Test {
protected:
    void SetUp() override {
        fbtest::createDatabase(banco, kDdl);
        w.show();
        w.ed1->setText(QString::fromLatin1(banco));
        QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
        ASSERT_TRUE(w.conexao.Connected());
        w.AbreTabela("PESSOAS");
        QTest::qWait(20);
        w.dbGrid->setFocus();
        QGuiApplication::clipboard()->clear();
        usuario.mensagens.clear();
    }

    QPoint centro(int linha, int coluna) {
        return w.dbGrid->visualRect(w.ds1()->index(linha, coluna)).center();
    }
    void clica(int linha, int coluna, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(w.dbGrid->viewport(), Qt::LeftButton, mods, centro(linha, coluna));
    }
    void clicaTitulo(int coluna) {
        QHeaderView* h = w.dbGrid->horizontalHeader();
        const QPoint p(h->sectionViewportPosition(coluna) + h->sectionSize(coluna) / 2,
                       h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, p);
        QTest::qWait(10);
    }
    std::string copiado() { return QGuiApplication::clipboard()->text().toStdString(); }
    /// The grid's texts of `coluna`, top to bottom, over the rows it holds.
    V coluna(int c) {
        V r;
        auto* m = w.ds1();
        for (int l = 0; l < m->rowCount(); ++l)
            r.push_back(m->data(m->index(l, c), Qt::DisplayRole).toString().toStdString());
        return r;
    }
    /// The arrow in the titles: its column (-1: none) and 'a' or 'd'.
    std::pair<int, char> seta() {
        QHeaderView* h = w.dbGrid->horizontalHeader();
        return {h->sortIndicatorSection(),
                h->sortIndicatorOrder() == Qt::AscendingOrder ? 'a' : 'd'};
    }

    QApplication& qapp = uitest::aplicacao(); // before any widget
    rtl::ScopedFormatSettings regional{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    std::string banco = pasta.file("grade.fdb");
    uitest::Usuario usuario;
    TFPrincipal w;
};

TEST_F(Grade, CopiesABlockOrScatteredCellsAsDisplayedWithOrWithoutTitles) {
    // A block dragged out with Shift: numbers and dates as the grid shows them.
    clica(0, 1);
    clica(1, 3, Qt::ShiftModifier);
    QTest::keyClick(w.dbGrid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(copiado(), "Carla\t1.234,50\t05/03/2024\nAna\t10,00\t02/01/2024");
    QTest::keyClick(w.dbGrid, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(copiado(), "NOME\tVALOR\tDIA\nCarla\t1.234,50\t05/03/2024\nAna\t10,00\t02/01/2024");

    // Scattered cells with Ctrl: only the rows and columns that hold one, a
    // cell not chosen itself left empty; a null date copies as empty text.
    clica(0, 0);
    clica(2, 3, Qt::ControlModifier);
    clica(3, 3, Qt::ControlModifier);
    QTest::keyClick(w.dbGrid, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(copiado(), "ID\tDIA\n1\t\n\t\n\t31/12/2023");

    // Every cell: the memo column as the grid shows it, never its content.
    QTest::keyClick(w.dbGrid, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w.dbGrid, Qt::Key_C, Qt::ControlModifier);
    const std::string tudo = copiado();
    EXPECT_EQ(tudo.substr(0, tudo.find('\n')), "1\tCarla\t1.234,50\t05/03/2024\t(MEMO)\t1");
    EXPECT_EQ(std::count(tudo.begin(), tudo.end(), '\n'), 3) << "no line break after the last";
    EXPECT_EQ(w.tabela.RecordCount(), 4);
    EXPECT_TRUE(usuario.erros.empty());
}

TEST_F(Grade, TextsWithTabsLineBreaksOrQuotesAreQuotedForSpreadsheets) {
    w.AbreTabela("TEXTOS");
    QTest::qWait(20);
    w.dbGrid->selectAll();
    QTest::keyClick(w.dbGrid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(copiado(), "\"a\tb\"\n\"diz \"\"oi\"\"\"\n\"um\ndois\"\nsimples");
}

TEST_F(Grade, TheContextMenuOffersBothCopies) {
    clica(1, 1);
    QStringList textos;
    QTimer::singleShot(20, [&] {
        for (QMenu* menu : w.dbGrid->findChildren<QMenu*>()) {
            if (!menu->isVisible()) continue;
            for (QAction* a : menu->actions())
                textos << a->text();
            if (textos.size() >= 2) menu->actions().at(1)->trigger();
            menu->close();
        }
    });
    QContextMenuEvent e(QContextMenuEvent::Mouse, centro(1, 1),
                        w.dbGrid->viewport()->mapToGlobal(centro(1, 1)));
    QApplication::sendEvent(w.dbGrid->viewport(), &e);
    // Then, after a separator, the two ways of bringing rows in.
    EXPECT_EQ(textos, (QStringList{QStringLiteral("Copiar"), QStringLiteral("Copiar com títulos"),
                                   QString(), QStringLiteral("Colar linhas"),
                                   QStringLiteral("Importar arquivo...")}));
    EXPECT_EQ(copiado(), "NOME\nAna");
}

TEST_F(Grade, ATitleClickSortsUpThenDownThenBackToTheKeyOrderKeepingTheRowAndTheWidths) {
    clica(0, 2); // Carla, ID 1
    w.dbGrid->setColumnWidth(1, 150);
    clicaTitulo(1);
    EXPECT_EQ(coluna(0), (V{"2", "4", "3", "1"})) << "equal names in key order";
    EXPECT_EQ(seta(), std::make_pair(1, 'a'));
    EXPECT_EQ(w.tabela.FieldByName("ID").AsInteger(), 1) << "the current row stays current";
    EXPECT_EQ(w.dbGrid->currentIndex(), w.ds1()->index(3, 2));
    EXPECT_EQ(w.dbGrid->columnWidth(1), 150);

    clicaTitulo(1);
    EXPECT_EQ(coluna(0), (V{"1", "3", "4", "2"}));
    EXPECT_EQ(seta(), std::make_pair(1, 'd'));

    clicaTitulo(4); // the memo column: nothing happens
    EXPECT_EQ(coluna(0), (V{"1", "3", "4", "2"}));
    EXPECT_EQ(seta(), std::make_pair(1, 'd'));
    EXPECT_EQ(w.dbGrid->selectionModel()->selectedIndexes().size(), 1)
        << "a title click selects no column";

    clicaTitulo(1);
    EXPECT_EQ(coluna(0), (V{"1", "2", "3", "4"}));
    EXPECT_EQ(seta().first, -1);
    clicaTitulo(4);
    EXPECT_EQ(seta().first, -1);
    EXPECT_TRUE(usuario.erros.empty());
}

TEST_F(Grade, TheSortKeepsTheFilterReplicationKeepsTheSortANewTableStartsInKeyOrder) {
    w.tabela.SetFiltered(true);
    w.tabela.SetFilter("GRUPO = 1");
    clicaTitulo(1);
    EXPECT_EQ(coluna(0), (V{"4", "3", "1"}));
    EXPECT_EQ(w.tabela.Filter(), "GRUPO = 1");
    EXPECT_TRUE(w.tabela.Filtered());

    // Replication writes the filtered rows and reopens unfiltered, still sorted.
    w.cb1->setCurrentText(QStringLiteral("VALOR"));
    w.ed4->setText(QStringLiteral("5"));
    usuario.responde = true;
    QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(coluna(0), (V{"2", "4", "3", "1"}));
    EXPECT_EQ(coluna(2), (V{"10,00", "5,00", "5,00", "5,00"}));
    EXPECT_EQ(seta(), std::make_pair(1, 'a'));

    w.AbreTabela("PESSOAS");
    QTest::qWait(20);
    EXPECT_EQ(coluna(0), (V{"1", "2", "3", "4"}));
    EXPECT_EQ(seta().first, -1);
    EXPECT_TRUE(usuario.mensagens.empty());
    EXPECT_TRUE(usuario.erros.empty());
}

TEST_F(Grade, ASortTheServerRefusesLeavesTheTableInItsOrderAndSaysWhy) {
    w.AbreTabela("FRAGIL");
    QTest::qWait(20);
    ASSERT_LT(w.ds1()->rowCount(), 600) << "the failing row is not fetched unsorted";
    clicaTitulo(2);
    ASSERT_EQ(usuario.erros.size(), 1u);
    EXPECT_NE(usuario.erros[0].find("divide"), std::string::npos) << usuario.erros[0];
    EXPECT_TRUE(w.tabela.Active());
    EXPECT_EQ(w.tabela.IndexFieldNames(), "");
    EXPECT_EQ(coluna(0).front(), "1");
    EXPECT_EQ(seta().first, -1);
}

} // namespace
