#include "app/UAcoes.h"

#include "app/Aplicacao.h"
#include "app/Espera.h"
#include "app/Nomes.h"

#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "filter/ui/UFiltrar.h"
#include "rtl/charset.h"
#include "rtl/dialogs.h"
#include "rtl/parse.h"
#include "rtl/settings.h"
#include "rtl/strutil.h"

#include <exception>
#include <functional>

namespace {

/// The error's text as the user reads it after "Erro: ". A statement the
/// user stopped is said in Portuguese, the server's own words kept after it.
std::string mensagemDe(std::exception_ptr erro, bool cancelada) {
    try {
        std::rethrow_exception(erro);
    } catch (const EFbError& e) {
        const bool interrompida = e.IBErrorCode() == isc_cancelled ||
                                  (dynamic_cast<const EFbClientError*>(&e) && e.SQLCode() == 10);
        if (cancelada && interrompida)
            return "Opera\xe7\xe3o cancelada pelo usu\xe1rio. (" + e.Message() + ")";
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return {};
    }
}

/// Writes the statement through `monta` (its lines and parameters, on an
/// emptied `sql`), runs it through `espera` and commits `tr`. On any failure
/// shows `aviso` followed by the error's text and rolls `tr` back.
void executaEConfirma(TAcoes& a, app::TEspera& espera, TFbTransaction& tr,
                      const std::function<void(TFbSQL&)>& monta, const std::string& aviso) {
    TFbSQL& sql = a.sql;
    std::exception_ptr erro;
    try {
        sql.Close();
        sql.SQL().Clear();
        monta(sql);
        // Prepared here, so the other thread has nothing to do but execute.
        sql.Prepare();
        {
            app::TBuscasSuspensas suspensas(a.tabela);
            espera.executa([&sql] { sql.ExecQuery(); });
        }
        // Here, not on the statement's thread: ending the transaction closes
        // the table, whose observers are the windows.
        tr.Commit();
    } catch (...) {
        erro = std::current_exception();
    }
    if (erro) {
        // A lost connection is nobody's wrong value: it goes to the window,
        // which says so (nothing is left to roll back).
        if (app::conexaoPerdida(erro)) std::rethrow_exception(erro);
        rtl::dialogs().message(aviso + mensagemDe(erro, espera.cancelada()));
        tr.Rollback();
    }
}

/// The connection the statement runs on, whose running call a cancel stops.
TFbDatabase& conexaoDe(TAcoes& a) {
    return a.sql.Database() ? *a.sql.Database() : a.conexao;
}

/// Sets the replication parameter from the typed text. The grid shows scaled
/// and float numbers with the regional separators, and the server knows only
/// the decimal point: a number typed the way the grid shows it is read here.
/// Any other text goes as the characters typed, for the server to convert
/// (see TFbXSQLVAR::SetAsUtf8String).
void atribuiValor(TFbXSQLVAR& p, const TField* campo, const std::string& valor) {
    const rtl::FormatSettings& fs = rtl::formatSettings();
    if (campo && campo->ExactKind() != TFbExactKind::None) {
        p.SetAsTypedExact(campo->ExactKind(), valor);
        return;
    }
    if (campo && valor.find(fs.decimalSeparator) != std::string::npos) {
        switch (campo->DataType()) {
        case ftBCD:
        case ftCurrency:
            if (rtl::Currency c; rtl::tryStrToCurrGrouped(valor, c, fs)) {
                p.SetAsCurrency(c);
                return;
            }
            break;
        case ftFloat:
            if (double d; rtl::tryStrToFloatGrouped(valor, d, fs)) {
                p.SetAsDouble(d);
                return;
            }
            break;
        default:
            break;
        }
    }
    p.SetAsUtf8String(valor);
}

int dialetoDe(const TFbTable& tabela) {
    return tabela.Database() ? tabela.Database()->SQLDialect() : 3;
}

} // namespace

