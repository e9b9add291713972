// The export as the user runs it: "Exportar" on an open table, the dialog
// filled from the table's fields, the choice, the save and overwrite
// questions, the writer, and the table's fields afterwards.
#include "export/ui/ExpTov.h"
#include "export/ui/ExportaTov.h"
#include "tests/export/gravador.h"
#include "tests/export/tabela.h"
#include "tests/support/tmpfs.h"

#include "rtl/settings.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using exptest::le;
using exptest::Tabela;

namespace {

const char* kProdutos =
    "create table PRODUTOS (C varchar(10), A integer, B varchar(10), QTD_ITEM double precision,"
    " qtdItens numeric(9,2), VALOR numeric(15,2), DIA date, HORA time, OBS blob sub_type 1,"
    " FOTO blob);"
    "insert into PRODUTOS values ('c1', 1, 'b1', 2.5, 3, 10, '2020-01-31', '08:00:00', 'x', null);"
    "insert into PRODUTOS values ('c2', 2, 'b2', 1, 1, 20, null, null, null, null);";

class Exportacao : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char nome[] = "exportacao_test";
        static char* argv[] = {nome, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }

    /// Runs Executar and, inside the modal dialog, `acao`; the dialog is
    /// closed afterwards.
    void executa(const std::function<void(TExportaTov&)>& acao) {
        bool visto = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TExportaTov*>(QApplication::activeModalWidget());
            if (!d) return;
            visto = true;
            acao(*d);
            d->reject();
        });
        componente.Executar();
        EXPECT_TRUE(visto) << "the dialog was shown modally";
    }

    static std::vector<std::string> itens(QListWidget* l) {
        std::vector<std::string> r;
        for (int i = 0; i < l->count(); ++i)
            r.push_back(l->item(i)->text().toLatin1().toStdString());
        return r;
    }
    static void escolhe(TExportaTov& d, std::initializer_list<const char*> nomes) {
        for (const char* n : nomes) {
            auto achados = d.lbCampos->findItems(QString::fromLatin1(n), Qt::MatchExactly);
            ASSERT_EQ(achados.size(), 1) << n;
            d.lbCampos->setCurrentItem(achados.front());
            d.SpeedButton3Click();
        }
    }

    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    exptest::Gravador usuario;
    Tabela t{pasta, kProdutos, "PRODUTOS"};
    TExpTov componente;
    using V = std::vector<std::string>;

    void SetUp() override { componente.DataSet = &t.tabela; }
};

} // namespace

TEST_F(Exportacao, OffersTheVisibleFieldsButNoBlobsAndSetsDisplayFormats) {
    t.tabela.FieldByName("B").SetVisible(false);
    executa([&](TExportaTov& d) {
        EXPECT_EQ(itens(d.lbCampos), (V{"A", "C", "DIA", "HORA", "QTDITENS", "QTD_ITEM", "VALOR"}));
        EXPECT_TRUE(d.lbExp->selectedItems().isEmpty());
    });
    auto formato = [&](const char* n) { return t.tabela.FieldByName(n).DisplayFormat(); };
    EXPECT_EQ(formato("QTD_ITEM"), "###,###,###,##0.####");
    EXPECT_EQ(formato("QTDITENS"), "###,###,###,##0.####");
    EXPECT_EQ(formato("VALOR"), "###,###,###,##0.00");
    EXPECT_EQ(formato("DIA"), "dd/mm/yyyy");
    EXPECT_EQ(formato("HORA"), "hh:nn:ss");
    EXPECT_EQ(formato("A"), "");
}

TEST_F(Exportacao, ChosenFieldsGoOutInDatasetOrderAndTheRestIsVisibleAgain) {
    std::string alvo = pasta.file("produtos.txt");
    usuario.arquivos.push_back(alvo);
    t.tabela.FieldByName("HORA").SetVisible(false);
    executa([&](TExportaTov& d) {
        escolhe(d, {"C", "A", "B"});
        d.b1->click();
        EXPECT_EQ(d.barra->value(), 0);
    });
    EXPECT_EQ(le(alvo), "'c1','1','b1'\r\n'c2','2','b2'\r\n");
    EXPECT_EQ(usuario.mensagens, (V{"Exporta\xe7\xe3o completada."}));
    EXPECT_TRUE(usuario.erros.empty());
    EXPECT_TRUE(t.tabela.FieldByName("VALOR").Visible());
    EXPECT_TRUE(t.tabela.FieldByName("OBS").Visible());
    EXPECT_FALSE(t.tabela.FieldByName("HORA").Visible()) << "hidden before, hidden after";
    EXPECT_FALSE(t.tabela.ControlsDisabled());
}

TEST_F(Exportacao, EveryFormatWritesTheChosenFile) {
    struct Caso {
        const char* formato;
        const char* inicio;
    } casos[] = {{"txt", "'10'"}, {"html", "<html>\r\n"}, {"xml", "<?xml "}};
    for (const auto& c : casos) {
        std::string alvo = pasta.file(std::string("saida.") + c.formato);
        usuario.arquivos.push_back(alvo);
        executa([&](TExportaTov& d) {
            escolhe(d, {"VALOR"});
            (c.formato[0] == 't'   ? d.rbTxt
             : c.formato[0] == 'h' ? d.rbHtml
                                   : d.rbXML)
                ->setChecked(true);
            d.FlatSpeedButton2Click();
            EXPECT_EQ(usuario.salvar.back().defaultExt, c.formato);
        });
        EXPECT_EQ(le(alvo).rfind(c.inicio, 0), 0u) << c.formato;
    }
    EXPECT_EQ(usuario.mensagens.size(), 3u);
}

