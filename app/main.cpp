// Brivane: the entry point. Sets up the application object and its title,
// the message boxes, the regional settings, and runs the main window.
#include "app/Aplicacao.h"
#include "app/Captura.h"
#include "app/DialogosQt.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "rtl/dialogs.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

/// Boxes that only print, for the unattended run below: nobody is there to
/// press OK.
class TDialogosMudos : public rtl::UserDialogs {
public:
    void message(const std::string& t) override {
        std::fprintf(stderr, "[mensagem] %s\n", t.c_str());
    }
    bool question(const std::string&, const std::string& t) override {
        std::fprintf(stderr, "[pergunta] %s\n", t.c_str());
        return false;
    }
    void errorBox(const std::string& t) override {
        std::fprintf(stderr, "[erro] %s\n", t.c_str());
        falhou = true;
    }
    bool openFile(const FileDialog&, std::string&) override { return false; }
    bool saveFile(const FileDialog&, std::string&) override { return false; }
    bool falhou = false;
};

/// Unattended start for demonstrations and the screenshot script:
/// BRIVANE_AUTOCONNECT="file:table" connects with the default user and
/// password and opens the table; BRIVANE_SCREENSHOT=path then saves a
/// picture there and ends the program. BRIVANE_JANELA names the window to
/// picture (app::janelasFotografaveis(); the main window by default).
void automatico(TFPrincipal& w, app::TDialogosQt& normais) {
    const QString alvo = qEnvironmentVariable("BRIVANE_AUTOCONNECT");
    const QString foto = qEnvironmentVariable("BRIVANE_SCREENSHOT");
    const QString janela = qEnvironmentVariable("BRIVANE_JANELA");
    if (alvo.isEmpty()) return;
    QTimer::singleShot(300, &w, [&w, &normais, alvo, foto, janela] {
        static TDialogosMudos mudos;
        rtl::setDialogs(&mudos);
        const qsizetype dois = alvo.lastIndexOf(QLatin1Char(':'));
        w.ed1->setText(dois > 0 ? alvo.left(dois) : alvo);
        w.SpeedButton6Click();
        if (dois > 0 && w.conexao.Connected()) {
            QElapsedTimer t;
            t.start();
            app::executaProtegido([&] { w.AbreTabela(app::latin1(alvo.mid(dois + 1))); });
            QCoreApplication::processEvents();
            w.dbGrid->repaint();
            std::fprintf(stderr, "Tabela aberta e mostrada em %lld ms (%d linhas lidas)\n",
                         static_cast<long long>(t.elapsed()), w.tabela.RecordCount());
        }
        // Message boxes are pictured as the user sees them; any other box
        // would only stop an unattended run.
        const bool caixas = janela == QLatin1String("arquivo") ||
                            janela == QLatin1String("mensagem") ||
                            janela == QLatin1String("pergunta") || janela == QLatin1String("erro");
        rtl::setDialogs(&normais);
        if (foto.isEmpty()) return;
        QTimer::singleShot(300, &w, [&w, &normais, foto, janela, caixas] {
            rtl::setDialogs(caixas ? static_cast<rtl::UserDialogs*>(&normais) : &mudos);
            const app::TFoto r = app::fotografa(w, janela, foto);
            rtl::setDialogs(&normais);
            if (r.salva)
                std::fprintf(stderr, "Imagem de \"%s\" salva em %s\n", qPrintable(r.titulo),
                             qPrintable(foto));
            else
                std::fprintf(stderr, "Falha ao salvar %s: %s\n", qPrintable(foto),
                             qPrintable(r.erro));
            QCoreApplication::exit(r.salva && !mudos.falhou ? 0 : 1);
        });
    });
}

} // namespace

int main(int argc, char** argv) {
    app::TAplicacao a(argc, argv);
    app::TDialogosQt dialogos;
    rtl::setDialogs(&dialogos);
    app::preparaAmbiente();

    std::unique_ptr<TFPrincipal> principal;
    try {
        principal = std::make_unique<TFPrincipal>();
    } catch (...) {
        // Without the client library there is no program to run.
        app::mostraErroGeral(std::current_exception());
        return 1;
    }
    principal->show();
    automatico(*principal, dialogos);
    return a.exec();
}
