// Choosing a table and seeing it: the chooser's list and its ways to
// confirm or cancel, the column lists and display formats the field setup
// gives, the grid that fetches rows only as it needs them, and the failures.
#include "app/Controles.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "app/UTabelas.h"
#include "tests/support/fbtest.h"
#include "tests/ui/apoio.h"

#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using uitest::l1;
using V = std::vector<std::string>;

const char* const kDdl = R"(
CREATE TABLE Gama (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(20));
CREATE TABLE "beta" ("id" INTEGER, "texto" VARCHAR(20));
CREATE TABLE ALFA (
  ID INTEGER NOT NULL PRIMARY KEY,
  FOTO BLOB SUB_TYPE 0,
  NOME CHAR(10),
  VALOR DOUBLE PRECISION,
  OBS BLOB SUB_TYPE TEXT,
  PRECO NUMERIC(9,2),
  "vl_qtde_item" DOUBLE PRECISION,
  QTD NUMERIC(18,6),
  DIA DATE,
  HORA TIME,
  MOMENTO TIMESTAMP,
  PEQUENO SMALLINT,
  GRANDE BIGINT);
CREATE VIEW V_ALFA AS SELECT ID, NOME FROM ALFA;
CREATE TABLE SO_BLOBS (A BLOB SUB_TYPE 0, B BLOB SUB_TYPE TEXT);
CREATE TABLE QUEBRADA (X INTEGER, C COMPUTED BY (X / 0));
COMMIT;
INSERT INTO ALFA VALUES (1, NULL, 'AB', 1234.5, 'nota', -9876543.21, 2.5, 0.125,
  '2024-03-05', '14:05:09', '2024-03-05 14:05:09', 7, 9000000000);
INSERT INTO Gama VALUES (1, 'um');
INSERT INTO QUEBRADA VALUES (1);
)";

class Tabelas : public ::testing::Test {
protected:
    void SetUp() override {
        fbtest::createDatabase(banco, kDdl);
        w.show();
        w.ed1->setText(QString::fromLatin1(banco));
        QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
        ASSERT_TRUE(w.conexao.Connected());
        usuario.mensagens.clear();
    }

    /// Presses "Abrir tabelas" and, in the chooser, does `acao`.
    void escolhe(std::function<void(TFTabelas&)> acao) {
        uitest::quandoModal([acao](QWidget* m) {
            auto* t = qobject_cast<TFTabelas*>(m);
            ASSERT_NE(t, nullptr);
            acao(*t);
        });
        QTest::mouseClick(w.b1, Qt::LeftButton);
    }
    /// Chooses `nome` in the chooser and presses "Abrir".
    void abre(const char* nome) {
        escolhe([nome](TFTabelas& t) {
            auto achados = t.lbTabelas->findItems(QString::fromLatin1(nome), Qt::MatchExactly);
            ASSERT_EQ(achados.size(), 1);
            t.lbTabelas->setCurrentItem(achados.front());
            QTest::mouseClick(t.b1, Qt::LeftButton);
        });
    }

    V itensCb1() {
        V r;
        for (int i = 0; i < w.cb1->count(); ++i)
            r.push_back(w.cb1->itemText(i).toStdString());
        return r;
    }
    /// The grid's text of column `campo` in row `linha`.
    std::string celula(int linha, const char* campo) {
        auto* m = w.ds1();
        for (int c = 0; c < m->columnCount(); ++c)
            if (m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() == campo)
                return m->data(m->index(linha, c), Qt::DisplayRole).toString().toStdString();
        ADD_FAILURE() << "no column " << campo;
        return {};
    }
    std::string formato(const char* campo) { return w.tabela.FieldByName(campo).DisplayFormat(); }

