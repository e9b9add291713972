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
#include "tools/screenshot/Captura.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Texts are Latin-1 bytes, as the program keeps them.
const char* const kDdl =
    "CREATE TABLE CLIENTES (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(40), "
    "CIDADE VARCHAR(30), UF CHAR(2), NASCIMENTO DATE, LIMITE NUMERIC(9,2), "
    "QTD_ITENS DOUBLE PRECISION, OBS BLOB SUB_TYPE TEXT);"
    "CREATE TABLE OUTRA (X INTEGER);"
    "COMMIT;"
    "INSERT INTO CLIENTES VALUES (1, 'Jos\xe9', 'S\xe3o Paulo', 'SP', "
    "'1980-03-05', 15000.5, 2.5, 'nota');"
    "INSERT INTO CLIENTES VALUES (2, 'Maria', 'Florian\xf3polis', 'SC', "
    "'1975-11-21', 8200, 1, NULL);"
    "INSERT INTO CLIENTES VALUES (3, '\xc2ngela', 'Joinville', 'SC', "
    "NULL, 300, 0.125, NULL);"
    "INSERT INTO CLIENTES VALUES (4, 'Jo\xe3o', 'Bel\xe9m', 'PA', "
    "'2001-12-25', -250.75, 0, NULL);";

class Captura : public ::testing::Test {
protected:
    void SetUp() override {
        fbtest::createDatabase(banco, kDdl);
        w.show();
        w.ed1->setText(QString::fromLatin1(banco));
        QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
        ASSERT_TRUE(w.conexao.Connected());
        usuario.mensagens.clear();
    }

    /// "Abrir tabelas", then the table chosen and "Abrir" pressed.
    void abre(const char* nome) {
        uitest::quandoModal([nome](QWidget* m) {
            auto* t = qobject_cast<TFTabelas*>(m);
            ASSERT_NE(t, nullptr);
            auto achados = t->lbTabelas->findItems(QString::fromLatin1(nome), Qt::MatchExactly);
            ASSERT_EQ(achados.size(), 1);
            t->lbTabelas->setCurrentItem(achados.front());
            QTest::mouseClick(t->b1, Qt::LeftButton);
        });
        QTest::mouseClick(w.b1, Qt::LeftButton);
        ASSERT_TRUE(w.tabela.Active());
    }

    std::string celula(int linha, const char* campo) {
        auto* m = w.ds1();
        for (int c = 0; c < m->columnCount(); ++c)
            if (m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() == campo)
                return app::latin1(m->data(m->index(linha, c), Qt::DisplayRole).toString());
        ADD_FAILURE() << "no column " << campo;
        return {};
    }

    QApplication& qapp = uitest::aplicacao(); // before any widget
    rtl::ScopedFormatSettings regional{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    std::string banco = pasta.file("captura.fdb");
    uitest::Usuario usuario;
    TFPrincipal w;
};

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
