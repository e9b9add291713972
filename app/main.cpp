// Brivane: the entry point. Answers --help and --version without a window;
// otherwise sets up the application object and its title, the message
// boxes, the regional settings, and runs the main window, with the database
// file named on the command line in "Arquivo de trabalho".
#include "app/Aplicacao.h"
#include "app/DialogosQt.h"
#include "app/LinhaDeComando.h"
#include "app/UPrincipal.h"
#include "rtl/dialogs.h"

#include <memory>

int main(int argc, char** argv) {
    if (const auto fim = app::respondeSemJanela(argc, argv)) return *fim;

    app::TAplicacao a(argc, argv);
    app::TDialogosQt dialogos;
    const std::unique_ptr<TFPrincipal> principal = app::criaPrincipal(dialogos);
    if (!principal) return 1;
    app::usaArgumentos(*principal, QCoreApplication::arguments().mid(1));
    principal->show();
    return a.exec();
}
