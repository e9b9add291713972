#pragma once
// The contract shared by the export writers, and the writers of the text
// formats. Plain C++: the dialog and the component that show it live above,
// in export/ui.
//
// A writer walks the dataset through a `exporta::Fonte`: the fields chosen
// in the dialog (the visible ones, in the dataset's field order), their
// labels, and each cell already formatted the way the writers share. It
// reports progress through a callback and streams its output into a
// temporary file that replaces the target only after the last row
// (rtl/safefile.h).
//
// Result of every writer: true when the file was written; false when the
// writer could not start and has already told the user why (through
// rtl::dialogs()); any error while writing is thrown (std::exception) and
// leaves the previous target file untouched, and so is a stop asked through
// the progress callback (Cancelada).
#include "rtl/currency.h"
#include "rtl/datetime.h"

#include <concepts>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

class TExpTov;

namespace exporta {

/// How a field's value is turned into output, one entry per field kind that
/// can reach a writer. `Moeda` covers the currency and BCD kinds; `Outro`
/// anything else (nothing is written for it).
enum class Tipo {
    Texto,
    Pequeno,
    Inteiro,
    Grande,
    Logico,
    Real,
    Moeda,
    Data,
    Hora,
    DataHora,
    Outro
};

/// A cell value for writers that hand typed numbers to an office server
/// (Word, Excel): text (in the column's Fonte::charSet), a 32-bit integer, a
/// double, a currency amount or nothing at all (the cell stays empty).
struct Valor {
    enum class Tipo { Nenhum, Texto, Inteiro, Real, Moeda };
    Tipo tipo = Tipo::Nenhum;
    std::string texto;
    std::int32_t inteiro = 0;
    double real = 0.0;
    rtl::Currency moeda;
    /// A Texto that is also exactly the number `real` (NumeroExato): a
    /// spreadsheet may take it as a number; a document takes the text.
    bool numero = false;
};

/// True when the number written in `texto` (digits with `separador` as
/// the decimal point, an optional sign and exponent) is exactly a number
/// of at most 15 significant digits, which a double and a spreadsheet's
/// cell keep and show unchanged; `v` is then that number. Negative zero,
/// infinities and NaN are not.
bool NumeroExato(std::string_view texto, char separador, double& v);

/// The dataset as a writer walks it. Columns are numbered from 0 among the
/// chosen fields, in the dataset's field order. Row movement and cell reads
/// may throw the dataset's errors.
class Fonte {
public:
    virtual ~Fonte() = default;

    /// Every field of the dataset, chosen or not.
    virtual int totalCampos() const = 0;
    /// Chosen fields.
    virtual int colunas() const = 0;
    /// The field's name as the dataset knows it (the key that finds the
    /// field again; metadata bytes, not for display).
    virtual const std::string& nome(int coluna) const = 0;
    /// Display label, in UTF-8: the field's label, or its name when it has none.
    virtual std::string rotulo(int coluna) const = 0;
    virtual Tipo tipo(int coluna) const = 0;
    /// The character set (rtl/charset.h ids) of the bytes that `texto`,
    /// `textoWeb` and the text of `valor` give for this column: a text
    /// column's own set; rtl::cs::None (read as Latin-1, the program's own
    /// texts) for every other kind.
    virtual int charSet(int coluna) const = 0;

    /// Record count (the dataset has been walked to its end before a writer runs).
    virtual std::int64_t registros() = 0;
    virtual void primeiro() = 0;
    virtual bool fim() = 0;
    virtual void proximo() = 0;

    /// The current row's cell as the delimited text writer writes it (also
    /// the text that Word and Excel receive for dates, times, booleans and
    /// small integers 0 and 1; other small integers reach them as integers).
    virtual std::string texto(int coluna) = 0;
    /// The current row's cell as the HTML and XML writers write it (before
    /// their own escaping): as `texto`, but currency in the regional
    /// currency format.
    virtual std::string textoWeb(int coluna) = 0;
    /// The current row's cell as Word and Excel receive it.
    virtual Valor valor(int coluna) = 0;

    /// The current row's date, time or date-time cell as a value (days since
    /// 30 December 1899, the time of day the fraction): false when the cell
    /// holds none (a null date or date-time, the zero date; a null time is
    /// midnight) or the column is of another kind.
    virtual bool dataHora(int coluna, rtl::TDateTime& valor) {
        (void)coluna;
        (void)valor;
        return false;
    }

    /// `texto` / `textoWeb` appended to `saida`, for writers that build a
    /// whole line without a string per cell.
    virtual void acrescentaTexto(int coluna, std::string& saida) { saida += texto(coluna); }
    virtual void acrescentaTextoWeb(int coluna, std::string& saida) { saida += textoWeb(coluna); }

