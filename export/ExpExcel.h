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
bool ExpExcel(const std::string& arquivo, Fonte& fonte, const Progresso& progresso = {});

} // namespace exporta
