#include "app/UAcoes.h"

#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "filter/ui/UFiltrar.h"
#include "rtl/datetime.h"
#include "rtl/dialogs.h"
#include "rtl/settings.h"
#include "tests/support/fbtest.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {

QApplication& app() {
    static int argc = 1;
    static char nome[] = "acoes_test";
    static char* argv[] = {nome, nullptr};
    // Never destroyed: tearing Qt down among the other statics at exit crashes.
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

// Records every box and answers questions from `resposta`.
struct Dialogos : rtl::UserDialogs {
    std::vector<std::string> mensagens;
    std::vector<std::pair<std::string, std::string>> perguntas;
    bool resposta = true;
    void message(const std::string& t) override { mensagens.push_back(t); }
    bool question(const std::string& c, const std::string& t) override {
        perguntas.emplace_back(c, t);
        return resposta;
    }
    void errorBox(const std::string& t) override { mensagens.push_back("ERRO " + t); }
    bool openFile(const FileDialog&, std::string&) override { return false; }
    bool saveFile(const FileDialog&, std::string&) override { return false; }
};

const char* const kDDL = R"(
create table GRUPOS (ID integer not null primary key);
create table PRODUTO (ID integer not null primary key, GRUPO integer references GRUPOS(ID),
  NOME varchar(40), QTD integer, DATA date);
insert into GRUPOS values (1); insert into GRUPOS values (3);
insert into PRODUTO values (1, 3, 'ANA', 10, '2024-01-05');
insert into PRODUTO values (2, 1, 'BIA', 20, '2024-02-05');
insert into PRODUTO values (3, 3, 'CAIO', 30, '2024-03-05');
insert into PRODUTO values (4, 1, 'MARIA E JOSE', 40, '2024-04-05');
)";

// The main window's objects wired as it wires them, on a fresh database,
// with PRODUTO open.
class Acoes : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        anterior = rtl::setDialogs(&dlg);
        rtl::FormatSettings fs = rtl::brazilianSettings();
        fs.shortDateFormat = "dd/mm/yyyy";
        formatos = rtl::setFormatSettings(fs);
        caminho = pasta.file("t.fdb");
        fbtest::createDatabase(caminho, kDDL);
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
        abre("PRODUTO");
        acoes.mostraFiltro = [this](const std::string& t) { rotulo = t; };
        acoes.reaplicaFormatos = [this] { ++reaplicacoes; };
    }
    void TearDown() override {
        try {
            tabela.Close();
            conexao.Close();
        } catch (...) {
        }
        rtl::setDialogs(anterior);
        rtl::setFormatSettings(formatos);
    }
    void abre(const std::string& nome, const std::string& filtro = "") {
        tabela.Close();
        tabela.SetTableName(nome);
        tabela.SetFilter(filtro);
        tabela.SetFiltered(!filtro.empty());
        tabela.Open();
    }
    // The texts of `campo` for the rows the table shows now ("<null>" for null).
    std::vector<std::string> coluna(const std::string& campo) {
        std::vector<std::string> v;
        for (tabela.First(); !tabela.Eof(); tabela.Next()) {
            TField& f = tabela.FieldByName(campo);
            if (f.IsNull())
                v.push_back("<null>");
            else if (f.DataType() == ftString)
                v.push_back(f.AsString());
            else if (f.DataType() == ftDate)
                v.push_back(std::to_string(f.AsDateTime()));
            else
                v.push_back(std::to_string(f.AsInteger()));
        }
        return v;
    }
    std::vector<std::string> todas(const std::string& campo) {
        abre("PRODUTO");
        return coluna(campo);
    }
    // Runs `passo` on the filter window once "Filtrar" shows it.
    void naJanela(std::function<void(TFFiltrar&)> passo) {
        QTimer::singleShot(0, [this, passo] {
            if (auto* w = qobject_cast<TFFiltrar*>(QApplication::activeModalWidget())) {
                passo(*w);
            } else {
                naJanela(passo);
            }
        });
    }
    void filtraCom(std::vector<std::string> sentencas) {
        naJanela([sentencas](TFFiltrar& w) {
            for (const auto& s : sentencas) {
                w.edSentenca->setText(QString::fromLatin1(s.c_str()));
                w.SpeedButton4Click();
            }
            w.b1Click();
        });
        acoes.Filtrar(campos);
    }

    fbtest::TempFolder pasta;
    std::string caminho;
    Dialogos dlg;
    rtl::UserDialogs* anterior = nullptr;
    rtl::FormatSettings formatos;
    TFbDatabase conexao;
    TFbTransaction transacao;
    TFbTable tabela;
    TFbSQL sql;
    TAcoes acoes{conexao, transacao, tabela, sql};
    std::string rotulo = "<intocado>";
    int reaplicacoes = 0;
    std::vector<std::string> campos{"NOME", "id", "Grupo", "QTD", "DATA"};
};

