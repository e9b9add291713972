// brivane-screenshot: the program's main window started unattended for
// demonstrations and for the pictures of the documentation. It connects with
// the default user and password, opens a table and, when asked, saves a
// picture of one window and ends.
//   brivane-screenshot DATABASE[:TABLE] [PICTURE.png [WINDOW]]
// WINDOW is one of captura::janelasFotografaveis() (the main window by
// default). Without a picture the window stays up for a person to use.
#include "app/Aplicacao.h"
#include "app/DialogosQt.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "rtl/dialogs.h"
#include "tools/screenshot/Captura.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

/// Boxes that only print: nobody is there to press OK.
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

/// Connects to `alvo` ("file:table" or just "file") and opens the table;
/// then, with a `foto` path, saves a picture of `janela` and ends the event
/// loop with 0 when the picture was saved without an error box on the way.
void automatico(TFPrincipal& w, app::TDialogosQt& normais, const QString& alvo, const QString& foto,
                const QString& janela) {
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
            const captura::TFoto r = captura::fotografa(w, janela, foto);
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
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.size() > 3) {
        std::fprintf(stderr,
                     "uso: brivane-screenshot BANCO[:TABELA] [IMAGEM.png [JANELA]]\n"
                     "JANELA: %s\n",
                     qPrintable(captura::janelasFotografaveis().join(QLatin1Char(' '))));
        return 2;
    }
    app::TDialogosQt dialogos;
    const std::unique_ptr<TFPrincipal> principal = app::criaPrincipal(dialogos);
    if (!principal) return 1;
    principal->show();
    automatico(*principal, dialogos, args.value(0), args.value(1), args.value(2));
    return a.exec();
}
