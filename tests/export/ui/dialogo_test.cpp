// The export dialog on its own: moving fields between the two lists, the
// selection that follows a move, the format and separator defaults, the
// shortcuts and the checks made before any file is written.
#include "export/ui/ExportaTov.h"
#include "tests/export/gravador.h"
#include "tests/ui/leiaute.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class Dialogo : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char nome[] = "dialogo_test";
        static char* argv[] = {nome, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }

    std::vector<std::string> itens(QListWidget* l) {
        std::vector<std::string> r;
        for (int i = 0; i < l->count(); ++i)
            r.push_back(l->item(i)->text().toStdString());
        return r;
    }
    std::string selecionado(QListWidget* l) {
        auto sel = l->selectedItems();
        return sel.isEmpty() ? "" : sel.front()->text().toStdString();
    }
    void escolhe(QListWidget* l, const char* nome) {
        auto achados = l->findItems(QString::fromLatin1(nome), Qt::MatchExactly);
        ASSERT_EQ(achados.size(), 1) << nome;
        l->setCurrentItem(achados.front());
    }

    exptest::Gravador usuario;
    TExportaTov d{nullptr};
    using V = std::vector<std::string>;
};

} // namespace

TEST_F(Dialogo, StartsWithTheFormDefaults) {
    EXPECT_EQ(d.windowTitle(), QString::fromLatin1("Exporta\xe7\xe3o de arquivos"));
    EXPECT_EQ(d.size(), QSize(535, 439));
    EXPECT_TRUE(d.rbTxt->isChecked());
    EXPECT_EQ(d.rbDoc->text(), "Word (.docx)");
    EXPECT_EQ(d.rbExcel->text(), "Excel (.xlsx)");
    EXPECT_EQ(d.edSepC->text(), ",");
    EXPECT_EQ(d.edSepT->text(), "''");
    EXPECT_EQ(d.SpeedButton5->toolTip(), "Adicionar todos");
    EXPECT_EQ(d.b1->text(), " &Exportar");
    EXPECT_EQ(d.barra->geometry(), QRect(8, 413, 520, 20));
}

TEST_F(Dialogo, EveryCaptionReadsWholeInsideItsFrameWithoutCoveringAnother) {
    d.carregaNomes({"NOME", "CIDADE"});
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    const auto falhas = leiaute::confere(&d);
    for (const auto& f : falhas)
        ADD_FAILURE() << f;
    // The separator captions stand above their edits, each on one line.
    EXPECT_LE(d.Label3->geometry().bottom(), d.edSepC->y());
    EXPECT_LE(d.Label4->geometry().bottom(), d.edSepT->y());
    EXPECT_TRUE(leiaute::umaLinha(d.Label3)) << "Separador de campos";
    EXPECT_TRUE(leiaute::umaLinha(d.Label4)) << "Separador de texto";
    EXPECT_FALSE(d.barra->isTextVisible()) << "the bar carries no percentage";
}

TEST_F(Dialogo, AvailableFieldsAreSortedIgnoringCase) {
    d.carregaNomes({"VALOR", "codigo", "Data", "NOME"});
    EXPECT_EQ(itens(d.lbCampos), (V{"codigo", "Data", "NOME", "VALOR"}));
    EXPECT_EQ(d.FCampos, (V{"codigo", "Data", "NOME", "VALOR"}));
    EXPECT_EQ(d.lbExp->count(), 0);
}

TEST_F(Dialogo, AddingSelectsTheItemNowAtThatPlaceOrTheLastOne) {
    d.carregaNomes({"A", "B", "C", "D"});
    escolhe(d.lbCampos, "B");
    d.SpeedButton3->click();
    EXPECT_EQ(itens(d.lbCampos), (V{"A", "C", "D"}));
    EXPECT_EQ(itens(d.lbExp), (V{"B"}));
    EXPECT_EQ(selecionado(d.lbCampos), "C");

    escolhe(d.lbCampos, "D");
    d.SpeedButton3->click();
    EXPECT_EQ(selecionado(d.lbCampos), "C") << "the removed one was the last";
    EXPECT_EQ(itens(d.lbExp), (V{"B", "D"})) << "appended in the order chosen";
}

TEST_F(Dialogo, AddingTheOnlyItemLeavesNothingSelected) {
    d.carregaNomes({"UNICO"});
    escolhe(d.lbCampos, "UNICO");
    d.SpeedButton3Click();
    EXPECT_EQ(d.lbCampos->count(), 0);
    EXPECT_TRUE(d.lbCampos->selectedItems().isEmpty());
    // nothing left to add: a second press changes nothing
    d.SpeedButton3Click();
    EXPECT_EQ(itens(d.lbExp), (V{"UNICO"}));
}

