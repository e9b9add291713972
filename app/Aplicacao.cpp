#include "app/Aplicacao.h"

#include "app/DialogosQt.h"
#include "app/UPrincipal.h"

#include "db/Fb.h"
#include "db/FbCustomDataSet.h"
#include "rtl/dialogs.h"
#include "rtl/settings.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace app {

QString tituloAplicacao() {
    return QStringLiteral("Brivane - Replicação de registros Firebird & Interbase");
}

QString versao() {
    return QStringLiteral(BRIVANE_VERSAO);
}

std::string mensagemDe(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return x.what();
    } catch (...) {
        return "Erro desconhecido";
    }
}

namespace {

std::function<void(const std::string&)>& aoPerderConexao() {
    static std::function<void(const std::string&)> f;
    return f;
}

} // namespace

bool conexaoPerdida(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const EFbError& x) {
        return x.ConnectionLost();
    } catch (...) {
        return false;
    }
}

void defineConexaoPerdida(std::function<void(const std::string& detalhe)> f) {
    aoPerderConexao() = std::move(f);
}

void mostraErroGeral(std::exception_ptr e) {
    if (aoPerderConexao() && conexaoPerdida(e)) {
        try {
            aoPerderConexao()(mensagemDe(e));
        } catch (...) {
            // Telling the user must not take the program down.
        }
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
        return;
    }
    const std::string texto = rtl::errorBoxText(mensagemDe(e));
    try {
        rtl::dialogs().errorBox(texto);
    } catch (...) {
        // A failing error box must not take the program down with it.
    }
    // A handler that ended early may have left the hourglass behind.
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

void executaProtegido(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        mostraErroGeral(std::current_exception());
    }
}

void preparaAmbiente() {
    rtl::setFormatSettings(rtl::localeSettings(""));
    TFbCustomDataSet::SetBusyHook([](bool ocupado) {
        if (ocupado)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::restoreOverrideCursor();
    });
}

std::unique_ptr<TFPrincipal> criaPrincipal(TDialogosQt& dialogos) {
    rtl::setDialogs(&dialogos);
    preparaAmbiente();
    try {
        return std::make_unique<TFPrincipal>();
    } catch (...) {
        // Without the client library there is no program to run.
        mostraErroGeral(std::current_exception());
        return nullptr;
    }
}

TAplicacao::TAplicacao(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("brivane"));
    setApplicationVersion(versao());
    // Qt's own texts (file dialogs, standard buttons) in Portuguese too,
    // when the translations are installed.
    auto* traducao = new QTranslator(this);
    if (traducao->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                       QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(traducao);
    else
        delete traducao;
}

bool TAplicacao::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        mostraErroGeral(std::current_exception());
        return true;
    }
}

} // namespace app
