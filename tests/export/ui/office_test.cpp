// The Word and Excel writers run from the export dialog: what the user is
// told after a server's own message, and the name the file gets.
#include "automation/Servers.h"
#include "export/ui/ExpTov.h"
#include "export/ui/ExportaTov.h"
#include "tests/automation/OfficeFiles.h"
#include "tests/export/gravador.h"
#include "tests/export/tabela.h"

#include "rtl/settings.h"

#include <QApplication>
#include <QListWidget>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using exptest::Tabela;
using V = std::vector<std::string>;

namespace {

class DialogoOffice : public ::testing::Test {
protected:
    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    exptest::Gravador usuario;

    void SetUp() override { automation::resetServers(); }
    void TearDown() override { automation::resetServers(); }

    static void SetUpTestSuite() {
        static int argc = 1;
        static char nome[] = "office_test";
        static char* argv[] = {nome, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }

    /// "Exportar" with field A chosen and the given format checked.
    void exportaPeloDialogo(Tabela& t, bool word, const std::string& alvo) {
        TExpTov componente;
        componente.DataSet = &t.tabela;
        usuario.arquivos.push_back(alvo);
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TExportaTov*>(QApplication::activeModalWidget());
            if (!d) return;
            d->lbCampos->setCurrentRow(0);
            d->SpeedButton3Click();
            (word ? d->rbDoc : d->rbExcel)->setChecked(true);
            d->FlatSpeedButton2Click();
            d->reject();
        });
        componente.Executar();
    }
};

} // namespace

TEST_F(DialogoOffice, AfterTheServersOwnMessageNoCompletionIsAnnounced) {
    Tabela t(pasta, "create table T (A integer); insert into T values (1);", "T");
    automation::setServerAvailable("Word.Application", false);
    exportaPeloDialogo(t, true, pasta.file("t.doc"));
    EXPECT_EQ(usuario.mensagens, V{"N\xe3o foi poss\xedvel executar o MS-WORD"});

    usuario.mensagens.clear();
    exportaPeloDialogo(t, false, pasta.file("t.xlsx"));
    EXPECT_EQ(usuario.mensagens, V{"Exporta\xe7\xe3o completada."});
    EXPECT_EQ(officefiles::readSheet(pasta.file("t.xlsx"))["A2"].value, "1");
}

TEST_F(DialogoOffice, TheFileWrittenCarriesTheExtensionOfItsContent) {
    Tabela t(pasta, "create table T (A integer); insert into T values (1);", "T");
    exptest::grava(pasta.file("r.doc"), "antigo");
    exportaPeloDialogo(t, true, pasta.file("r.doc"));
    EXPECT_EQ(officefiles::readWord(pasta.file("r.docx")).rows.at(1).at(0).text, "1");
    EXPECT_EQ(exptest::le(pasta.file("r.doc")), "antigo");
    EXPECT_TRUE(usuario.perguntas.empty()) << "only r.doc existed";

    exportaPeloDialogo(t, false, pasta.file("p.XLS"));
    EXPECT_EQ(officefiles::readSheet(pasta.file("p.xlsx"))["A2"].value, "1");
    EXPECT_FALSE(fs::exists(pasta.file("p.XLS")));

    // The overwrite question is about the file that would be replaced.
    exportaPeloDialogo(t, true, pasta.file("r.doc"));
    EXPECT_EQ(usuario.perguntas,
              V{"Aten\xe7\xe3o|J\xe1 existe um arquivo com este nome. Sobrescrever?"});
}
