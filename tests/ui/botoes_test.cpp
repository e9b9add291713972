// The main window's writing and filtering buttons as the user presses them:
// what reaches the actions from the window's controls, and what the grid,
// the label and the formats look like afterwards.
#include "app/Controles.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "export/ui/ExportaTov.h"
#include "filter/ui/UFiltrar.h"
#include "tests/support/fbtest.h"
#include "tests/ui/apoio.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using uitest::l1;
using V = std::vector<std::string>;

class Botoes : public ::testing::Test {
protected:
    void SetUp() override {
        fbtest::createDatabase(banco, R"(
CREATE TABLE GRUPOS (ID INTEGER NOT NULL PRIMARY KEY);
CREATE TABLE ITENS (ID INTEGER NOT NULL PRIMARY KEY, "grupo" INTEGER REFERENCES GRUPOS (ID),
  PRECO DOUBLE PRECISION, "nome" VARCHAR(20));
COMMIT;
INSERT INTO GRUPOS VALUES (1);
INSERT INTO ITENS VALUES (1, 1, 10, 'um');
INSERT INTO ITENS VALUES (2, 1, 20, 'dois');
)");
        w.show();
        w.ed1->setText(QString::fromLatin1(banco));
        QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
        ASSERT_TRUE(w.conexao.Connected());
        usuario.mensagens.clear();
    }

    std::string celula(int linha, int coluna) {
        auto* m = w.ds1();
        return m->data(m->index(linha, coluna), Qt::DisplayRole).toString().toStdString();
    }

    QApplication& qapp = uitest::aplicacao(); // before any widget
    rtl::ScopedFormatSettings regional{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    std::string banco = pasta.file("botoes.fdb");
    uitest::Usuario usuario;
    TFPrincipal w;
};

TEST_F(Botoes, ReplicarWritesTheTypedValueIntoTheChosenColumnAndTheGridShowsIt) {
    w.AbreTabela("ITENS");
    w.cb1->setCurrentText("PRECO");
    w.ed4->setText("7.5"); // numbers go to the server as text
    usuario.responde = true;
    QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
    ASSERT_EQ(usuario.perguntas.size(), 1u);
    EXPECT_EQ(usuario.perguntas[0],
              l1("Replicação|Replicar a informação \"7.5\" para o campo \"PRECO\"?"));
    EXPECT_EQ(usuario.mensagens, V{});
    ASSERT_TRUE(w.tabela.Active());
    ASSERT_EQ(w.ds1()->rowCount(), 2);
    EXPECT_EQ(celula(0, 2), "7,50") << "the reopened table keeps its display formats";
    EXPECT_EQ(celula(1, 2), "7,50");
}

TEST_F(Botoes, ReplicarAnsweredNoChangesNothing) {
    w.AbreTabela("ITENS");
    w.cb1->setCurrentText("PRECO");
    w.ed4->setText("1");
    usuario.responde = false;
    QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(usuario.perguntas.size(), 1u);
    EXPECT_EQ(celula(0, 2), "10,00");
}

TEST_F(Botoes, LimparOnAReferencedTableReportsItAndKeepsTheRows) {
    w.AbreTabela("GRUPOS");
    usuario.responde = true;
    QTest::mouseClick(w.SpeedButton3, Qt::LeftButton);
    ASSERT_EQ(usuario.mensagens.size(), 1u);
    EXPECT_EQ(usuario.mensagens[0].rfind(l1("Tabela não pode ser limpa ou possui dependentes.\r"
                                            "Erro: "),
                                         0),
              0u);
    EXPECT_TRUE(w.tabela.Active());
    EXPECT_EQ(w.ds1()->rowCount(), 1);
}

TEST_F(Botoes, FiltrarOffersTheColumnsSortedAndCancelKeepsTheRows) {
    w.AbreTabela("ITENS");
    V oferecidos;
    uitest::quandoModal([&](QWidget* m) {
        auto* f = qobject_cast<TFFiltrar*>(m);
        ASSERT_NE(f, nullptr);
        for (int i = 0; i < f->lbCampos->count(); ++i)
            oferecidos.push_back(f->lbCampos->item(i)->text().toStdString());
        f->close();
    });
    QTest::mouseClick(w.SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(oferecidos, (V{"grupo", "ID", "nome", "PRECO"}));
    V cb1;
    for (int i = 0; i < w.cb1->count(); ++i)
        cb1.push_back(w.cb1->itemText(i).toStdString());
    EXPECT_EQ(cb1, (V{"ID", "grupo", "PRECO", "nome"})) << "the combo keeps column order";
    EXPECT_EQ(w.ds1()->rowCount(), 2);
    EXPECT_TRUE(w.lbFiltro->text().isEmpty());
}

TEST_F(Botoes, ExportarWithATableOpenShowsTheExportDialogForIt) {
    w.AbreTabela("ITENS");
    QString titulo;
    uitest::quandoModal([&](QWidget* m) {
        EXPECT_NE(qobject_cast<TExportaTov*>(m), nullptr);
        titulo = m->windowTitle();
        m->close();
    });
    QTest::mouseClick(w.SpeedButton7, Qt::LeftButton);
    EXPECT_EQ(titulo, QString::fromUtf8("Exportação de arquivos"));
    EXPECT_TRUE(w.tabela.Active());
    EXPECT_TRUE(usuario.erros.empty());
}

TEST_F(Botoes, FiltrarAndReplicarDoNothingBeforeATableIsOpen) {
    bool apareceu = false;
    uitest::quandoModal([&](QWidget*) { apareceu = true; });
    QTest::mouseClick(w.SpeedButton1, Qt::LeftButton);
    QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
    QTest::mouseClick(w.SpeedButton3, Qt::LeftButton);
    QTest::qWait(30);
    EXPECT_FALSE(apareceu);
    EXPECT_TRUE(usuario.perguntas.empty());
    EXPECT_TRUE(usuario.mensagens.empty());
}

} // namespace
