#pragma once
// What the window tests share: the application object on the offscreen
// platform, a user who answers the message boxes and records them, and a
// way to act inside a modal window while it runs.
#include "app/Aplicacao.h"
#include "rtl/dialogs.h"
#include "rtl/settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace uitest {

/// The application object, made once per test program.
inline QApplication& aplicacao() {
    static int argc = 1;
    static char nome[] = "ui_test";
    static char* argv[] = {nome, nullptr};
    if (!QApplication::instance()) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        new app::TAplicacao(argc, argv);
        app::preparaAmbiente();
    }
    return *qApp;
}

/// The user at the boxes: records every box and answers from its settings.
class Usuario : public rtl::UserDialogs {
public:
    Usuario() : anterior_(rtl::setDialogs(this)) {}
    ~Usuario() override { rtl::setDialogs(anterior_); }

    void message(const std::string& t) override { mensagens.push_back(t); }
    bool question(const std::string& c, const std::string& t) override {
        perguntas.push_back(c + "|" + t);
        return responde;
    }
    void errorBox(const std::string& t) override { erros.push_back(t); }
    bool openFile(const FileDialog& d, std::string& file) override {
        dialogosArquivo.push_back(d);
        if (!arquivo) return false;
        file = *arquivo;
        return true;
    }
    bool saveFile(const FileDialog& d, std::string& file) override { return openFile(d, file); }

    /// Every box shown so far, in order, as Latin-1 text.
    std::vector<std::string> mensagens, perguntas, erros;
    std::vector<FileDialog> dialogosArquivo;
    bool responde = false;
    std::optional<std::string> arquivo; ///< what the file dialog returns; none = cancel

private:
    rtl::UserDialogs* anterior_;
};

/// Latin-1 bytes of a text written in this (UTF-8) source.
inline std::string l1(const char* utf8) {
    return QString::fromUtf8(utf8).toLatin1().toStdString();
}

/// Lets events run until `cond` holds or `ms` milliseconds have passed;
/// returns `cond()`.
inline bool espera(const std::function<bool()>& cond, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return cond();
}

/// Runs `acao` on the modal window that the code about to run will show,
/// once it is up. Closes any modal window still open after `acao`, so a
/// test that misses never hangs.
inline void quandoModal(std::function<void(QWidget*)> acao) {
    auto* t = new QTimer(qApp);
    auto inicio = std::make_shared<QElapsedTimer>();
    inicio->start();
    QObject::connect(t, &QTimer::timeout, qApp, [t, acao, inicio] {
        QWidget* m = QApplication::activeModalWidget();
        if (!m) {
            if (inicio->elapsed() > 5000) t->deleteLater();
            return;
        }
        t->stop();
        t->deleteLater();
        acao(m);
        if (QApplication::activeModalWidget() == m && m->isVisible()) m->close();
    });
    t->start(5);
}

} // namespace uitest