TEST_F(Dialogo, NothingMovesWithoutASelection) {
    d.carregaNomes({"A", "B"});
    d.lbCampos->clearSelection();
    d.lbCampos->setCurrentRow(-1);
    d.SpeedButton3Click();
    d.SpeedButton1Click();
    EXPECT_EQ(itens(d.lbCampos), (V{"A", "B"}));
    EXPECT_EQ(d.lbExp->count(), 0);
}

TEST_F(Dialogo, RemovingPutsTheNameBackInItsAlphabeticalPlace) {
    d.carregaNomes({"A", "B", "C", "D"});
    for (const char* n : {"C", "A", "D"}) {
        escolhe(d.lbCampos, n);
        d.SpeedButton3Click();
    }
    EXPECT_EQ(itens(d.lbExp), (V{"C", "A", "D"}));
    escolhe(d.lbExp, "A");
    d.SpeedButton1->click();
    EXPECT_EQ(itens(d.lbCampos), (V{"A", "B"}));
    EXPECT_EQ(itens(d.lbExp), (V{"C", "D"}));
    EXPECT_EQ(selecionado(d.lbExp), "D");
}

TEST_F(Dialogo, DoubleClickAndEnterMoveTheSelectedField) {
    d.carregaNomes({"A", "B"});
    escolhe(d.lbCampos, "B");
    QTest::keyClick(d.lbCampos, Qt::Key_Return);
    EXPECT_EQ(itens(d.lbExp), (V{"B"}));
    escolhe(d.lbExp, "B");
    QTest::keyClick(d.lbExp, Qt::Key_Enter);
    EXPECT_EQ(itens(d.lbCampos), (V{"A", "B"}));
    EXPECT_EQ(d.lbExp->count(), 0);
}

TEST_F(Dialogo, AddAllAfterSingleAddsGivesEveryFieldOnce) {
    d.carregaNomes({"C", "B", "A"});
    escolhe(d.lbCampos, "B");
    d.SpeedButton3Click();
    d.SpeedButton5->click();
    EXPECT_EQ(itens(d.lbExp), (V{"A", "B", "C"}));
    EXPECT_EQ(d.lbCampos->count(), 0);
    d.SpeedButton4->click();
    EXPECT_EQ(itens(d.lbCampos), (V{"A", "B", "C"}));
    EXPECT_EQ(d.lbExp->count(), 0);
}

TEST_F(Dialogo, ExportingWithoutAFieldOnlyComplains) {
    d.carregaNomes({"A"});
    d.barra->setMaximum(10);
    d.barra->setValue(5);
    d.b1->click();
    EXPECT_EQ(usuario.mensagens, (V{"Informe pelo menos um campo para expota\xe7\xe3o."}));
    EXPECT_TRUE(usuario.salvar.empty());
    EXPECT_EQ(d.barra->value(), 5) << "the bar is not reset";
}

TEST_F(Dialogo, TheSaveDialogGetsTheExtensionOfTheCheckedFormat) {
    d.carregaNomes({"A"});
    d.SpeedButton5Click();
    struct Caso {
        QRadioButton* rb;
        const char* ext;
    } casos[] = {{d.rbTxt, "txt"},
                 {d.rbDoc, "docx"},
                 {d.rbHtml, "html"},
                 {d.rbExcel, "xlsx"},
                 {d.rbXML, "xml"}};
    for (const auto& c : casos) {
        c.rb->setChecked(true);
        usuario.salvar.clear();
        d.barra->setValue(3);
        d.FlatSpeedButton2Click(); // cancelled: no file chosen
        ASSERT_EQ(usuario.salvar.size(), 1u);
        EXPECT_EQ(usuario.salvar[0].defaultExt, c.ext);
        EXPECT_TRUE(usuario.salvar[0].filters.empty());
        EXPECT_EQ(usuario.salvar[0].initialFile, "");
        EXPECT_EQ(d.barra->value(), 0) << "a cancelled save resets the bar";
    }
    EXPECT_TRUE(usuario.mensagens.empty());
}

TEST_F(Dialogo, ShortcutsExportAndClose) {
    d.carregaNomes({"A"});
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));

    d.edSepC->setFocus();
    QTest::keyClick(&d, Qt::Key_F2);
    EXPECT_EQ(usuario.mensagens.size(), 1u) << "F2 exports";

    struct Caso {
        Qt::Key tecla;
        Qt::KeyboardModifiers mod;
    } casos[] = {{Qt::Key_F4, Qt::NoModifier},
                 {Qt::Key_X, Qt::ControlModifier},
                 {Qt::Key_Escape, Qt::NoModifier}};
    for (const auto& c : casos) {
        d.show();
        d.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
        d.edSepT->setFocus();
        d.edSepT->selectAll();
        QTest::keyClick(d.edSepT, c.tecla, c.mod);
        EXPECT_FALSE(d.isVisible()) << "key " << c.tecla;
        EXPECT_EQ(d.edSepT->text(), "''") << "Ctrl+X closes instead of cutting";
    }
}