    /// Suspends / resumes the updates of the dataset's attached controls
    /// (nested, counted).
    virtual void desabilitaControles() = 0;
    virtual void habilitaControles() = 0;
};

/// A progress callback's answer: go on, or stop the export.
enum class Andamento { Segue, Para };

/// Thrown by a writer whose progress callback answered `Andamento::Para`.
/// Like any failure it leaves the previous target file as it was and no
/// temporary file behind; the dialog tells the user it was cancelled.
class Cancelada : public std::runtime_error {
public:
    Cancelada() : std::runtime_error("Exporta\xe7\xe3o cancelada.") {}
};

/// Progress of a writer: `posicao` of `maximo` steps done (rows written;
/// then, for Word and Excel, the steps of saving a large document, counted
/// again from 0), or a negative `maximo` while the amount of work left is
/// unknown. Built from any callable taking (posicao, maximo) that returns
/// `Andamento`, or nothing at all (it never stops the export). May be empty.
/// A writer calls it at least once per row, so that a stop takes effect at
/// once; the callback decides how often to do anything costly.
class Progresso {
public:
    Progresso() = default;
    template <class F>
    requires(!std::same_as<std::decay_t<F>, Progresso> &&
             std::invocable<F&, std::int64_t, std::int64_t>) Progresso(F f) {
        if constexpr (std::is_constructible_v<bool, F&>)
            if (!static_cast<bool>(f)) return;
        if constexpr (std::is_void_v<std::invoke_result_t<F&, std::int64_t, std::int64_t>>)
            f_ = [f = std::move(f)](std::int64_t p, std::int64_t m) mutable {
                f(p, m);
                return Andamento::Segue;
            };
        else
            f_ = std::move(f);
    }

    explicit operator bool() const { return static_cast<bool>(f_); }
    /// Reports; false when the callback asked to stop. For callers that
    /// must not throw (a C library's callback).
    bool segue(std::int64_t posicao, std::int64_t maximo) const {
        return !f_ || f_(posicao, maximo) == Andamento::Segue;
    }
    /// Reports; throws Cancelada when the callback asked to stop.
    void operator()(std::int64_t posicao, std::int64_t maximo) const {
        if (!segue(posicao, maximo)) throw Cancelada();
    }

private:
    std::function<Andamento(std::int64_t, std::int64_t)> f_;
};

// The value formatting shared by the writers lives in the row source
// (FonteDataSet in ExpDataSet.h): `texto`, `textoWeb` and `valor`.

// ---- Writers ----

/// Delimited text. `edSepC` and `edSepT` are the texts of the separator
/// edits (Latin-1); only their first non-blank character counts (blank:
/// none). The encoding of this file and of the HTML and XML ones:
/// ExpCodificacao.h.
bool ExpText(const std::string& arquivo, Fonte& fonte, const std::string& edSepC,
             const std::string& edSepT, const Progresso& progresso = {});

/// Called for every header (CellRow 1) and data cell (CellRow 2, 3, ...) of
/// the HTML page; CellColumn counts the chosen fields from 1. CellData comes
/// escaped and in the page's encoding (Latin-1 or UTF-8, ExpCodificacao.h).
/// Whatever it leaves in CustomAttrs and CellData is written as it stands;
/// an exception it throws is ignored.
using TKHTMLFormatCellEvent =
    std::function<void(TExpTov* Sender, int CellRow, int CellColumn, const std::string& FieldName,
                       std::string& CustomAttrs, std::string& CellData)>;

/// HTML page with one table. `Sender` is handed to the event.
bool ExpHtml(const std::string& arquivo, Fonte& fonte, const TKHTMLFormatCellEvent& OnFormatCell,
             TExpTov* Sender, const Progresso& progresso = {});

/// XML document, one element per row and one per chosen field.
bool ExpXml(const std::string& arquivo, Fonte& fonte, const Progresso& progresso = {});

/// The Word and Excel writers live in ExpWord.h / ExpExcel.h with the same
/// signature as ExpXml:
///   bool ExpWord(const std::string& arquivo, Fonte& fonte, const Progresso& progresso = {});
///   bool ExpExcel(const std::string& arquivo, Fonte& fonte, const Progresso& progresso = {});
/// They return false after showing their own message when the server cannot
/// be reached or the table has too many columns. The dialog calls them with
/// the chosen fields prepared, the dataset walked to its end and the
/// control updates suspended.
using Escritor =
    std::function<bool(const std::string& arquivo, Fonte& fonte, const Progresso& progresso)>;

// ---- Pieces of the writers, exposed for their tests ----

/// The separator or qualifier character of an edit's text: its first
/// character after trimming codes <= 32; a blank when nothing is left.
char caractereDe(const std::string& edit);
/// `qualificador`, the value with every qualifier doubled, `qualificador`.
std::string Qualifica(const std::string& valor, char qualificador);
/// "&", "<" and ">" written as entities.
std::string escapaHtml(const std::string& texto);
/// A valid XML element name made from a display label: in Latin-1 for a
/// Latin-1 file, and from a UTF-8 label for a UTF-8 file.
std::string nomeXml(const std::string& rotulo);
std::string nomeXmlUtf8(const std::string& rotulo);
/// An XML element value: "<", ">" and "&" become blanks, characters that
/// XML 1.0 forbids are dropped.
std::string valorXml(const std::string& valor);

/// `arquivo` named for content whose extension is `extensao` ("docx"): kept
/// when it already ends so (any case), the older extension `antiga` ("doc")
/// replaced, anything else (no extension, another one) followed by
/// "." + `extensao`.
std::string comExtensao(const std::string& arquivo, std::string_view extensao,
                        std::string_view antiga);

} // namespace exporta
