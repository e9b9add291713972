// The command line: --help and --version answer on the terminal where there
// is no display at all, a wrong command line is refused there too, and a
// file named on the command line waits in "Arquivo de trabalho" for the
// user to connect. The version shown is the one the build gives.
#include "app/Controles.h"
#include "app/LinhaDeComando.h"
#include "app/UPrincipal.h"
#include "tests/support/fbtest.h"
#include "tests/ui/apoio.h"

#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(LinhaDeComando, HelpVersionAndMistakesAnswerWithoutADisplay) {
    uitest::aplicacao();
    QProcessEnvironment semTela = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        semTela.remove(QString::fromLatin1(v));
    struct Caso {
        QStringList args;
        int saida;
        const char* noTexto; // in stdout when it ends with 0, else in stderr
    } casos[] = {
        {{"--version"}, 0, "brivane " BRIVANE_VERSAO_ESPERADA "\n"},
        {{"-v"}, 0, "brivane " BRIVANE_VERSAO_ESPERADA "\n"},
        {{"-platform", "offscreen", "--version"}, 0, "brivane " BRIVANE_VERSAO_ESPERADA "\n"},
        {{"--help"}, 0, "Uso: brivane [opções] [arquivo]"},
        {{"-h"}, 0, "Mostra a versão do programa e sai."},
        {{"--help"}, 0, "\"Arquivo de trabalho\""},
        {{"--nada"}, 2, "brivane --help"},
        {{"um.fdb", "outro.fdb"}, 2, "no máximo um arquivo"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        QProcess p;
        p.setProcessEnvironment(semTela);
        p.start(QStringLiteral(BRIVANE_PROGRAMA), c.args);
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), c.saida);
        const QString texto =
            QString::fromUtf8(c.saida == 0 ? p.readAllStandardOutput() : p.readAllStandardError());
        EXPECT_TRUE(texto.contains(QString::fromUtf8(c.noTexto))) << texto.toStdString();
    }
}

TEST(LinhaDeComando, TheFileWaitsInArquivoDeTrabalhoAndTheUserStillConnects) {
    uitest::aplicacao();
    uitest::Usuario usuario;
    fbtest::TempFolder pasta;
    const std::string banco = pasta.file("linha.fdb");
    fbtest::createDatabase(banco, "CREATE TABLE T (X INTEGER);");
    const QString absoluto = QString::fromLatin1(banco);
    // A name relative to the folder the program was started in.
    const QString antes = QDir::currentPath();
    QDir::setCurrent(QString::fromLatin1(pasta.path().string()));
    struct Caso {
        QStringList args;
        QString ed1;
    } casos[] = {
        {{}, {}},
        {{QStringLiteral("linha.fdb")}, absoluto},
        {{absoluto}, absoluto},
        {{QStringLiteral("--"), QStringLiteral("linha.fdb")}, absoluto},
        {{QStringLiteral("servidor:/dados/base.fdb")}, QStringLiteral("servidor:/dados/base.fdb")},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        TFPrincipal w;
        app::usaArgumentos(w, c.args);
        w.show();
        EXPECT_EQ(w.ed1->text(), c.ed1);
        EXPECT_EQ(w.ed2->text(), QStringLiteral("SYSDBA"));
        EXPECT_EQ(w.ed3->text(), QString::fromLatin1(fbtest::kPassword));
        EXPECT_EQ(w.painel(1), QStringLiteral("  Banco: DESCONECTADO"));
        EXPECT_EQ(w.painel(2), QStringLiteral("Versão " BRIVANE_VERSAO_ESPERADA));
        EXPECT_FALSE(w.conexao.Connected());
        EXPECT_TRUE(usuario.mensagens.empty());
        if (c.ed1 == absoluto) {
            QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
            EXPECT_EQ(usuario.mensagens, std::vector<std::string>{"Conectado!!!"});
            EXPECT_EQ(w.conexao.DatabaseName(), banco);
            usuario.mensagens.clear();
        }
    }
    QDir::setCurrent(antes);
}

} // namespace
