#pragma once
// The Word writer: drives "Word.Application" through late-bound calls to
// build a landscape document with one table (a heading row of labels, one
// row per dataset row) and save it under the chosen name.
#include "automation/Automation.h"
#include "export/Exporta.h"

#include <optional>

namespace exporta {

/// Writes the chosen fields of `fonte` as a Word table into `arquivo`.
/// Returns false after showing its own message when the dataset has 64
/// fields or more (chosen or not; no automation call is made) or Word can
/// be neither attached to nor started. Errors of later automation calls and
/// of the dataset are thrown, and so is Cancelada when `progresso` asks to
/// stop; Word is then asked to quit.
bool ExpWord(const std::string& arquivo, Fonte& fonte, const Progresso& progresso = {});

} // namespace exporta

// Shared with the Excel writer.
namespace exporta::office {

/// The cell value as the server receives it; nothing for Valor::Tipo::Nenhum.
std::optional<automation::Variant> variante(const Valor& v);

/// UTF-8 text (a label) as the server receives it: Latin-1 when it fits.
automation::Variant textoUtf8(const std::string& utf8);

/// The current row's cell `coluna` as the server receives it: the source's
/// value (a text column's text in its own set: as it is for NONE, OCTETS
/// and ISO8859_1, else converted to UTF-8), except that a date-time or large-integer field, which
/// has no typed value for the servers, goes as its text (short date and long time, or the decimal
/// digits) instead of leaving the cell empty. With `numeros` (a
/// spreadsheet) a text that is exactly a number (Valor::numero) goes as
/// that number.
std::optional<automation::Variant> celula(Fonte& fonte, int coluna, bool numeros = false);

/// Resumes the control updates when the writer leaves, also by an error.
class Suspensao {
public:
    explicit Suspensao(Fonte& f) : fonte_(f) { fonte_.desabilitaControles(); }
    ~Suspensao() {
        if (ativa_) fonte_.habilitaControles();
    }
    /// Resumes now (the writer's own step), once.
    void retoma() {
        if (ativa_) {
            ativa_ = false;
            fonte_.habilitaControles();
        }
    }
    Suspensao(const Suspensao&) = delete;
    Suspensao& operator=(const Suspensao&) = delete;

private:
    Fonte& fonte_;
    bool ativa_ = true;
};

/// When the writer leaves by an error after reaching the server: closes the
/// document or workbook the writer added (never one the user had open)
/// unsaved and tells the server to quit, so no invisible instance stays
/// behind. Errors of these calls are swallowed; the writer's error is the
/// one reported.
class Encerramento {
public:
    explicit Encerramento(const automation::AutoObject& app) : app_(app) {}
    ~Encerramento();
    /// The document or workbook the writer added.
    void adicionado(const automation::Variant& v) {
        if (v.kind() == automation::Variant::Kind::Object)
            adicionado_ = automation::AutoObject(v.object());
    }
    /// The writer ended the server itself.
    void concluido() { concluido_ = true; }
    Encerramento(const Encerramento&) = delete;
    Encerramento& operator=(const Encerramento&) = delete;

private:
    const automation::AutoObject& app_;
    automation::AutoObject adicionado_;
    bool concluido_ = false;
};

/// `documento`.SaveAs(`arquivo`), with the server's progress while it saves
/// a large document passed on to `progresso`; a stop asked there ends the
/// save, which then leaves no file, with Cancelada. The previous file of
/// that name is replaced only by a save that succeeds.
void salvaComo(const automation::AutoObject& documento, const std::string& arquivo,
               const Progresso& progresso);

} // namespace exporta::office
