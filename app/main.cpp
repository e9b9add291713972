// Brivane: the entry point. Sets up the application object and its title,
// the message boxes, the regional settings, and runs the main window.
#include "app/Aplicacao.h"
#include "app/DialogosQt.h"
#include "app/UPrincipal.h"
#include "rtl/dialogs.h"

#include <memory>

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
    return a.exec();
}