const char* const kErroReplicacao =
    "Informa\xe7\xe3o ou campo inv\xe1lido para replica\xe7\xe3o.\rErro: ";
const char* const kErroLimpeza = "Tabela n\xe3o pode ser limpa ou possui dependentes.\rErro: ";

TEST_F(Acoes, ReplicatingUnderAFilterChangesOnlyThoseRowsThenShowsEveryRowUnfiltered) {
    abre("PRODUTO", "GRUPO = 3");
    rotulo = "GRUPO = 3";
    acoes.Replicar("NOME", "ZECA");
    ASSERT_EQ(dlg.perguntas.size(), 1u);
    EXPECT_EQ(dlg.perguntas[0].first, "Replica\xe7\xe3o");
    EXPECT_EQ(dlg.perguntas[0].second,
              "Replicar a informa\xe7\xe3o \"ZECA\" para o campo \"NOME\"?");
    EXPECT_EQ(sql.SQL().Lines(),
              (std::vector<std::string>{"update PRODUTO set NOME = :p0", " where GRUPO = 3"}));
    EXPECT_TRUE(dlg.mensagens.empty());
    EXPECT_TRUE(tabela.Active());
    EXPECT_FALSE(tabela.Filtered());
    EXPECT_EQ(tabela.Filter(), "");
    EXPECT_EQ(rotulo, "");
    EXPECT_EQ(reaplicacoes, 1);
    EXPECT_EQ(coluna("NOME"), (std::vector<std::string>{"ZECA", "BIA", "ZECA", "MARIA E JOSE"}));
}

TEST_F(Acoes, ReplicatingWithoutAFilterIsOneLineAndChangesEveryRow) {
    acoes.Replicar("QTD", "7");
    EXPECT_EQ(sql.SQL().Lines(), std::vector<std::string>{"update PRODUTO set QTD = :p0"});
    EXPECT_EQ(coluna("QTD"), (std::vector<std::string>{"7", "7", "7", "7"}));
}

TEST_F(Acoes, AnEmptyValueIsAnEmptyTextOrNull) {
    acoes.Replicar("NOME", "");
    acoes.Replicar("QTD", "");
    acoes.Replicar("DATA", "");
    EXPECT_TRUE(dlg.mensagens.empty());
    EXPECT_EQ(coluna("NOME"), (std::vector<std::string>{"", "", "", ""}));
    EXPECT_EQ(coluna("QTD"), (std::vector<std::string>{"<null>", "<null>", "<null>", "<null>"}));
    EXPECT_EQ(coluna("DATA"), (std::vector<std::string>{"<null>", "<null>", "<null>", "<null>"}));
}

TEST_F(Acoes, ValuesAreStoredAsTypedAndDatesInTheRegionalFormat) {
    acoes.Replicar("NOME", "O'Hara; delete from PRODUTO; --");
    acoes.Replicar("DATA", "25/12/2023");
    EXPECT_TRUE(dlg.mensagens.empty());
    EXPECT_EQ(coluna("NOME")[2], "O'Hara; delete from PRODUTO; --");
    EXPECT_EQ(coluna("DATA")[3], std::to_string(rtl::encodeDate(2023, 12, 25)));
}

TEST_F(Acoes, LettersIntoAnIntegerColumnReportTheServerErrorAndChangeNothing) {
    abre("PRODUTO", "GRUPO = 3");
    acoes.Replicar("QTD", "dez");
    ASSERT_EQ(dlg.mensagens.size(), 1u);
    EXPECT_EQ(dlg.mensagens[0].rfind(kErroReplicacao, 0), 0u) << dlg.mensagens[0];
    EXPECT_NE(dlg.mensagens[0].find("conversion error"), std::string::npos) << dlg.mensagens[0];
    EXPECT_TRUE(tabela.Active());
    EXPECT_FALSE(tabela.Filtered());
    EXPECT_EQ(coluna("QTD"), (std::vector<std::string>{"10", "20", "30", "40"}));
    // A column the table lacks is reported the same way.
    acoes.Replicar("PRECO", "1");
    ASSERT_EQ(dlg.mensagens.size(), 2u);
    EXPECT_EQ(dlg.mensagens[1].rfind(kErroReplicacao, 0), 0u);
    EXPECT_NE(dlg.mensagens[1].find("PRECO"), std::string::npos) << dlg.mensagens[1];
}