    QApplication& qapp = uitest::aplicacao(); // before any widget
    rtl::ScopedFormatSettings regional{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    std::string banco = pasta.file("tabelas.fdb");
    uitest::Usuario usuario;
    TFPrincipal w;
};

TEST_F(Tabelas, TheChooserListsTheTablesSortedIgnoringCaseWithNothingSelected) {
    V vistos;
    bool selecionado = true;
    QString titulo;
    escolhe([&](TFTabelas& t) {
        titulo = t.windowTitle();
        for (int i = 0; i < t.lbTabelas->count(); ++i)
            vistos.push_back(t.lbTabelas->item(i)->text().toStdString());
        selecionado = !t.lbTabelas->selectedItems().isEmpty();
        EXPECT_EQ(t.size(), QSize(268, 337));
        EXPECT_EQ(t.focusWidget(), t.lbTabelas);
        QTest::mouseClick(t.SpeedButton1, Qt::LeftButton);
    });
    EXPECT_EQ(titulo, "  Escolha a tabela");
    EXPECT_EQ(vistos, (V{"ALFA", "beta", "GAMA", "QUEBRADA", "SO_BLOBS"}))
        << "no view, no system table, no trailing blanks";
    EXPECT_FALSE(selecionado);
}

TEST_F(Tabelas, OpeningATableNamesItAndFillsTheColumnListsInColumnOrder) {
    abre("ALFA");
    ASSERT_TRUE(w.tabela.Active());
    EXPECT_EQ(w.painel(0).toStdString(), "  TABELA: ALFA");
    const V esperado{"ID",  "NOME", "VALOR",   "PRECO",   "vl_qtde_item", "QTD",
                     "DIA", "HORA", "MOMENTO", "PEQUENO", "GRANDE"};
    EXPECT_EQ(itensCb1(), esperado) << "blob and memo columns are left out";
    EXPECT_EQ(w.campos, esperado);
    EXPECT_EQ(w.cb1->currentIndex(), 0);
    EXPECT_TRUE(usuario.erros.empty());
}

TEST_F(Tabelas, DisplayFormatsFollowTheKindAndTheQtdRule) {
    abre("ALFA");
    ASSERT_TRUE(w.tabela.Active());
    struct Caso {
        const char* campo;
        const char* formato;
        const char* texto;
    };
    const Caso casos[] = {
        {"VALOR", "###,###,###,##0.00", "1.234,50"},
        {"PRECO", "###,###,###,##0.00", "-9.876.543,21"},
        {"vl_qtde_item", "###,###,###,##0.####", "2,5"},
        {"QTD", "###,###,###,##0.####", "0,125"},
        {"DIA", "dd/mm/yyyy", "05/03/2024"},
        {"HORA", "hh:nn:ss", "14:05:09"},
        {"MOMENTO", "", nullptr},
        {"ID", "", "1"},
        {"PEQUENO", "", "7"},
        {"GRANDE", "", "9000000000"},
        {"NOME", "", "AB        "},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.campo);
        EXPECT_EQ(formato(c.campo), c.formato);
        if (c.texto) {
            EXPECT_EQ(celula(0, c.campo), c.texto);
        }
    }
    EXPECT_EQ(celula(0, "FOTO"), "(Blob)");
    EXPECT_EQ(celula(0, "OBS"), "(MEMO)");
}

TEST_F(Tabelas, EveryReopeningKeepsTheDisplayFormats) {
    abre("ALFA");
    ASSERT_EQ(formato("VALOR"), "###,###,###,##0.00");
    w.tabela.Close();
    w.tabela.Open();
    EXPECT_EQ(formato("VALOR"), "###,###,###,##0.00");
    EXPECT_EQ(formato("DIA"), "dd/mm/yyyy");
    // A filter switched on reopens the table by itself.
    w.tabela.SetFilter("ID = 1");
    w.tabela.SetFiltered(true);
    EXPECT_EQ(formato("vl_qtde_item"), "###,###,###,##0.####");
    EXPECT_EQ(celula(0, "VALOR"), "1.234,50");
}

