#pragma once
// The rows of a table as an export reads them: the very rows the table
// shows (its connection, transaction, filter and order), read once more on
// a second cursor, forward only, so that neither the table's record cache
// nor its current row is touched and memory does not grow with the rows.
#include "db/FbTable.h"
#include "export/ExpDataSet.h"
#include "export/Exporta.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace exporta {

/// A writer's row source over what `tabela` (open) shows: the fields named
/// in `campos` (in the table's field order, whatever the order of the
/// names; each must be a field of the table, or client error 46), with the
/// table's labels. The row count comes from the server (one count with the
/// same condition) before any row is read. The table must stay open, on
/// the same connection and transaction, while the object lives; nothing
/// else may use that connection meanwhile.
class LeituraTabela {
public:
    LeituraTabela(TFbTable& tabela, const std::vector<std::string>& campos);
    ~LeituraTabela();
    LeituraTabela(const LeituraTabela&) = delete;
    LeituraTabela& operator=(const LeituraTabela&) = delete;

    Fonte& fonte() { return *fonte_; }
    /// The rows the export will write, as the server counted them.
    std::int64_t total() const { return total_; }

private:
    TFbTable cursor_;
    std::int64_t total_ = 0;
    std::unique_ptr<FonteDataSet> fonte_;
};

/// The formats of an export.
enum class Formato { Texto, Html, Xml, Word, Excel };

/// The format an option or a file's extension names: "txt", "html" (or
/// "htm"), "xml", "docx" (or "doc"), "xlsx" (or "xls"), in any case. False
/// for any other.
bool formatoDe(const std::string& nome, Formato& formato);

/// One export of a table's rows.
struct Pedido {
    /// Field names; empty: every field the dialog offers (all but memos and
    /// blobs), in the table's order.
    std::vector<std::string> campos;
    Formato formato = Formato::Texto;
    std::string arquivo;
    /// The texts of the dialog's separator edits (Latin-1), its defaults.
    std::string separadorCampos = ",";
    std::string separadorTexto = "''";
    /// The HTML writer's cell event and its sender.
    TKHTMLFormatCellEvent aoFormatarCelula;
    TExpTov* remetente = nullptr;
};

/// The export itself, as the dialog and the command line run it: the rows
/// `tabela` (open) shows, read as LeituraTabela reads them, written by the
/// writer of `pedido.formato` into `pedido.arquivo`. Returns as the writers
/// do (false after a writer told why it could not start); errors are
/// thrown, leaving the previous file as it was. `planilhas`: how many
/// sheets an Excel export wrote.
bool exportaTabela(TFbTable& tabela, const Pedido& pedido, const Progresso& progresso = {},
                   int* planilhas = nullptr);

/// Every field of the open `ds` the export offers (not memo, blob,
/// graphic or formatted memo), in field order.
std::vector<std::string> camposOfertados(const TFbCustomDataSet& ds);

/// Shows `campos` of the open `ds` (visible flags set for those, cleared for
/// every other field) and gives each the label of the field of the same
/// name in `modelo`, when one is given.
void mostraCampos(TFbCustomDataSet& ds, const std::vector<std::string>& campos,
                  const TFbCustomDataSet* modelo = nullptr);

} // namespace exporta
