#pragma once
// The application object and the pieces every window shares: the title that
// captions the message boxes, the conversions between the bytes of the
// layers below (the program's Latin-1 texts, database text in its character
// set, names) and Qt's strings, and the guard that turns an exception
// no handler caught into the application-wide error box.
#include <QApplication>
#include <QObject>
#include <QString>

#include "rtl/charset.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TFPrincipal;

namespace app {

class TDialogosQt;

/// "Brivane - Replicação de registros Firebird & Interbase".
QString tituloAplicacao();

/// The program's version as the build names it ("1.0.0"), shown in the
/// status bar and by --version.
QString versao();

/// Latin-1 bytes for the layers below; characters outside Latin-1 become '?'.
/// For the program's own texts; database text goes through deTexto/deNome.
inline std::string latin1(const QString& s) {
    return s.toLatin1().toStdString();
}
inline QString deLatin1(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

/// Database text `bytes`, held in the character set `conjunto` (a field's
/// CharSetId), as the characters it holds. NONE, OCTETS and ISO8859_1 cost
/// what deLatin1 costs.
inline QString deTexto(std::string_view bytes, int conjunto) {
    switch (conjunto) {
    case rtl::cs::None:
    case rtl::cs::Octets:
    case rtl::cs::Iso8859_1:
        return deLatin1(bytes);
    case rtl::cs::Utf8:
    case rtl::cs::UnicodeFss:
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    default: {
        const std::string u = rtl::toUtf8(bytes, conjunto);
        return QString::fromUtf8(u.data(), static_cast<qsizetype>(u.size()));
    }
    }
}

/// A table's or column's name as the server gives it (rtl::nameToUtf8).
inline QString deNome(std::string_view nome) {
    const std::string u = rtl::nameToUtf8(nome);
    return QString::fromUtf8(u.data(), static_cast<qsizetype>(u.size()));
}

/// Database text (UTF-8) for a message box, whose texts are the program's
/// Latin-1: Latin-1 when every character fits, else the UTF-8 itself, which
/// the boxes show as the characters it holds.
inline std::string paraCaixa(std::string_view utf8) {
    std::string latin1;
    if (rtl::fromUtf8(utf8, rtl::cs::Iso8859_1, latin1)) return latin1;
    return std::string(utf8);
}

/// Text the user typed, as UTF-8 for the layers below.
inline std::string utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

/// The message of an exception as the user sees it (Latin-1 bytes).
std::string mensagemDe(std::exception_ptr e);

/// Shows the application-wide error box for `e` (full-stop rule applied);
/// a lost connection goes to the handler of defineConexaoPerdida instead,
/// when one is set.
void mostraErroGeral(std::exception_ptr e);

/// `e` says that the connection to the server was lost (EFbError::
/// ConnectionLost): a network failure, the server shut down or killed.
bool conexaoPerdida(std::exception_ptr e);

/// What the program does when a failure shows the connection lost: `f`
/// receives the client library's text of it. The main window sets it for
/// its lifetime (an empty function removes it).
void defineConexaoPerdida(std::function<void(const std::string& detalhe)> f);

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
