#pragma once
// Rows of an Excel workbook (.xlsx): one sheet's cells as texts, numbers
// from number cells and dates from cells whose format shows a date.
#include "import/Importacao.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace importa {

/// The workbook cannot be read (not a zip, parts missing, bad XML); the
/// message says so in Portuguese.
class EPlanilha : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The names of the workbook's sheets, in order (UTF-8).
std::vector<std::string> folhasDaPlanilha(const std::string& caminho);

/// The rows of one sheet (0 = the first). A string cell gives its text; a
/// number cell its number written with '.' and no groups (numerosEmC); a
/// number cell whose format shows a date gives it in ISO form
/// ("2024-01-31" for a date format, "2024-01-31T13:14:15.000" for a date
/// and time, "13:14:15.000" for a time); a
/// boolean "true" or "false". A row's line is the sheet's row number;
/// empty rows are skipped, missing cells are empty.
class FontePlanilha : public Fonte {
public:
    FontePlanilha(const std::string& caminho, int folha = 0);
    bool proxima(Linha& l) override;
    void reinicia() override { atual_ = 0; }
    bool numerosEmC(std::size_t celula, const Linha& l) const override;

private:
    std::vector<Linha> linhas_;
    std::vector<std::vector<bool>> numeros_;
    std::size_t atual_ = 0;
};

} // namespace importa
