#pragma once
// A cell's text (UTF-8, as the grid shows values or a spreadsheet writes
// them) made into the value a column receives, or the reason it cannot be.
#include "db/FbCatalog.h"
#include "db/FbImport.h"
#include "rtl/settings.h"

#include <string>
#include <string_view>

namespace importa {

/// A number as decimal digits: value = (negativo ? -1 : 1) * digitos * 10^expoente.
struct Numero {
    bool negativo = false;
    std::string digitos; ///< no leading zeros; empty is zero
    int expoente = 0;
};

/// Reads a number written with the regional separators (the thousands
/// separator between groups of three digits of the integer part, the
/// decimal separator once), an optional sign and exponent; when that fails
/// and the regional decimal separator is not '.', also with '.' as the
/// decimal separator and no groups ("1234.5", as other programs write it).
/// Blanks around are allowed.
bool leNumero(std::string_view s, const rtl::FormatSettings& fs, Numero& n);

/// A date, a time or both: the regional formats (rtl's parsing), or ISO
/// "yyyy-mm-dd", "hh:mm[:ss[.fff]]" and "yyyy-mm-dd[T ]hh:mm[:ss[.fff]]".
/// `dia` counts days since 17 November 1858, `fracao` ten-thousandths of
/// a second since midnight.
bool leData(std::string_view s, const rtl::FormatSettings& fs, std::int64_t& dia);
bool leHora(std::string_view s, const rtl::FormatSettings& fs, std::uint32_t& fracao);
bool leDataHora(std::string_view s, const rtl::FormatSettings& fs, std::int64_t& dia,
                std::uint32_t& fracao);

/// A column that receives cells: its catalog facts and its title as the
/// grid shows it (UTF-8).
struct Destino {
    const TFbColumnFacts* coluna = nullptr;
    std::string titulo;
};

/// Converts `celula` for `d`: empty is NULL except for text, where it stays
/// empty; text is kept exactly and encoded in the column's set. Returns ""
/// and fills `v`, or the Portuguese reason naming the column ("coluna
/// VALOR: 'abc' não é um número").
std::string converte(std::string_view celula, const Destino& d, const rtl::FormatSettings& fs,
                     TFbImportValue& v);

/// A date-time of rtl (days since 30 December 1899) as `dia` and `fracao`.
void deTDateTime(double dt, std::int64_t& dia, std::uint32_t& fracao);

/// Makes `n` the value of a column of `scale` (0 or negative) and 64-bit
/// storage, rounding half away from zero; false when it does not fit
/// `limite` (the largest magnitude the column holds).
bool escala(const Numero& n, int scale, std::int64_t limite, std::int64_t& out);

} // namespace importa
