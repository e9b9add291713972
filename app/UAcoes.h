#pragma once
// The main window's writing and filtering actions: "Replicar" (one value
// into one column of the selected rows), "Limpar" (delete every row) and
// "Filtrar" (compose a condition in FFiltrar and apply it). They work on the
// main window's objects through references, and talk to the user only
// through rtl::dialogs(). The program's texts are Latin-1 bytes; database
// text shown in them goes as UTF-8.
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QWidget;
class TFbDatabase;
class TFbTransaction;
class TFbTable;
class TFbSQL;

/// The main window's objects that the actions use. Not owned.
struct TAcoes {
    TAcoes(TFbDatabase& conexao, TFbTransaction& transacao, TFbTable& tabela, TFbSQL& sql,
           QWidget* janela = nullptr)
        : conexao(conexao), transacao(transacao), tabela(tabela), sql(sql), janela(janela) {}

    TFbDatabase& conexao;
    TFbTransaction& transacao;
    TFbTable& tabela;
    TFbSQL& sql;
    /// Owner of the filter window (centred over it); may be null.
    QWidget* janela = nullptr;
    /// Sets the caption of lbFiltro (UTF-8). May be empty (no label).
    std::function<void(const std::string&)> mostraFiltro;
    /// Called after each successful reopening of `tabela`, whose field objects
    /// are then new: gives them their display formats again. It must not
    /// change the column choice or the column lists. May be empty.
    std::function<void()> reaplicaFormatos;

    /// "Replicar": `campo` is the column cb1 names (its name as the server
    /// gives it), `valor` the text of ed4 as typed, in UTF-8 (text that is not
    /// well-formed UTF-8 is read as Latin-1). Asks first; runs one UPDATE with the value as
    /// parameter P0 (with the filter's condition when the filter is on), commits, or shows the
    /// replication error and rolls back; then reopens the table unfiltered and
    /// empties lbFiltro. Does nothing when the table is closed or `campo` is
    /// blank. Throws only when rolling back or reopening fails (the caller's
    /// application-wide error box shows it). The UPDATE runs through
    /// app::TEspera: one that lasts (another user's lock) shows the wait
    /// window, whose "Cancelar" stops it and reports it as a failure.
    void Replicar(const std::string& campo, const std::string& valor);

    /// "Limpar": asks first; runs one DELETE of every row (the filter does not
    /// restrict it), commits, or shows the clearing error and rolls back; then
    /// reopens the table with its filter, swallowing an error of that opening.
    /// Throws only when rolling back fails. The DELETE waits as in Replicar.
    void Limpar();

    /// "Filtrar": sorts `campos` in place (ignoring case, by the locale),
    /// shows FFiltrar with them and applies its result: the new condition,
    /// no condition, or nothing on cancel; "Sentença incorreta." when
    /// the database rejects the condition. Sets lbFiltro to the condition
    /// in force. Does nothing when not connected or no table is open. Throws
    /// when the table cannot be opened even without a condition.
    void Filtrar(std::vector<std::string>& campos);

private:
    /// The last condition the filter window applied: its SQL text and the
    /// same as the user composed it (UTF-8).
    std::pair<std::string, std::string> filtroExibido_;
};