void TAcoes::Replicar(const std::string& campo, const std::string& valor) {
    if (!tabela.Active()) return;
    if (rtl::trim(campo).empty()) return;
    // Text typed before the program knew of character sets came as Latin-1.
    const std::string texto = rtl::nameToUtf8(valor);
    if (!rtl::dialogs().question("Replica\xe7\xe3o",
                                 "Replicar a informa\xe7\xe3o \"" + app::paraCaixa(texto) +
                                     "\" para o campo \"" + app::paraCaixa(rtl::nameToUtf8(campo)) +
                                     "\"?"))
        return;

    app::TEspera espera(conexaoDe(*this), janela);
    TFbTransaction& tr = sql.Transaction() ? *sql.Transaction() : transacao;
    executaEConfirma(
        *this, espera, tr,
        [&](TFbSQL& q) {
            q.SQL().Assign(FbTableReplicateSQL(dialetoDe(tabela), tabela.TableName(), campo,
                                               tabela.Filter(), tabela.Filtered()));
            // The value travels as a parameter, never inside the SQL text.
            atribuiValor(q.ParamNamed("P0"), tabela.FindField(campo), texto);
        },
        "Informa\xe7\xe3o ou campo inv\xe1lido para replica\xe7\xe3o.\rErro: ");

    // The table reopens once, unfiltered (what reopening with the filter
    // and then clearing it, each running the SELECT, would end showing).
    tabela.Close();
    tabela.SetFilter("");
    tabela.SetFiltered(false);
    // The filter is off now; the label must not claim otherwise.
    if (mostraFiltro) mostraFiltro("");
    if (app::abreEsperando(espera, tabela) && reaplicaFormatos) reaplicaFormatos();
}

void TAcoes::Limpar() {
    if (!tabela.Active()) return;
    if (!rtl::dialogs().question("Limpeza",
                                 "Confirma limpar a tabela \"" +
                                     app::paraCaixa(rtl::nameToUtf8(tabela.TableName())) + "\"?"))
        return;

    app::TEspera espera(conexaoDe(*this), janela);
    TFbTransaction& tr = sql.Transaction() ? *sql.Transaction() : transacao;
    executaEConfirma(
        *this, espera, tr,
        [&](TFbSQL& q) { q.SQL().Add(FbTableClearSQL(dialetoDe(tabela), tabela.TableName())); },
        "Tabela n\xe3o pode ser limpa ou possui dependentes.\rErro: ");

    try {
        if (app::abreEsperando(espera, tabela) && reaplicaFormatos) reaplicaFormatos();
    } catch (...) {
        if (app::conexaoPerdida(std::current_exception())) throw;
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
            app::paraCaixa(rtl::nameToUtf8(tabela.TableName())) + "\".");
        return;
    }
    app::ordenaNomes(campos);
    FFiltrar.adicionaCampos(campos);
    FFiltrar.conjuntoLiterais = conexao.TextCharSetId();
    FFiltrar.exec();

    // The table runs its SELECT again in place, on the transaction it reads
    // through, with the grid alive and "Cancelar" offered; a cancel leaves
    // the table, its condition and the label as they were.
    app::TEspera espera(tabela.Database() ? *tabela.Database() : conexao, janela);
    const std::string antes = tabela.Filter();
    const bool filtradaAntes = tabela.Filtered();
    bool reaberta = false;
    if (FFiltrar.aplicar) {
        tabela.SetFilterForNextOpen(FFiltrar.condicao, true);
        try {
            reaberta = app::abreEsperando(espera, tabela);
            if (reaberta) filtroExibido_ = {FFiltrar.condicao, FFiltrar.condicaoExibida};
        } catch (...) {
            if (app::conexaoPerdida(std::current_exception())) throw;
            rtl::dialogs().message("Senten\xe7"
                                   "a incorreta.");
            // An error here reaches the caller's error box.
            tabela.SetFilterForNextOpen("", false);
            reaberta = app::abreEsperando(espera, tabela);
        }
    } else if (FFiltrar.remover) {
        tabela.SetFilterForNextOpen("", false);
        reaberta = app::abreEsperando(espera, tabela);
    }
    if (!reaberta && (FFiltrar.aplicar || FFiltrar.remover))
        tabela.SetFilterForNextOpen(antes, filtradaAntes);

    if (mostraFiltro) {
        // The condition as the user composed it: its names are the server's
        // bytes, which only the window knew how to show. A condition set
        // some other way is shown from its literals' set.
        const std::string& emVigor = tabela.Filter();
        mostraFiltro(emVigor == filtroExibido_.first
                         ? filtroExibido_.second
                         : rtl::toUtf8(emVigor, conexao.TextCharSetId()));
    }
    if (reaberta && reaplicaFormatos) reaplicaFormatos();
}
