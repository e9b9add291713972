#include "filter/TrocaTermo.h"

#include "rtl/charset.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
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

// Where the scan stands with respect to quotes. A literal ('...') is the
// user's data; a quoted name ("...") is a column and, in dialect 1, a
// literal too. Inside one, the other kind of quote is an ordinary character.
enum class Citacao { fora, literal, nome };

// Passing one character over the scan position, in either direction: each
// quote character swaps "outside" with its own kind and leaves the other kind
// alone, so the step is its own inverse and moving back one character undoes
// moving forward over it. A doubled quote inside ('' or "") toggles twice.
Citacao passa(Citacao c, char ch) {
    if (ch == '\'' && c != Citacao::nome)
        return c == Citacao::fora ? Citacao::literal : Citacao::fora;
    if (ch == '"' && c != Citacao::literal)
        return c == Citacao::fora ? Citacao::nome : Citacao::fora;
    return c;
}

} // namespace

std::string TrocaTermo(std::string texto, const std::string& termo, const std::string& troca) {
    if (termo.empty()) return texto;
    // One mark per character of `texto`, set for the characters put there by
    // a replacement. A match made only of such characters is left alone, so
    // each replacement consumes at least one character of the text as given
    // and the scan ends whatever `termo` and `troca` are.
    std::string inserido(texto.size(), '\0');
    std::ptrdiff_t i = 0;
    // The quote state of the characters before position i.
    Citacao citacao = Citacao::fora;

    auto moverPara = [&](std::ptrdiff_t j) {
        for (; i < j; ++i)
            if (i >= 0) citacao = passa(citacao, texto[static_cast<std::size_t>(i)]);
        for (; i > j; --i)
            if (i - 1 >= 0) citacao = passa(citacao, texto[static_cast<std::size_t>(i - 1)]);
    };
    auto soInserido = [&](std::ptrdiff_t de) {
        const char* inicio = inserido.data() + de;
        return std::memchr(inicio, '\0', termo.size()) == nullptr;
    };

    while (i <= static_cast<std::ptrdiff_t>(texto.size())) {
        if (citacao == Citacao::fora && coincide(texto, i, termo) && !soInserido(i)) {
            texto.replace(static_cast<std::size_t>(i), termo.size(), troca);
            inserido.replace(static_cast<std::size_t>(i), termo.size(), troca.size(), '\1');
            // The state before i is unchanged: only text from i on was edited.
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

bool CodificaCondicao(const std::string& utf8, int conjunto, const std::vector<NomeExibido>& nomes,
                      std::string& saida) {
    // Only names whose bytes are not their UTF-8 need putting back; the
    // longest first, so a name that begins another does not cut it.
    std::vector<const NomeExibido*> trocas;
    for (const NomeExibido& n : nomes)
        if (!n.first.empty() && n.first != n.second) trocas.push_back(&n);
    std::stable_sort(trocas.begin(), trocas.end(), [](const NomeExibido* a, const NomeExibido* b) {
        return a->first.size() > b->first.size();
    });
    saida.clear();
    std::string literal, codificado;
    // Inside a double-quoted name an apostrophe opens no literal, as in
    // TrocaTermo; names there are put back like bare ones.
    bool nome = false;
    for (std::size_t i = 0; i < utf8.size();) {
        if (utf8[i] == '"') nome = !nome;
        if (utf8[i] == '\'' && !nome) {
            // The literal runs to the quote that is not doubled (or to the end).
            std::size_t fim = i + 1;
            literal.clear();
            while (fim < utf8.size()) {
                if (utf8[fim] == '\'') {
                    if (fim + 1 < utf8.size() && utf8[fim + 1] == '\'') {
                        literal += "''";
                        fim += 2;
                        continue;
                    }
                    break;
                }
                literal += utf8[fim++];
            }
            if (!rtl::fromUtf8(literal, conjunto, codificado)) return false;
            saida += '\'';
            saida += codificado;
            if (fim < utf8.size()) saida += '\'';
            i = fim + 1;
            continue;
        }
        const NomeExibido* achado = nullptr;
        for (const NomeExibido* n : trocas)
            if (utf8.compare(i, n->first.size(), n->first) == 0) {
                achado = n;
                break;
            }
        if (achado) {
            saida += achado->second;
            i += achado->first.size();
        } else {
            saida += utf8[i++];
        }
    }
    return true;
}
