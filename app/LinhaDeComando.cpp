#include "app/LinhaDeComando.h"

#include "app/Aplicacao.h"
#include "app/UPrincipal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QTranslator>

#include <cstdio>
#include <cstring>
#include <vector>

namespace app {

namespace {

/// The few words of Qt's own help layout, in Portuguese even where Qt's
/// translations are not installed.
class TPalavrasDaAjuda : public QTranslator {
public:
    QString translate(const char* contexto, const char* texto, const char*, int) const override {
        if (std::strcmp(contexto, "QCommandLineParser") != 0) return {};
        static const struct {
            const char* en;
            const char* pt;
        } palavras[] = {{"Usage: %1", "Uso: %1"},
                        {"[options]", "[opções]"},
                        {"Options:", "Opções:"},
                        {"Arguments:", "Argumentos:"},
                        {"Unknown option '%1'.", "Opção desconhecida: '%1'."},
                        {"Unknown options: %1.", "Opções desconhecidas: %1."}};
        for (const auto& p : palavras)
            if (std::strcmp(texto, p.en) == 0) return QString::fromUtf8(p.pt);
        return {};
    }
    bool isEmpty() const override { return false; }
};

struct TOpcoes {
    QCommandLineOption ajuda{{QStringLiteral("h"), QStringLiteral("help")},
                             QStringLiteral("Mostra esta ajuda e sai.")};
    QCommandLineOption versao{{QStringLiteral("v"), QStringLiteral("version")},
                              QStringLiteral("Mostra a versão do programa e sai.")};
};

void define(QCommandLineParser& p, const TOpcoes& o) {
    p.setApplicationDescription(tituloAplicacao());
    p.addOption(o.ajuda);
    p.addOption(o.versao);
    p.addPositionalArgument(
        QStringLiteral("arquivo"),
        QStringLiteral("Base de dados Firebird (.fdb) ou InterBase (.gdb), posta em \"Arquivo "
                       "de trabalho\"; a conexão continua pelo botão \"Conectar banco\"."),
        QStringLiteral("[arquivo]"));
}

/// Options the window system takes for itself when the application object
/// is made ("-platform offscreen", "-style fusion"...); they are not ours
/// to refuse.
bool opcaoDoQt(const QString& nome) {
    static const char* const nomes[] = {"platform",        "platformpluginpath",
                                        "platformtheme",   "plugin",
                                        "qwindowgeometry", "qwindowicon",
                                        "qwindowtitle",    "reverse",
                                        "session",         "display",
                                        "style",           "stylesheet",
                                        "widgetcount",     "nograb",
                                        "dograb",          "sync",
                                        "geometry"};
    for (const char* n : nomes)
        if (nome == QLatin1String(n)) return true;
    return false;
}

} // namespace

std::optional<int> respondeSemJanela(int argc, char** argv) {
    // The usual start, with no option and at most one file, touches nothing
    // here: the window starts exactly as without a command line.
    int arquivos = 0;
    bool opcoes = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            arquivos += argc - i - 1;
            break;
        }
        if (argv[i][0] == '-' && argv[i][1] != '\0')
            opcoes = true;
        else
            ++arquivos;
    }
    if (!opcoes && arquivos <= 1) return std::nullopt;

    // The help's usage line names the program as typed at a prompt, not by
    // the path it was started from.
    std::vector<char*> args(argv, argv + argc);
    static char nome[] = "brivane";
    args[0] = nome;
    QCoreApplication texto(argc, args.data());
    QCoreApplication::setApplicationName(QStringLiteral("brivane"));
    QCoreApplication::setApplicationVersion(versao());
    TPalavrasDaAjuda palavras;
    QCoreApplication::installTranslator(&palavras);
    QCommandLineParser p;
    const TOpcoes o;
    define(p, o);
    // "-platform offscreen" reads as one option named "platform".
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const bool entendido = p.parse(QCoreApplication::arguments());
    if (p.isSet(o.ajuda)) {
        std::fputs(p.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (p.isSet(o.versao)) {
        std::printf("brivane %s\n", versao().toLocal8Bit().constData());
        return 0;
    }
    QString erro;
    if (!entendido) {
        bool soDoQt = true;
        for (const QString& n : p.unknownOptionNames())
            soDoQt = soDoQt && opcaoDoQt(n);
        if (!soDoQt || p.unknownOptionNames().isEmpty()) erro = p.errorText();
    } else if (p.positionalArguments().size() > 1) {
        erro = QStringLiteral("informe no máximo um arquivo de trabalho.");
    }
    if (erro.isEmpty()) return std::nullopt;
    std::fprintf(stderr, "brivane: %s\nUse \"brivane --help\" para ver as opções.\n",
                 erro.toLocal8Bit().constData());
    return 2;
}

void usaArgumentos(TFPrincipal& w, const QStringList& argumentos) {
    QCommandLineParser p;
    const TOpcoes o;
    define(p, o);
    p.parse(QStringList(QStringLiteral("brivane")) + argumentos);
    const QStringList arquivos = p.positionalArguments();
    if (arquivos.isEmpty()) return;
    const QFileInfo local(arquivos.first());
    w.ed1->setText(local.exists() ? local.absoluteFilePath() : arquivos.first());
}

} // namespace app
