#include "app/UAcoes.h"

#include "app/Nomes.h"

#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "filter/UFiltrar.h"
#include "rtl/dialogs.h"
#include "rtl/strutil.h"

#include <exception>

namespace {

std::string mensagemDe(std::exception_ptr erro) {
    try {
        std::rethrow_exception(erro);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return {};
    }
}

} // namespace

void TAcoes::Replicar(const std::string& campo, const std::string& valor) {
    if (!tabela.Active()) return;
    if (rtl::trim(campo).empty()) return;
    if (!rtl::dialogs().question("Replica\xe7\xe3o", "Replicar a informa\xe7\xe3o \"" + valor +
                                                         "\" para o campo \"" + campo + "\"?"))
        return;

    TFbTransaction& tr = sql.Transaction() ? *sql.Transaction() : transacao;
    std::exception_ptr erro;
    try {
        sql.Close();
        sql.SQL().Clear();
        sql.SQL().Add("update " + tabela.TableName() + " set " + campo + " = :p0");
        // The grid shows every row when the condition is empty, so the
        // UPDATE must not gain a bare " where " then.
        if (tabela.Filtered() && !tabela.Filter().empty())
            sql.SQL().Add(" where " + tabela.Filter());
        // The value travels as a parameter, never inside the SQL text.
        sql.ParamNamed("P0").SetAsString(valor);
        sql.ExecQuery();
        tr.Commit();
    } catch (...) {
        erro = std::current_exception();
    }
    if (erro) {
        rtl::dialogs().message(
            "Informa\xe7\xe3o ou campo inv\xe1lido para replica\xe7\xe3o.\rErro: " +
            mensagemDe(erro));
        tr.Rollback();
    }

    tabela.Close();
    tabela.Open();
    tabela.SetFilter("");
    tabela.SetFiltered(false);
    // The filter is off now; the label must not claim otherwise.
    if (mostraFiltro) mostraFiltro("");
    if (reaplicaFormatos) reaplicaFormatos();
}

void TAcoes::Limpar() {
    if (!tabela.Active()) return;
    if (!rtl::dialogs().question("Limpeza",
                                 "Confirma limpar a tabela \"" + tabela.TableName() + "\"?"))
        return;

    TFbTransaction& tr = sql.Transaction() ? *sql.Transaction() : transacao;
    std::exception_ptr erro;
    try {
        sql.Close();
        sql.SQL().Clear();
        sql.SQL().Add("delete from " + tabela.TableName());
        sql.ExecQuery();
        tr.Commit();
    } catch (...) {
        erro = std::current_exception();
    }
    if (erro) {
        rtl::dialogs().message("Tabela n\xe3o pode ser limpa ou possui dependentes.\rErro: " +
                               mensagemDe(erro));
        tr.Rollback();
    }

    try {
        tabela.Open();
        if (reaplicaFormatos) reaplicaFormatos();
    } catch (...) {
        // The table simply stays closed; there is nothing the user could do
        // with a message here.
    }
}

void TAcoes::Filtrar(std::vector<std::string>& campos) {
    if (!conexao.Connected() || !tabela.Active()) return;

    TFFiltrar FFiltrar(janela);
    if (campos.empty()) {
        rtl::dialogs().message(
            "N\xe3o existem campos v\xe1lidos para executar filtros na tabela \"" +
            tabela.TableName() + "\".");
        return;
    }
    app::ordenaNomes(campos);
    FFiltrar.adicionaCampos(campos);
    FFiltrar.exec();

    bool reaberta = false;
    if (FFiltrar.aplicar) {
        try {
            tabela.Close();
            tabela.SetFilter(FFiltrar.condicao);
            tabela.SetFiltered(true);
            try {
                tabela.Open();
            } catch (...) {
                rtl::dialogs().message("Senten\xe7"
                                       "a incorreta.");
                tabela.Close();
                tabela.SetFilter("");
                tabela.SetFiltered(false);
                tabela.Open();
            }
        } catch (...) {
            // An error here reaches the caller's error box.
            tabela.SetFilter("");
            tabela.SetFiltered(false);
            tabela.Open();
        }
        reaberta = true;
    } else if (FFiltrar.remover) {
        tabela.Close();
        tabela.SetFiltered(false);
        tabela.Open();
        tabela.SetFilter("");
        reaberta = true;
    }

    if (mostraFiltro) mostraFiltro(tabela.Filter());
    if (reaberta && reaplicaFormatos) reaplicaFormatos();
}
