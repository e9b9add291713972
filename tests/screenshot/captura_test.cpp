// Pictures of every window for the documentation: each window is brought
// up from the main window, pictured at its size and closed again, without
// choosing, replicating or exporting anything on the way.
#include "app/Controles.h"
#include "app/DialogosQt.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "app/UTabelas.h"
#include "tests/support/fbtest.h"
#include "tests/ui/apoio.h"
#include "tests/ui/sessao.h"
#include "tools/screenshot/Captura.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Captura = uitest::Sessao;

} // namespace

TEST_F(Captura, EveryWindowCanBePicturedAndIsClosedAgainAfterwards) {
    abre("CLIENTES");
    app::TDialogosQt qt;
    struct Caso {
        const char* janela;
        QSize tamanho; // empty: whatever a message box needs
        const char* titulo;
        bool caixa; // drawn by the real message boxes
    };
    const Caso casos[] = {
        {"principal", {560, 560}, "  Brivane - Replicação de registros Firebird & Intebase", false},
        {"tabelas", {268, 337}, "  Escolha a tabela", false},
        {"filtro", {689, 458}, "  Filtrar registros", false},
        {"exportacao", {535, 439}, "Exportação de arquivos", false},
        {"pergunta", {}, "Replicação", true},
        {"arquivo", {}, "Base de dados de trabalho", true},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.janela);
        const QString arquivo = QString::fromLatin1(pasta.file(std::string(c.janela) + ".png"));
        rtl::UserDialogs* antes = c.caixa ? rtl::setDialogs(&qt) : nullptr;
        const captura::TFoto foto = captura::fotografa(w, QString::fromLatin1(c.janela), arquivo);
        if (antes) rtl::setDialogs(antes);
        ASSERT_TRUE(foto.salva) << foto.erro.toStdString();
        EXPECT_EQ(foto.titulo, QString::fromUtf8(c.titulo));
        const QImage imagem(arquivo);
        ASSERT_FALSE(imagem.isNull());
        if (!c.tamanho.isEmpty()) {
            EXPECT_EQ(imagem.size() / imagem.devicePixelRatio(), c.tamanho);
        }
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the window was closed again";
        EXPECT_TRUE(w.tabela.Active());
    }
    // Nothing was chosen, replicated or exported on the way.
    EXPECT_EQ(w.painel(0), QStringLiteral("  TABELA: CLIENTES"));
    EXPECT_EQ(celula(1, "CIDADE"), "Florian\xf3polis");
    EXPECT_EQ(w.tabela.Filter(), "");
    EXPECT_TRUE(usuario.erros.empty());

    // The filtered main window: the composed sentences applied.
    const captura::TFoto foto = captura::fotografa(w, QStringLiteral("filtrada"),
                                                   QString::fromLatin1(pasta.file("filtrada.png")));
    EXPECT_TRUE(foto.salva);
    EXPECT_EQ(w.lbFiltro->text(), QStringLiteral("LIMITE >= 500 AND UF = 'SC'"));
    EXPECT_EQ(w.tabela.RecordCount(), 1);
    EXPECT_EQ(celula(0, "NOME"), "Maria");

    const captura::TFoto nenhuma =
        captura::fotografa(w, QStringLiteral("nenhuma"), QString::fromLatin1(pasta.file("x.png")));
    EXPECT_FALSE(nenhuma.salva);
    EXPECT_FALSE(nenhuma.erro.isEmpty());
}