TEST_F(Tabelas, ChoosingATableStartsItUnfiltered) {
    abre("ALFA");
    w.tabela.Close();
    w.tabela.SetFilter("ID = 99");
    w.tabela.SetFiltered(true);
    w.tabela.Open();
    w.lbFiltro->setText("ID = 99");
    ASSERT_EQ(w.tabela.RecordCount(), 0);

    abre("GAMA");
    EXPECT_TRUE(w.tabela.Active());
    EXPECT_FALSE(w.tabela.Filtered());
    EXPECT_EQ(w.tabela.Filter(), "");
    EXPECT_TRUE(w.lbFiltro->text().isEmpty());
    EXPECT_EQ(w.ds1()->rowCount(), 1);
    EXPECT_TRUE(usuario.erros.empty());
}

TEST_F(Tabelas, CancellingTheChooserKeepsTableGridListsAndPanel) {
    abre("ALFA");
    ASSERT_TRUE(w.tabela.Active());
    const V cb1Antes = itensCb1();
    const int colunas = w.ds1()->columnCount();

    // Cancel, the close box and confirming with no selection all keep it.
    escolhe([](TFTabelas& t) {
        t.lbTabelas->setCurrentRow(1);
        QTest::mouseClick(t.SpeedButton1, Qt::LeftButton);
    });
    escolhe([](TFTabelas& t) {
        t.lbTabelas->setCurrentRow(1);
        t.close();
    });
    escolhe([](TFTabelas& t) {
        t.lbTabelas->clearSelection();
        QTest::mouseClick(t.b1, Qt::LeftButton);
    });

    EXPECT_TRUE(w.tabela.Active());
    EXPECT_EQ(w.tabela.TableName(), "ALFA");
    EXPECT_EQ(w.painel(0).toStdString(), "  TABELA: ALFA");
    EXPECT_EQ(itensCb1(), cb1Antes);
    EXPECT_EQ(w.campos, cb1Antes);
    EXPECT_EQ(w.ds1()->columnCount(), colunas);
    EXPECT_EQ(w.ds1()->rowCount(), 1);
}

TEST_F(Tabelas, EnterOrADoubleClickOnANameOpensIt) {
    escolhe([](TFTabelas& t) {
        t.lbTabelas->setCurrentRow(2); // GAMA
        QTest::keyClick(t.lbTabelas, Qt::Key_Return);
    });
    EXPECT_EQ(w.tabela.TableName(), "GAMA");
    EXPECT_TRUE(w.tabela.Active());

    escolhe([](TFTabelas& t) {
        auto* item = t.lbTabelas->item(1); // beta
        const QPoint ponto = t.lbTabelas->visualItemRect(item).center();
        QTest::mouseClick(t.lbTabelas->viewport(), Qt::LeftButton, {}, ponto);
        QTest::mouseDClick(t.lbTabelas->viewport(), Qt::LeftButton, {}, ponto);
    });
    EXPECT_EQ(w.tabela.TableName(), "beta");
    EXPECT_EQ(w.painel(0).toStdString(), "  TABELA: beta");
    EXPECT_EQ(itensCb1(), (V{"id", "texto"}));
}

TEST_F(Tabelas, OpeningTheSameTableAgainWorksLikeAnyOther) {
    abre("GAMA");
    abre("GAMA");
    EXPECT_TRUE(w.tabela.Active());
    EXPECT_EQ(itensCb1(), (V{"ID", "NOME"}));
    EXPECT_EQ(celula(0, "NOME"), "um");
}

TEST_F(Tabelas, ATableOfLargeObjectsOnlyLeavesTheListsEmpty) {
    abre("SO_BLOBS");
    EXPECT_TRUE(w.tabela.Active());
    EXPECT_EQ(w.cb1->count(), 0);
    EXPECT_EQ(w.cb1->currentIndex(), -1);
    EXPECT_TRUE(w.campos.empty());
}

