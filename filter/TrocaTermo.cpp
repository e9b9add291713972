#include "filter/TrocaTermo.h"

#include <cstddef>
#include <utility>

const std::array<Termo, 17> termos = {{
    {" E ", " AND "},
    {" OU ", " OR "},
    {" COM ", " LIKE "},
    {" MES ( ", " EXTRACT(MONTH FROM "},
    {" DIA ( ", " EXTRACT(DAY FROM "},
    {" ANO ( ", " EXTRACT(YEAR FROM "},
    {" HOR (", " EXTRACT(HOUR FROM "},
    {" MIN (", " EXTRACT(MINUTE FROM "},
    {" SEG (", " EXTRACT(SECOND FROM "},
    {" D_HJ ", " CURRENT_DATE "},
    {" H_HJ ", " CURRENT_TIME "},
    // A date-part cell ends with a blank and the " ( " cell begins with one.
    {" MES  ( ", " EXTRACT(MONTH FROM "},
    {" DIA  ( ", " EXTRACT(DAY FROM "},
    {" ANO  ( ", " EXTRACT(YEAR FROM "},
    {" HOR  (", " EXTRACT(HOUR FROM "},
    {" MIN  (", " EXTRACT(MINUTE FROM "},
    {" SEG  (", " EXTRACT(SECOND FROM "},
}};

namespace {

char maiuscula(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool coincide(const std::string& texto, std::ptrdiff_t i, const std::string& termo) {
    if (i < 0 || static_cast<std::size_t>(i) + termo.size() > texto.size()) return false;
    for (std::size_t k = 0; k < termo.size(); ++k)
        if (maiuscula(texto[static_cast<std::size_t>(i) + k]) != termo[k]) return false;
    return true;
}

} // namespace

std::string TrocaTermo(std::string texto, const std::string& termo, const std::string& troca) {
    if (termo.empty()) return texto;
    std::ptrdiff_t i = 0;
    // Parity of the quotes before position i: odd means i lies inside a literal.
    bool dentroLiteral = false;
    // End of the text inserted by the last replacement; a new occurrence must
    // reach past it, so every replacement consumes untouched text.
    std::ptrdiff_t fimTroca = 0;

    auto moverPara = [&](std::ptrdiff_t j) {
        std::ptrdiff_t de = i < j ? i : j;
        std::ptrdiff_t ate = i < j ? j : i;
        if (de < 0) de = 0;
        for (std::ptrdiff_t k = de; k < ate; ++k)
            if (texto[static_cast<std::size_t>(k)] == '\'') dentroLiteral = !dentroLiteral;
        i = j;
    };

    const auto tamTermo = static_cast<std::ptrdiff_t>(termo.size());
    while (i <= static_cast<std::ptrdiff_t>(texto.size())) {
        if (!dentroLiteral && i + tamTermo > fimTroca && coincide(texto, i, termo)) {
            texto.replace(static_cast<std::size_t>(i), termo.size(), troca);
            fimTroca = i + static_cast<std::ptrdiff_t>(troca.size());
            // The parity before i is unchanged: only text from i on was edited.
            moverPara(troca == " LIKE " ? i + 4 : i - 1);
        } else {
            moverPara(i + 1);
        }
    }
    return texto;
}

std::string TraduzSentenca(const std::string& sentenca) {
    std::string resultado = sentenca;
    for (const Termo& t : termos)
        resultado = TrocaTermo(std::move(resultado), t.termo, t.troca);
    return resultado;
}
