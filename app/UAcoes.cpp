#include "app/UAcoes.h"

#include "app/Nomes.h"

#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "filter/ui/UFiltrar.h"
#include "rtl/dialogs.h"
#include "rtl/strutil.h"

#include <exception>
#include <functional>

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

/// Writes the statement through `monta` (its lines and parameters, on an
/// emptied `sql`), runs it and commits `tr`. On any failure shows `aviso`
/// followed by the error's text and rolls `tr` back.
void executaEConfirma(TFbSQL& sql, TFbTransaction& tr, const std::function<void(TFbSQL&)>& monta,
                      const std::string& aviso) {
    std::exception_ptr erro;
    try {
        sql.Close();
        sql.SQL().Clear();
        monta(sql);
        sql.ExecQuery();
        tr.Commit();
    } catch (...) {
        erro = std::current_exception();
    }
    if (erro) {
        rtl::dialogs().message(aviso + mensagemDe(erro));
        tr.Rollback();
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
    executaEConfirma(
        sql, tr,
        [&](TFbSQL& q) {
            q.SQL().Add("update " + tabela.TableName() + " set " + campo + " = :p0");
            // The grid shows every row when the condition is empty, so the
            // UPDATE must not gain a bare " where " then.
            if (tabela.Filtered() && !tabela.Filter().empty())
                q.SQL().Add(" where " + tabela.Filter());
            // The value travels as a parameter, never inside the SQL text.
            q.ParamNamed("P0").SetAsString(valor);
        },
        "Informa\xe7\xe3o ou campo inv\xe1lido para replica\xe7\xe3o.\rErro: ");

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
    executaEConfirma(
        sql, tr, [&](TFbSQL& q) { q.SQL().Add("delete from " + tabela.TableName()); },
        "Tabela n\xe3o pode ser limpa ou possui dependentes.\rErro: ");

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
