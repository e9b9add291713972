// What every window relies on: an exception no handler catches reaches the
// error box with the full-stop rule and the program goes on; names offered
// for a choice are sorted ignoring case; message texts keep their breaks.
#include "app/Aplicacao.h"
#include "app/Controles.h"
#include "app/DialogosQt.h"
#include "app/Nomes.h"
#include "tests/ui/apoio.h"

#include <QEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using V = std::vector<std::string>;

/// What a failing click handler throws, and how often it ran.
struct Falha {
    std::string mensagem;
    int vezes = 0;
};

TEST(ErroGeral, AnUncaughtErrorInAButtonHandlerReachesTheErrorBoxWithTheFullStopRule) {
    uitest::aplicacao();
    uitest::Usuario usuario;
    struct Caso {
        std::string mensagem;
        std::string mostrado;
    };
    const Caso casos[] = {
        {"Table unknown", "Table unknown."},
        {"Pronto.", "Pronto."},
        {"", ""},
        {"Fim!", "Fim!"},          // '!' comes before '.'
        {"linha 12", "linha 12."}, // digits come after '.'
        {"valor \xe9", "valor \xe9."},
    };
    app::TSpeedButton b;
    Falha f;
    app::liga(&b, &QAbstractButton::clicked, &b, [&f] {
        ++f.vezes;
        throw std::runtime_error(f.mensagem);
    });
    for (const auto& c : casos) {
        f.mensagem = c.mensagem;
        QTest::mouseClick(&b, Qt::LeftButton);
    }
    ASSERT_EQ(usuario.erros.size(), std::size(casos));
    for (size_t i = 0; i < std::size(casos); ++i)
        EXPECT_EQ(usuario.erros[i], casos[i].mostrado) << casos[i].mensagem;
    EXPECT_EQ(f.vezes, static_cast<int>(std::size(casos))) << "the program went on each time";
}

/// An object whose own event handling throws, below any button handler.
class Explosivo : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("falhou no evento");
        return QObject::event(e);
    }
};

TEST(ErroGeral, AnErrorThrownWhileAnEventIsDeliveredAlsoReachesTheErrorBox) {
    uitest::aplicacao();
    uitest::Usuario usuario;
    Explosivo x;
    QCoreApplication::postEvent(&x, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&x, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    EXPECT_EQ(usuario.erros, (V{"falhou no evento.", "falhou no evento."}));
}

TEST(ErroGeral, TheHourglassLeftByAFailedHandlerIsTakenAway) {
    uitest::aplicacao();
    uitest::Usuario usuario;
    app::executaProtegido([] {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        throw std::runtime_error("x");
    });
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(usuario.erros, V{"x."});
}

TEST(Titulo, TheApplicationTitleCaptionsTheBoxes) {
    EXPECT_EQ(app::tituloAplicacao(),
              QString::fromUtf8("Brivane - Replicação de registros Firebird & Interbase"));
}

TEST(Nomes, NamesAreSortedIgnoringCaseAndAccentsFollowTheLocale) {
    uitest::aplicacao();
    const QLocale antes;
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    V nomes{"gama", "Beta", "ALFA", "beta_2", "\xc1gua", "Zebra", "abelha"};
    app::ordenaNomes(nomes);
    QLocale::setDefault(antes);
    EXPECT_EQ(nomes, (V{"abelha", "\xc1gua", "ALFA", "Beta", "beta_2", "gama", "Zebra"}));
}

TEST(Nomes, NamesDifferingOnlyInCaseKeepTheirOrder) {
    uitest::aplicacao();
    V nomes{"b", "B", "a", "A"};
    app::ordenaNomes(nomes);
    EXPECT_EQ(nomes, (V{"a", "A", "b", "B"}));
}

TEST(CaixaDeMensagem, ACarriageReturnBreaksTheLine) {
    EXPECT_EQ(app::textoDaCaixa("Informa\xe7\xe3o inv\xe1lida.\rErro: x"),
              QString::fromUtf8("Informação inválida.\nErro: x"));
    EXPECT_EQ(app::textoDaCaixa("a\r\nb"), "a\nb");
}

TEST(Glifos, EveryBundledGlyphHasANormalAndAGreyDisabledImage) {
    uitest::aplicacao();
    for (const char* nome : {"pasta", "conectar", "tabelas", "filtrar", "replicar", "limpar",
                             "sair", "exportar", "abrir", "cancelar"}) {
        SCOPED_TRACE(nome);
        const QIcon i = app::glifo(QString::fromLatin1(nome));
        ASSERT_FALSE(i.isNull());
        const QImage normal = i.pixmap(16, QIcon::Normal).toImage();
        const QImage apagado = i.pixmap(16, QIcon::Disabled).toImage();
        ASSERT_EQ(normal.size(), QSize(16, 16));
        bool colorido = false, cinza = true;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const QRgb n = normal.pixel(x, y), a = apagado.pixel(x, y);
                if (qAlpha(n) && (qRed(n) != qGreen(n) || qGreen(n) != qBlue(n))) colorido = true;
                if (qAlpha(a) && (qRed(a) != qGreen(a) || qGreen(a) != qBlue(a))) cinza = false;
            }
        EXPECT_TRUE(colorido);
        EXPECT_TRUE(cinza);
    }
    EXPECT_TRUE(app::glifo("nenhum").isNull());
}

TEST(BarraDeStatus, PanelsKeepTheirWidthsAndTheLastTakesTheRest) {
    uitest::aplicacao();
    app::TStatusBar sb;
    sb.resize(560, 19);
    sb.addPanel(300, Qt::AlignLeft, "a");
    sb.addPanel(150, Qt::AlignLeft, "b");
    sb.addPanel(10, Qt::AlignHCenter, "c");
    const auto paineis = sb.findChildren<QLabel*>();
    ASSERT_EQ(paineis.size(), 3);
    EXPECT_EQ(paineis[0]->x(), 0);
    EXPECT_EQ(paineis[1]->x(), 300);
    EXPECT_EQ(paineis[2]->x(), 450);
    EXPECT_EQ(paineis[2]->x() + paineis[2]->width(), 558);
    sb.setPanelText(1, "novo");
    EXPECT_EQ(sb.panelText(1), "novo");
    EXPECT_THROW(sb.panelText(3), std::out_of_range);
}

} // namespace