TEST_F(Tabelas, ATableThatFailsToOpenReachesTheErrorBoxAndKeepsThePreviousLists) {
    abre("GAMA");
    w.cb1->setCurrentIndex(1);
    abre("QUEBRADA");
    ASSERT_EQ(usuario.erros.size(), 1u);
    EXPECT_EQ(usuario.erros[0].back(), '.');
    EXPECT_FALSE(w.tabela.Active());
    EXPECT_EQ(itensCb1(), (V{"ID", "NOME"}));
    EXPECT_EQ(w.campos, (V{"ID", "NOME"}));
    EXPECT_EQ(w.cb1->currentIndex(), 0);
    EXPECT_EQ(w.painel(0).toStdString(), "  TABELA: GAMA");
    EXPECT_EQ(w.ds1()->rowCount(), 0);

    // The program goes on: another table opens normally.
    abre("ALFA");
    EXPECT_TRUE(w.tabela.Active());
    EXPECT_EQ(w.painel(0).toStdString(), "  TABELA: ALFA");
}

TEST(TabelasVazias, ADatabaseWithoutUserTablesSaysSoAndShowsNoChooser) {
    uitest::aplicacao();
    fbtest::TempFolder pasta;
    const std::string banco = pasta.file("vazio.fdb");
    fbtest::createDatabase(banco, "CREATE VIEW SO_VISAO AS SELECT 1 AS UM FROM RDB$DATABASE;");
    uitest::Usuario usuario;
    TFPrincipal w;
    w.show();
    w.ed1->setText(QString::fromLatin1(banco));
    QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    usuario.mensagens.clear();
    bool apareceu = false;
    uitest::quandoModal([&](QWidget*) { apareceu = true; });
    QTest::mouseClick(w.b1, Qt::LeftButton);
    QTest::qWait(30);
    EXPECT_EQ(usuario.mensagens, V{l1("Não existem tabelas nesta base de dados.")});
    EXPECT_FALSE(apareceu);
    EXPECT_EQ(w.painel(0).toStdString(), "  TABELA: Nenhuma");
}

TEST(GradeGrande, ABigTableShowsItsFirstRowsAtOnceAndTheRestAsTheUserScrolls) {
    uitest::aplicacao();
    fbtest::TempFolder pasta;
    const std::string banco = pasta.file("grande.fdb");
    fbtest::createDatabase(banco, R"(
CREATE TABLE MUITAS (N INTEGER);
SET TERM ^ ;
EXECUTE BLOCK AS DECLARE I INTEGER = 1;
BEGIN WHILE (I <= 5000) DO BEGIN INSERT INTO MUITAS VALUES (:I); I = I + 1; END END^
SET TERM ; ^
)");
    uitest::Usuario usuario;
    TFPrincipal w;
    w.show();
    w.ed1->setText(QString::fromLatin1(banco));
    QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    w.AbreTabela("MUITAS");
    QTest::qWait(50);
    auto* m = w.ds1();
    EXPECT_GT(m->rowCount(), 0);
    EXPECT_LT(m->rowCount(), 1000) << "only what the view needs is fetched";
    EXPECT_FALSE(w.tabela.AllFetched());
    EXPECT_EQ(m->data(m->index(0, 0), Qt::DisplayRole).toString(), "1");

    const int antes = m->rowCount();
    for (int i = 0; i < 5 && m->rowCount() == antes; ++i) {
        w.dbGrid->verticalScrollBar()->setValue(w.dbGrid->verticalScrollBar()->maximum());
        QTest::qWait(20);
    }
    EXPECT_GT(m->rowCount(), antes);
    EXPECT_EQ(m->data(m->index(antes, 0), Qt::DisplayRole).toString(), QString::number(antes + 1));
    EXPECT_EQ(w.tabela.RecordCount(), m->rowCount());

    // The export walks every row with the controls suspended; afterwards the
    // grid holds them all and stands on the first.
    w.tabela.DisableControls();
    w.tabela.Last();
    w.tabela.First();
    w.tabela.EnableControls();
    EXPECT_EQ(m->rowCount(), 5000);
    EXPECT_FALSE(m->canFetchMore({}));
    EXPECT_EQ(m->data(m->index(4999, 0), Qt::DisplayRole).toString(), "5000");
    EXPECT_EQ(w.dbGrid->currentIndex().row(), 0);
}