TEST_F(Acoes, ReplicationSetsABooleanColumnFromTheWordsTheGridShows) {
    conexao.ExecuteImmediate(
        "create table TAREFAS (ID integer not null primary key, FEITA boolean)");
    conexao.ExecuteImmediate("insert into TAREFAS values (1, true)");
    conexao.ExecuteImmediate("insert into TAREFAS values (2, null)");
    abre("TAREFAS");
    auto textos = [this] {
        std::vector<std::string> v;
        for (tabela.First(); !tabela.Eof(); tabela.Next())
            v.push_back(tabela.FieldByName("FEITA").DisplayText());
        return v;
    };
    acoes.Replicar("FEITA", "N\xc3O");
    EXPECT_EQ(textos(), (std::vector<std::string>{"N\xc3O", "N\xc3O"}));
    acoes.Replicar("FEITA", "True");
    EXPECT_EQ(textos(), (std::vector<std::string>{"SIM", "SIM"}));
    acoes.Replicar("FEITA", "");
    EXPECT_EQ(textos(), (std::vector<std::string>{"", ""}));
    EXPECT_TRUE(dlg.mensagens.empty());
    // A word that is no boolean is the server's conversion error; nothing changes.
    acoes.Replicar("FEITA", "1");
    acoes.Replicar("FEITA", "talvez");
    ASSERT_EQ(dlg.mensagens.size(), 1u);
    EXPECT_EQ(dlg.mensagens[0].rfind(kErroReplicacao, 0), 0u) << dlg.mensagens[0];
    EXPECT_EQ(textos(), (std::vector<std::string>{"SIM", "SIM"}));
}

TEST_F(Acoes, TablesAndColumnsWhoseNamesNeedQuotesAreReplicatedIntoAndCleared) {
    conexao.ExecuteImmediate(
        "create table \"minusculas\" (\"id\" integer, \"nome com espaco\" varchar(20))");
    conexao.ExecuteImmediate("create table PEDIDO (ID integer, \"POSITION\" integer)");
    conexao.ExecuteImmediate("insert into \"minusculas\" values (1, 'A')");
    conexao.ExecuteImmediate("insert into \"minusculas\" values (2, 'B')");
    conexao.ExecuteImmediate("insert into PEDIDO values (1, 1)");
    abre("minusculas", "\"id\" = 2");
    acoes.Replicar("nome com espaco", "ZECA");
    EXPECT_EQ(sql.SQL().Lines(),
              (std::vector<std::string>{"update \"minusculas\" set \"nome com espaco\" = :p0",
                                        " where \"id\" = 2"}));
    EXPECT_EQ(coluna("nome com espaco"), (std::vector<std::string>{"A", "ZECA"}));
    acoes.Replicar("id", "7");
    EXPECT_EQ(coluna("id"), (std::vector<std::string>{"7", "7"}));
    abre("PEDIDO");
    acoes.Replicar("POSITION", "5");
    EXPECT_EQ(coluna("POSITION"), std::vector<std::string>{"5"});
    abre("minusculas");
    acoes.Limpar();
    EXPECT_EQ(sql.SQL().Lines(), std::vector<std::string>{"delete from \"minusculas\""});
    EXPECT_TRUE(dlg.mensagens.empty()) << dlg.mensagens.front();
    EXPECT_TRUE(coluna("id").empty());
}

TEST_F(Acoes, NumbersTypedTheWayTheGridShowsThemAreReadInTheRegionalFormat) {
    conexao.ExecuteImmediate(
        "create table VALORES (ID integer, PRECO numeric(9,2), FATOR double precision)");
    conexao.ExecuteImmediate("insert into VALORES values (1, 1, 1)");
    abre("VALORES");
    const std::pair<const char*, double> casos[] = {
        {"9,99", 9.99}, {"1.234,5", 1234.5}, {"-0,5", -0.5}, {"7.5", 7.5}, {"abc", 7.5}};
    for (const auto& [texto, esperado] : casos) {
        for (const char* campo : {"PRECO", "FATOR"}) {
            SCOPED_TRACE(std::string(texto) + " " + campo);
            dlg.mensagens.clear();
            acoes.Replicar(campo, texto);
            // Letters are still the server's conversion error, and nothing changes.
            const bool letras = std::string(texto) == "abc";
            ASSERT_EQ(dlg.mensagens.size(), letras ? 1u : 0u);
            if (letras) {
                EXPECT_NE(dlg.mensagens[0].find("conversion error"), std::string::npos)
                    << dlg.mensagens[0];
            }
            tabela.First();
            EXPECT_DOUBLE_EQ(tabela.FieldByName(campo).AsFloat(), esperado);
        }
    }
}

