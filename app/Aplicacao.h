#pragma once
// The application object and the pieces every window shares: the title that
// captions the message boxes, the conversions between the Latin-1 bytes of
// the layers below and Qt's strings, and the guard that turns an exception
// no handler caught into the application-wide error box.
#include <QApplication>
#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <string>

class TFPrincipal;

namespace app {

class TDialogosQt;

/// "Brivane - Replicação de registros Firebird & Interbase".
QString tituloAplicacao();

/// The program's version as the build names it ("1.0.0"), shown in the
/// status bar and by --version.
QString versao();

/// Latin-1 bytes for the layers below; characters outside Latin-1 become '?'.
inline std::string latin1(const QString& s) {
    return s.toLatin1().toStdString();
}
inline QString deLatin1(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

/// The message of an exception as the user sees it (Latin-1 bytes).
std::string mensagemDe(std::exception_ptr e);

/// Shows the application-wide error box for `e` (full-stop rule applied).
void mostraErroGeral(std::exception_ptr e);

/// Runs `handler`; an exception escaping it ends it and reaches the
/// application-wide error box. Never throws.
void executaProtegido(const std::function<void()>& handler);

/// Connects `signal` of `sender` to `handler`, run through executaProtegido.
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection liga(const Sender* sender, Signal signal, QObject* context,
                             Handler handler) {
    return QObject::connect(sender, signal, context,
                            [handler]() { executaProtegido(std::function<void()>(handler)); });
}

/// Process-wide settings the windows rely on: the regional settings read
/// from the user's locale, and the hourglass shown while the dataset works.
void preparaAmbiente();

/// The start every run of the main window shares: installs `dialogos` as the
/// boxes, prepares the environment and makes the main window. Null, after
/// the error box, when it cannot be made (no client library).
std::unique_ptr<TFPrincipal> criaPrincipal(TDialogosQt& dialogos);

/// The application object. Sets the title and installs the error box as the
/// last stop for exceptions thrown while an event is delivered.
class TAplicacao : public QApplication {
public:
    TAplicacao(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace app
