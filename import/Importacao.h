#pragma once
// Bringing rows into a table: where each cell goes (by the titles of the
// first line or by position), every row checked before anything is written,
// then the rows handed to the writer in pieces.
#include "db/FbCatalog.h"
#include "db/FbImport.h"
#include "import/Conversao.h"
#include "import/Texto.h"
#include "rtl/settings.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace importa {

/// Where rows come from; read again from the start for each pass.
class Fonte {
public:
    virtual ~Fonte() = default;
    /// The next row; false at the end.
    virtual bool proxima(Linha& l) = 0;
    virtual void reinicia() = 0;
    /// Cells that hold numbers written with '.' as the decimal separator
    /// and no groups (a workbook's number cells), not regional text.
    virtual bool numerosEmC(std::size_t /*celula*/, const Linha& /*l*/) const { return false; }
};

/// Rows of delimited text (UTF-8), which the source keeps.
class FonteTexto : public Fonte {
public:
    FonteTexto(std::string utf8, FormatoTexto f) : texto_(std::move(utf8)), leitor_(texto_, f) {}
    bool proxima(Linha& l) override { return leitor_.proxima(l); }
    void reinicia() override { leitor_.reinicia(); }

private:
    std::string texto_;
    LeitorTexto leitor_;
};

/// A row that cannot be written, with the line it came from.
struct Problema {
    int linha = 0;
    std::string motivo;
};

/// Where the cells go.
struct Mapa {
    /// The columns written, in order, each with the cell it takes.
    std::vector<Destino> destinos;
    std::vector<std::size_t> celula;
    /// The first line held titles (and is not written).
    bool titulos = false;
    /// Cells a row may have (by position: the table's columns).
    std::size_t celulasMaximas = 0;
    /// Unknown titles and columns left out, in Portuguese.
    std::vector<std::string> avisos;
};

/// The title of a column as the grid shows it (UTF-8), in the form titles
/// are compared: blanks around dropped, letters (accented ones too) in
/// upper case.
std::string tituloComparavel(std::string_view utf8);

/// Maps `primeira` (the first row) over `facts`: by title when the first
/// row names columns of the table (every cell that holds something; or at
/// least half of them when the row does not convert as values by
/// position), otherwise by position over the table's columns in order.
/// Computed columns, binary blobs and memo columns whose first data cell is
/// the grid's "(MEMO)" stand-in are not written.
Mapa mapeia(const Linha& primeira, const Linha* segunda, const TFbTableFacts& facts,
            const rtl::FormatSettings& fs);

/// What the check found.
struct Verificacao {
    long long linhas = 0; ///< rows to write (titles excluded)
    long long ruins = 0;  ///< rows with a problem
    /// The first problems (one per row), in line order.
    std::vector<Problema> problemas;
    /// The first rows as they will be written, one text per column of the map.
    std::vector<std::vector<std::string>> amostra;
};

/// One import: a source, the table's facts and the regional settings.
class Importacao {
public:
    Importacao(std::shared_ptr<const TFbTableFacts> facts, std::unique_ptr<Fonte> fonte,
               rtl::FormatSettings fs);

    const Mapa& mapa() const { return mapa_; }
    const TFbTableFacts& facts() const { return *facts_; }

    /// Converts every row: the row count, the bad rows (at most
    /// `maxProblemas` kept, all counted) and the first `amostra` rows.
    /// `andamento` hears the rows read so far and returns false to stop
    /// (then the check is incomplete and `false` comes back).
    bool verifica(Verificacao& v, std::size_t amostra = 20, std::size_t maxProblemas = 1000,
                  const std::function<bool(long long)>& andamento = {});

    /// Writes every row through `w` (made for the columns `colunas()`
    /// names), `lote` rows at a time; rows with a problem are skipped when
    /// `pular`, otherwise the first one stops the writing with
    /// std::runtime_error naming its line. `andamento` hears the rows
    /// written and returns false to stop (EImportacaoCancelada). Returns the
    /// rows written.
    long long grava(TFbImportWriter& w, bool pular,
                    const std::function<bool(long long)>& andamento = {}, std::size_t lote = 0);

    /// The names of the columns written, as the catalog stores them.
    std::vector<std::string> colunas() const;

private:
    /// Converts the row `l` into `valores` (appended); "" or the reason.
    std::string converteLinha(const Linha& l, std::vector<TFbImportValue>& valores);

    std::shared_ptr<const TFbTableFacts> facts_;
    std::unique_ptr<Fonte> fonte_;
    rtl::FormatSettings fs_;
    rtl::FormatSettings fsC_; ///< '.' decimals, no groups
    Mapa mapa_;
};

/// The import stopped because the user asked.
class EImportacaoCancelada : public std::runtime_error {
public:
    EImportacaoCancelada() : std::runtime_error("Importação cancelada") {}
};

/// The server refused a row: its line and the server's words.
class EImportacaoRecusada : public std::runtime_error {
public:
    EImportacaoRecusada(int linha, std::string servidor);
    int linha() const { return linha_; }
    const std::string& servidor() const { return servidor_; }

private:
    int linha_;
    std::string servidor_;
};

/// Writes the whole import into `tabela` in one transaction: `tr` (started
/// when inactive) commits at the end, and rolls back on anything else, so
/// nothing is left half-written. A server refusal becomes
/// EImportacaoRecusada (a lost connection stays the access layer's
/// error); `cancelado` set meanwhile (also when it made the server stop a
/// call) gives EImportacaoCancelada. Returns the rows written. Without
/// `terminar` the transaction is neither committed nor rolled back: the
/// caller ends it (a window ends it on its own thread, where the table that
/// reads through it tells the grid).
long long gravaTudo(Importacao& imp, TFbDatabase& db, TFbTransaction& tr, bool pular,
                    const std::function<bool(long long)>& andamento = {},
                    const std::atomic<bool>* cancelado = nullptr, int linhasPorIda = 0,
                    bool terminar = true);

/// The text a value shows in the preview (UTF-8): empty for NULL.
std::string textoDoValor(const TFbImportValue& v, const TFbColumnFacts& c,
                         const rtl::FormatSettings& fs);

} // namespace importa