TEST_F(Acoes, NothingHappensWithoutATableAColumnOrAYes) {
    acoes.Replicar("   ", "1");
    EXPECT_TRUE(dlg.perguntas.empty());
    dlg.resposta = false;
    abre("PRODUTO", "GRUPO = 3");
    acoes.Replicar("QTD", "1");
    acoes.Limpar();
    EXPECT_EQ(dlg.perguntas.size(), 2u);
    EXPECT_EQ(sql.SQL().Count(), 0);
    EXPECT_EQ(rotulo, "<intocado>");
    EXPECT_TRUE(tabela.Filtered());
    EXPECT_EQ(coluna("QTD"), (std::vector<std::string>{"10", "30"}));
    tabela.Close();
    dlg.resposta = true;
    acoes.Replicar("QTD", "1");
    acoes.Limpar();
    EXPECT_EQ(dlg.perguntas.size(), 2u);
}

TEST_F(Acoes, ClearingIgnoresTheFilterAndKeepsIt) {
    abre("PRODUTO", "GRUPO = 3");
    rotulo = "GRUPO = 3";
    acoes.Limpar();
    ASSERT_EQ(dlg.perguntas.size(), 1u);
    EXPECT_EQ(dlg.perguntas[0].first, "Limpeza");
    EXPECT_EQ(dlg.perguntas[0].second, "Confirma limpar a tabela \"PRODUTO\"?");
    EXPECT_EQ(sql.SQL().Lines(), std::vector<std::string>{"delete from PRODUTO"});
    EXPECT_TRUE(dlg.mensagens.empty());
    EXPECT_TRUE(tabela.Active());
    EXPECT_TRUE(tabela.Filtered());
    EXPECT_EQ(tabela.Filter(), "GRUPO = 3");
    EXPECT_EQ(rotulo, "GRUPO = 3");
    EXPECT_TRUE(todas("ID").empty());
}

TEST_F(Acoes, ClearingAReferencedTableReportsTheErrorAndKeepsTheRows) {
    abre("GRUPOS");
    acoes.Limpar();
    ASSERT_EQ(dlg.mensagens.size(), 1u);
    EXPECT_EQ(dlg.mensagens[0].rfind(kErroLimpeza, 0), 0u) << dlg.mensagens[0];
    EXPECT_NE(dlg.mensagens[0].find("FOREIGN KEY"), std::string::npos) << dlg.mensagens[0];
    EXPECT_TRUE(tabela.Active());
    EXPECT_EQ(coluna("ID"), (std::vector<std::string>{"1", "3"}));
}

TEST_F(Acoes, AnUpdateHeldByAnotherConnectionMakesReplicationFailAndRollBack) {
    TFbDatabase outra;
    TFbTransaction tr2;
    TFbSQL upd;
    outra.SetDatabaseName(caminho);
    outra.SetLoginPrompt(false);
    outra.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
    tr2.SetDefaultDatabase(&outra);
    outra.Open();
    upd.SetDatabase(&outra);
    upd.SetTransaction(&tr2);
    upd.SQL().Add("update PRODUTO set NOME = 'OUTRA' where ID = 2");
    upd.ExecQuery();
    // Our UPDATE waits for that transaction; once it commits, ours conflicts.
    std::thread fim([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        tr2.Commit();
    });
    acoes.Replicar("NOME", "NOSSA");
    fim.join();
    ASSERT_EQ(dlg.mensagens.size(), 1u);
    EXPECT_EQ(dlg.mensagens[0].rfind(kErroReplicacao, 0), 0u) << dlg.mensagens[0];
    EXPECT_NE(dlg.mensagens[0].find("update conflicts with concurrent update"), std::string::npos)
        << dlg.mensagens[0];
    EXPECT_TRUE(tabela.Active());
    EXPECT_EQ(coluna("NOME"), (std::vector<std::string>{"ANA", "OUTRA", "CAIO", "MARIA E JOSE"}));
    // The program goes on working.
    acoes.Replicar("NOME", "NOSSA");
    EXPECT_EQ(dlg.mensagens.size(), 1u);
    EXPECT_EQ(coluna("NOME"), (std::vector<std::string>{"NOSSA", "NOSSA", "NOSSA", "NOSSA"}));
    outra.Close();
}

