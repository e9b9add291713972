// "Colar linhas" and "Importar arquivo...": the preview, the choice to skip
// bad rows, the outcome said, the table reopened with its filter.
#include "app/Grade.h"
#include "app/Importar.h"
#include "app/UAcoes.h"
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "tests/support/fbtest.h"
#include "tests/ui/apoio.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <xlsxwriter.h>

namespace {

class Importar : public ::testing::Test {
protected:
    void SetUp() override {
        uitest::aplicacao(); // reads the machine's settings: the Brazilian ones after it
        br.emplace(rtl::brazilianSettings());
        caminho = pasta.file("t.fdb");
        fbtest::createDatabase(caminho, "create table P (ID integer not null primary key, "
                                        "NOME varchar(10), DATA date);"
                                        "insert into P values (1, 'UM', '2024-01-01');");
        conexao.SetDatabaseName(caminho);
        conexao.SetLoginPrompt(false);
        conexao.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
        transacao.SetDefaultDatabase(&conexao);
        conexao.SetDefaultTransaction(&transacao);
        conexao.Open();
        tabela.SetDatabase(&conexao);
        tabela.SetTransaction(&transacao);
        sql.SetDatabase(&conexao);
        sql.SetTransaction(&transacao);
        tabela.SetTableName("P");
        tabela.SetFilter("ID <> 3");
        tabela.SetFiltered(true);
        tabela.Open();
    }
    void TearDown() override {
        try {
            tabela.Close();
            conexao.Close();
        } catch (...) {
        }
    }
    std::vector<int> ids() {
        std::vector<int> v;
        for (tabela.First(); !tabela.Eof(); tabela.Next())
            v.push_back(tabela.FieldByName("ID").AsInteger());
        return v;
    }

    std::optional<rtl::ScopedFormatSettings> br;
    uitest::Usuario usuario;
    fbtest::TempFolder pasta;
    std::string caminho;
    TFbDatabase conexao;
    TFbTransaction transacao;
    TFbTable tabela;
    TFbSQL sql;
    TAcoes acoes{conexao, transacao, tabela, sql};
};

} // namespace

TEST_F(Importar, LinhasRuinsSoComEscolhaExplicitaEFiltroMantido) {
    QGuiApplication::clipboard()->setText(
        QStringLiteral("2\tDOIS\t02/01/2024\n3\tTRÊS\t30/02/2024\n4\tQUATRO\t04/01/2024\n"));
    // First the default button: disabled while a bad row exists; cancel.
    uitest::quandoModal([](QWidget* w) {
        auto* j = qobject_cast<app::TFImportar*>(w);
        ASSERT_TRUE(j);
        EXPECT_FALSE(j->importar()->isEnabled());
        EXPECT_TRUE(j->importar()->isDefault());
        EXPECT_FALSE(j->pularRuins()->isDefault());
        EXPECT_FALSE(j->pularRuins()->autoDefault());
        ASSERT_EQ(j->problemas()->count(), 1);
        EXPECT_EQ(j->problemas()->item(0)->text(),
                  QStringLiteral("Linha 2: coluna DATA: '30/02/2024' não é uma data"));
        EXPECT_EQ(j->amostra()->rowCount(), 2);
        EXPECT_EQ(j->amostra()->item(1, 1)->text(), QStringLiteral("QUATRO"));
        j->reject();
    });
    app::colaLinhas(acoes);
    EXPECT_EQ(ids(), (std::vector<int>{1}));
    EXPECT_TRUE(usuario.mensagens.empty());

    // Then the explicit choice to skip it.
    uitest::quandoModal([](QWidget* w) {
        auto* j = qobject_cast<app::TFImportar*>(w);
        ASSERT_TRUE(j);
        j->pularRuins()->click();
    });
    app::colaLinhas(acoes);
    ASSERT_EQ(usuario.mensagens.size(), 1u);
    EXPECT_EQ(usuario.mensagens[0],
              uitest::l1("2 linhas importadas. 1 linha com problemas foi pulada."));
    ASSERT_TRUE(tabela.Active());
    EXPECT_TRUE(tabela.Filtered());
    EXPECT_EQ(tabela.Filter(), "ID <> 3");
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 4}));
}

