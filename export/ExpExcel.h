#pragma once
// The Excel writer: drives "Excel.Application" through late-bound calls to
// fill the active sheet of a new workbook (a heading row of labels, one row
// per dataset row) and save it under the chosen name.
#include "export/Exporta.h"

namespace exporta {

/// Writes the chosen fields of `fonte` into the cells of a workbook saved as
/// `arquivo`. Returns false after showing its own message when Excel can be
/// neither attached to nor started. Errors of later automation calls and of
/// the dataset are thrown, and so is Cancelada when `progresso` asks to
/// stop; Excel is then asked to quit.
///
/// Rows go to the server as they are read. A sheet holds the header and
/// `linhasPorPlanilha()` data rows; the rows after them continue on a new
/// sheet with the header repeated, as many as needed. `planilhas`, when
/// given, receives how many sheets were written. Dates, times and
/// date-times go as date values (as text before 1 March 1900, which a
/// sheet cannot hold as a date), text columns as text.
bool ExpExcel(const std::string& arquivo, Fonte& fonte, const Progresso& progresso = {},
              int* planilhas = nullptr);

/// Data rows per sheet: 1,048,575 (a sheet's 1,048,576 rows, the header
/// one of them).
std::int32_t linhasPorPlanilha();
/// For tests, which cannot afford a million rows per sheet: another count
/// (0 restores the real one).
void defineLinhasPorPlanilha(std::int32_t linhas);

} // namespace exporta