TEST_F(Exportacao, OverwriteDeclinedLeavesTheFileAndTheBar) {
    std::string alvo = pasta.file("existe.txt");
    exptest::grava(alvo, "intocado");
    usuario.arquivos.push_back(alvo);
    usuario.respostas.push_back(false);
    executa([&](TExportaTov& d) {
        escolhe(d, {"A"});
        d.barra->setMaximum(10);
        d.barra->setValue(4);
        d.FlatSpeedButton2Click();
        EXPECT_EQ(d.barra->value(), 0);
    });
    EXPECT_EQ(usuario.perguntas,
              (V{"Aten\xe7\xe3o|J\xe1 existe um arquivo com este nome. Sobrescrever?"}));
    EXPECT_EQ(le(alvo), "intocado");
    EXPECT_TRUE(usuario.mensagens.empty());
}

TEST_F(Exportacao, OverwriteAcceptedReplacesTheFile) {
    std::string alvo = pasta.file("existe.txt");
    exptest::grava(alvo, "velho");
    usuario.arquivos.push_back(alvo);
    usuario.respostas.push_back(true);
    executa([&](TExportaTov& d) {
        escolhe(d, {"A"});
        d.FlatSpeedButton2Click();
    });
    EXPECT_EQ(le(alvo), "'1'\r\n'2'\r\n");
    EXPECT_EQ(usuario.mensagens, (V{"Exporta\xe7\xe3o completada."}));
}

TEST_F(Exportacao, AFailedWriteShowsTheErrorNoSuccessAndRestoresTheFields) {
    fs::create_directory(pasta.path() / "disco");
    std::string dir = (pasta.path() / "disco").string();
    fbtest::Tmpfs m(dir, false, "size=64k");
    if (!m.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    std::string alvo = dir + "/lista.txt";
    exptest::grava(alvo, "anterior");
    {
        // fill the device to the last byte
        std::ofstream enche(dir + "/enche", std::ios::binary);
        std::string bloco(1024, 'f');
        while (enche.write(bloco.data(), bloco.size()))
            enche.flush();
    }
    struct Caso {
        const char* nome;
        std::string destino;
        bool somenteLeitura;
    } casos[] = {{"full device", alvo, false},
                 {"read-only device", alvo, true},
                 {"missing folder", pasta.file("nada/lista.txt"), true}};
    for (const auto& c : casos) {
        if (c.somenteLeitura) {
            ASSERT_TRUE(m.remount(true));
        }
        usuario.arquivos.push_back(c.destino);
        usuario.respostas.push_back(true);
        usuario.erros.clear();
        executa([&](TExportaTov& d) {
            d.SpeedButton5Click();
            d.FlatSpeedButton2Click();
            EXPECT_EQ(d.barra->value(), 0) << c.nome;
        });
        ASSERT_EQ(usuario.erros.size(), 1u) << c.nome;
        EXPECT_NE(usuario.erros[0].find("lista.txt"), std::string::npos) << usuario.erros[0];
        EXPECT_EQ(usuario.erros[0].back(), '.') << "the error box's full stop";
        EXPECT_TRUE(usuario.mensagens.empty()) << c.nome << ": no success after a failure";
        EXPECT_EQ(le(alvo), "anterior") << c.nome;
        EXPECT_TRUE(t.tabela.FieldByName("OBS").Visible()) << c.nome;
        EXPECT_TRUE(t.tabela.FieldByName("DIA").Visible()) << c.nome;
        EXPECT_FALSE(t.tabela.ControlsDisabled()) << c.nome;
    }
}

TEST_F(Exportacao, NoExportableFieldsMeansNothingToExport) {
    for (const char* n : {"A", "B", "C", "QTD_ITEM", "QTDITENS", "VALOR", "DIA", "HORA"})
        t.tabela.FieldByName(n).SetVisible(false);
    executa([&](TExportaTov& d) {
        EXPECT_EQ(d.lbCampos->count(), 0);
        d.SpeedButton5Click();
        d.FlatSpeedButton2Click();
    });
    EXPECT_EQ(usuario.mensagens, (V{"Informe pelo menos um campo para expota\xe7\xe3o."}));
    EXPECT_TRUE(usuario.salvar.empty());
}

TEST_F(Exportacao, FieldNamesShowAsTheirCharactersAndStillFindTheirFields) {
    // Names are UTF-8 in every database, also in one of set NONE.
    fbtest::createDatabase(pasta.file("nomes.fdb"),
                           "create table N (\"PRE\xc3\x87O\" integer, \"A\xc3\x87\xc3\x83O\" "
                           "varchar(5)); insert into N values (7, 'x');");
    Tabela n(pasta, "", "N", "nomes.fdb", false);
    componente.DataSet = &n.tabela;
    std::string alvo = pasta.file("nomes.txt");
    usuario.arquivos.push_back(alvo);
    executa([&](TExportaTov& d) {
        ASSERT_EQ(d.lbCampos->count(), 2);
        EXPECT_EQ(d.lbCampos->item(0)->text(), QString::fromUtf8("A\xc3\x87\xc3\x83O"));
        d.lbCampos->setCurrentRow(1);
        d.SpeedButton3Click();
        EXPECT_EQ(d.lbExp->item(0)->text(), QString::fromUtf8("PRE\xc3\x87O"));
        d.b1->click();
    });
    EXPECT_EQ(le(alvo), "'7'\r\n");
}