TEST_F(Importar, ArquivoComFormatoDetectadoERecusaDoServidor) {
    const std::string arquivo = pasta.file("p.csv");
    std::ofstream(arquivo, std::ios::binary) << "nome;id\r\nCINCO;5\r\nUM;1\r\n";
    usuario.arquivo = arquivo;
    uitest::quandoModal([](QWidget* w) {
        auto* j = qobject_cast<app::TFImportar*>(w);
        ASSERT_TRUE(j);
        ASSERT_TRUE(j->separador());
        EXPECT_EQ(j->separador()->currentIndex(), 1); // ';'
        EXPECT_TRUE(j->importar()->isEnabled());
        j->importar()->click();
    });
    app::importaArquivo(acoes);
    ASSERT_EQ(usuario.dialogosArquivo.size(), 1u);
    ASSERT_EQ(usuario.mensagens.size(), 1u);
    // The duplicate key refused: its line named, nothing written.
    EXPECT_NE(
        usuario.mensagens[0].find(uitest::l1("Nada foi gravado.\rO servidor recusou a linha 3")),
        std::string::npos)
        << usuario.mensagens[0];
    EXPECT_EQ(ids(), (std::vector<int>{1}));
}

TEST_F(Importar, PlanilhaNaFolhaEscolhida) {
    const std::string arquivo = pasta.file("p.xlsx");
    lxw_workbook* wb = workbook_new(arquivo.c_str());
    worksheet_write_string(workbook_add_worksheet(wb, "Capa"), 0, 0, "nada", nullptr);
    lxw_worksheet* ws = workbook_add_worksheet(wb, "Novos");
    lxw_format* data = workbook_add_format(wb);
    format_set_num_format(data, "d/m/yy");
    lxw_datetime dt = {2024, 3, 9, 0, 0, 0};
    worksheet_write_number(ws, 0, 0, 7, nullptr);
    worksheet_write_string(ws, 0, 1, "SETE", nullptr);
    worksheet_write_datetime(ws, 0, 2, &dt, data);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    usuario.arquivo = arquivo;
    uitest::quandoModal([](QWidget* w) {
        auto* j = qobject_cast<app::TFImportar*>(w);
        ASSERT_TRUE(j && j->folha());
        EXPECT_FALSE(j->separador());
        EXPECT_EQ(j->folha()->count(), 2);
        j->folha()->setCurrentIndex(1);
        ASSERT_EQ(j->amostra()->rowCount(), 1);
        EXPECT_EQ(j->amostra()->item(0, 2)->text(), QStringLiteral("09/03/2024"));
        j->importar()->click();
    });
    app::importaArquivo(acoes);
    ASSERT_EQ(usuario.mensagens.size(), 1u);
    EXPECT_EQ(usuario.mensagens[0], uitest::l1("1 linha importada."));
    EXPECT_EQ(ids(), (std::vector<int>{1, 7}));
}

TEST_F(Importar, AcoesDaGradeSoComTabelaAberta) {
    app::TGradeModelo modelo(tabela);
    app::TGrade grade;
    grade.setModelo(&modelo);
    int colou = 0, importou = 0;
    grade.aoColar = [&] { ++colou; };
    grade.aoImportar = [&] { ++importou; };
    EXPECT_EQ(grade.acaoColar()->shortcut(), QKeySequence(QKeySequence::Paste));
    EXPECT_EQ(grade.acaoImportar()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
    grade.acaoColar()->trigger();
    grade.acaoImportar()->trigger();
    tabela.Close();
    grade.acaoColar()->trigger();
    grade.acaoImportar()->trigger();
    EXPECT_EQ(colou, 1);
    EXPECT_EQ(importou, 1);
}
