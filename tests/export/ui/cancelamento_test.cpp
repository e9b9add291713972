// A long export stopped by the user from the dialog: a table of 200,000
// rows, "Cancelar" or Esc pressed while it runs. The previous file stays as
// it was, nothing else is left in its folder, and the user is told that the
// export was cancelled, not that it completed.
#include "automation/Servers.h"
#include "export/ui/ExpTov.h"
#include "export/ui/ExportaTov.h"
#include "tests/export/gravador.h"
#include "tests/export/tabela.h"

#include "rtl/settings.h"

#include <QApplication>
#include <QGroupBox>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using V = std::vector<std::string>;

namespace {

constexpr int kLinhas = 200000;

class Cancelamento : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char nome[] = "cancelamento_test";
        static char* argv[] = {nome, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
        // One database for the suite; without forced writes it fills in a
        // moment instead of many.
        banco_ = std::make_unique<fbtest::TempFolder>();
        const std::string caminho = banco_->file("grande.fdb");
        fbtest::createDatabase(caminho, "create table GRANDE (ID integer, NOME varchar(30));");
        const std::string gfix = "gfix -write async -user SYSDBA -password " +
                                 std::string(fbtest::kPassword) + " '" + caminho + "'";
        ASSERT_EQ(std::system(gfix.c_str()), 0);
        fbtest::isql(caminho, "set term ^;"
                              "execute block as declare i integer = 0; begin"
                              "  while (i < " +
                                  std::to_string(kLinhas) +
                                  ") do begin"
                                  "    insert into GRANDE values (:i, 'nome ' || :i);"
                                  "    i = i + 1; end end^"
                                  "set term ;^");
    }
    static void TearDownTestSuite() { banco_.reset(); }

    void SetUp() override {
        automation::resetServers();
        t = std::make_unique<exptest::Tabela>(*banco_, "", "GRANDE", "grande.fdb", false);
        componente.DataSet = &t->tabela;
        fs::create_directory(pasta.path() / "saida");
        exptest::grava(antigo, "o arquivo de ontem");
    }
    void TearDown() override { automation::resetServers(); }

    /// Runs an export of every field in `formato` over the old file and,
    /// once `momento` says the export is at the point to stop it, `para`.
    void exportaEPara(QRadioButton* (*formato)(TExportaTov&),
                      const std::function<bool(TExportaTov&)>& momento,
                      const std::function<void(TExportaTov&)>& para) {
        usuario.arquivos.push_back(antigo);
        usuario.respostas.push_back(true);
        bool visto = false, parou = false, barraAndou = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TExportaTov*>(QApplication::activeModalWidget());
            if (!d) return;
            visto = true;
            d->SpeedButton5Click();
            formato(*d)->setChecked(true);
            QTimer vigia;
            vigia.setInterval(5);
            QObject::connect(&vigia, &QTimer::timeout, [&] {
                if (d->barra->maximum() == 0 || d->barra->value() > 0) barraAndou = true;
                if (!parou && d->exportando() && momento(*d)) {
                    parou = true;
                    para(*d);
                }
            });
            vigia.start();
            d->b1->click();
            vigia.stop();
            EXPECT_TRUE(d->isVisible()) << "the dialog stays open";
            EXPECT_FALSE(d->exportando());
            EXPECT_TRUE(d->b1->isEnabled());
            EXPECT_TRUE(d->GroupBox1->isEnabled());
            EXPECT_EQ(d->barra->value(), 0);
            d->reject();
            EXPECT_FALSE(d->isVisible()) << "closes once the export has stopped";
        });
        componente.Executar();
        ASSERT_TRUE(visto) << "the dialog was shown modally";
        EXPECT_TRUE(parou) << "the export was still running when stopped";
        EXPECT_TRUE(barraAndou) << "the bar showed the export going on";
        EXPECT_EQ(usuario.mensagens, V{"Exporta\xe7\xe3o cancelada."});
        EXPECT_TRUE(usuario.erros.empty());
        EXPECT_EQ(exptest::le(antigo), "o arquivo de ontem");
        EXPECT_EQ(
            std::distance(fs::directory_iterator(pasta.path() / "saida"), fs::directory_iterator()),
            1)
            << "no temporary file left";
        EXPECT_FALSE(t->tabela.ControlsDisabled());
        EXPECT_TRUE(t->tabela.FieldByName("NOME").Visible());
    }

    static inline std::unique_ptr<fbtest::TempFolder> banco_;
    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    exptest::Gravador usuario;
    std::unique_ptr<exptest::Tabela> t;
    TExpTov componente;
    const std::string antigo = pasta.file("saida/anterior.dat");
};

} // namespace

TEST_F(Cancelamento, EscStopsATextExportWhileTheRowsAreWritten) {
    // The total is known before the first row (the server counted them).
    exportaEPara(
        [](TExportaTov& d) { return d.rbTxt; },
        [](TExportaTov& d) { return d.barra->maximum() == kLinhas && d.barra->value() > 1000; },
        [](TExportaTov& d) { QTest::keyClick(&d, Qt::Key_Escape); });
}

TEST_F(Cancelamento, CancelarStopsAnExcelExportWhileTheRowsGoToTheServer) {
    exportaEPara(
        [](TExportaTov& d) { return d.rbExcel; },
        [](TExportaTov& d) { return d.barra->maximum() == kLinhas && d.barra->value() > 1000; },
        [](TExportaTov& d) { QTest::mouseClick(d.SpeedButton2, Qt::LeftButton); });
}