TEST_F(Acoes, FilteringAppliesTheTranslatedConditionOverSortedColumns) {
    QStringList oferecidos;
    naJanela([&](TFFiltrar& w) {
        for (int i = 0; i < w.lbCampos->count(); ++i)
            oferecidos << w.lbCampos->item(i)->text();
        w.edSentenca->setText(QStringLiteral("GRUPO = 3"));
        w.SpeedButton4Click();
        w.edSentenca->setText(QStringLiteral(" ou NOME = 'MARIA E JOSE'"));
        w.SpeedButton4Click();
        w.b1Click();
    });
    acoes.Filtrar(campos);
    EXPECT_EQ(oferecidos, (QStringList{"DATA", "Grupo", "id", "NOME", "QTD"}));
    EXPECT_EQ(campos, (std::vector<std::string>{"DATA", "Grupo", "id", "NOME", "QTD"}));
    EXPECT_TRUE(tabela.Filtered());
    EXPECT_EQ(tabela.Filter(), "GRUPO = 3 OR NOME = 'MARIA E JOSE'");
    EXPECT_EQ(rotulo, tabela.Filter());
    EXPECT_EQ(reaplicacoes, 1);
    EXPECT_EQ(coluna("ID"), (std::vector<std::string>{"1", "3", "4"}));

    // A new condition replaces the old one, leading blanks kept.
    filtraCom({"  QTD > 25"});
    EXPECT_EQ(rotulo, "  QTD > 25");
    EXPECT_EQ(coluna("ID"), (std::vector<std::string>{"3", "4"}));

    // Cancel leaves it; the label is written again with it.
    rotulo = "";
    naJanela([](TFFiltrar& w) { w.SpeedButton1Click(); });
    acoes.Filtrar(campos);
    EXPECT_EQ(rotulo, "  QTD > 25");
    EXPECT_EQ(coluna("ID"), (std::vector<std::string>{"3", "4"}));

    // "Ok" without sentences removes it.
    filtraCom({});
    EXPECT_FALSE(tabela.Filtered());
    EXPECT_EQ(tabela.Filter(), "");
    EXPECT_EQ(rotulo, "");
    EXPECT_EQ(coluna("ID").size(), 4u);
    EXPECT_TRUE(dlg.mensagens.empty());
}

TEST_F(Acoes, DatePartsAndTodayReachTheServerAsValidSQL) {
    filtraCom({" MES  ( DATA ) >= 3", " e DATA < D_HJ "});
    EXPECT_EQ(tabela.Filter(), " EXTRACT(MONTH FROM DATA ) >= 3 AND DATA < CURRENT_DATE ");
    EXPECT_TRUE(dlg.mensagens.empty());
    EXPECT_EQ(coluna("ID"), (std::vector<std::string>{"3", "4"}));
}

TEST_F(Acoes, AConditionOnAMissingColumnIsRejectedOnceAndLeavesNoFilter) {
    filtraCom({"GRUPO = 3"});
    filtraCom({"PRECO > 1"});
    EXPECT_EQ(dlg.mensagens, std::vector<std::string>{"Senten\xe7"
                                                      "a incorreta."});
    EXPECT_TRUE(tabela.Active());
    EXPECT_FALSE(tabela.Filtered());
    EXPECT_EQ(tabela.Filter(), "");
    EXPECT_EQ(rotulo, "");
    EXPECT_EQ(coluna("ID").size(), 4u);
}

TEST_F(Acoes, FilteringNeedsATableAndColumns) {
    tabela.Close();
    acoes.Filtrar(campos);
    EXPECT_EQ(rotulo, "<intocado>");
    abre("PRODUTO");
    campos.clear();
    acoes.Filtrar(campos);
    EXPECT_EQ(dlg.mensagens,
              std::vector<std::string>{
                  "N\xe3o existem campos v\xe1lidos para executar filtros na tabela \"PRODUTO\"."});
    EXPECT_EQ(rotulo, "<intocado>");
}

} // namespace