TEST(GradeGrande, CtrlEndFetchesTheRestAndLandsOnTheLastRowCtrlHomeOnTheFirst) {
    uitest::aplicacao();
    fbtest::TempFolder pasta;
    const std::string banco = pasta.file("teclas.fdb");
    fbtest::createDatabase(banco, R"(
CREATE TABLE MUITAS (N INTEGER);
SET TERM ^ ;
EXECUTE BLOCK AS DECLARE I INTEGER = 1;
BEGIN WHILE (I <= 2500) DO BEGIN INSERT INTO MUITAS VALUES (:I); I = I + 1; END END^
SET TERM ; ^
)");
    uitest::Usuario usuario;
    TFPrincipal w;
    w.show();
    w.ed1->setText(QString::fromLatin1(banco));
    QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    w.AbreTabela("MUITAS");
    QTest::qWait(20);
    ASSERT_LT(w.ds1()->rowCount(), 1000);

    // Whether the hourglass is up while the rows arrive.
    struct Cursor : TFbDataSetObserver {
        bool ampulheta = false;
        void RowsFetched(TFbCustomDataSet&, int, int) override {
            const QCursor* c = QGuiApplication::overrideCursor();
            ampulheta = c && c->shape() == Qt::WaitCursor;
        }
    } cursor;
    w.tabela.AddObserver(&cursor);
    QTest::keyClick(w.dbGrid, Qt::Key_End, Qt::ControlModifier);
    w.tabela.RemoveObserver(&cursor);
    EXPECT_TRUE(cursor.ampulheta);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(w.tabela.AllFetched());
    EXPECT_EQ(w.ds1()->rowCount(), 2500);
    EXPECT_EQ(w.dbGrid->currentIndex().row(), 2499);
    EXPECT_EQ(w.tabela.RecNo(), 2500);
    EXPECT_EQ(w.tabela.FieldByName("N").AsInteger(), 2500);

    QTest::keyClick(w.dbGrid, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(w.dbGrid->currentIndex().row(), 0);
    EXPECT_EQ(w.tabela.RecNo(), 1);
    EXPECT_EQ(w.tabela.FieldByName("N").AsInteger(), 1);
    EXPECT_TRUE(usuario.erros.empty());
}

TEST(GradeGrande, TheCurrentCellAndTheDatasetsCurrentRowFollowEachOther) {
    uitest::aplicacao();
    fbtest::TempFolder pasta;
    const std::string banco = pasta.file("atual.fdb");
    fbtest::createDatabase(banco, "CREATE TABLE T (N INTEGER);"
                                  "INSERT INTO T VALUES (1); INSERT INTO T VALUES (2);"
                                  "INSERT INTO T VALUES (3);");
    uitest::Usuario usuario;
    TFPrincipal w;
    w.show();
    w.ed1->setText(QString::fromLatin1(banco));
    QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    w.AbreTabela("T");
    QTest::qWait(20);
    EXPECT_EQ(w.dbGrid->indicador()->linhaAtual(), 0);
    w.dbGrid->setCurrentIndex(w.ds1()->index(2, 0));
    EXPECT_EQ(w.tabela.RecNo(), 3);
    EXPECT_EQ(w.dbGrid->indicador()->linhaAtual(), 2);
    w.tabela.First();
    EXPECT_EQ(w.dbGrid->currentIndex().row(), 0);
    EXPECT_EQ(w.dbGrid->indicador()->linhaAtual(), 0);
    // The indicator draws its mark in the current row's section only.
    auto escuros = [&w](int linha) {
        auto* ind = w.dbGrid->indicador();
        const QImage img = ind->viewport()->grab().toImage();
        const int y0 = ind->sectionViewportPosition(linha);
        int n = 0;
        for (int y = y0; y < y0 + ind->sectionSize(linha); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 80) ++n;
        return n;
    };
    EXPECT_GT(escuros(0), 4);
    EXPECT_EQ(escuros(1), 0);
    EXPECT_EQ(w.dbGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(w.dbGrid->showGrid()) << "lines between rows are not drawn";
}

} // namespace
