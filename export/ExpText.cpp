#include "export/Exporta.h"

#include "export/ExpCodificacao.h"
#include "rtl/charset.h"
#include "rtl/safefile.h"
#include "rtl/strutil.h"

#include <vector>

namespace exporta {

char caractereDe(const std::string& edit) {
    std::size_t i = 0;
    while (i < edit.size() && static_cast<unsigned char>(edit[i]) <= 32)
        ++i;
    // Only leading blanks matter: the first character left is the answer,
    // and if anything remains, something is left after trimming both ends.
    return i < edit.size() ? edit[i] : ' ';
}

namespace {

void qualificaEm(std::string& linha, std::string_view valor, std::string_view qualificador) {
    linha += qualificador;
    // Whole runs between qualifiers at a time: most values hold none.
    for (std::size_t de = 0;;) {
        const std::size_t ate = valor.find(qualificador, de);
        if (ate == std::string_view::npos) {
            linha.append(valor.substr(de));
            break;
        }
        linha.append(valor.substr(de, ate + qualificador.size() - de));
        linha += qualificador;
        de = ate + qualificador.size();
    }
    linha += qualificador;
}

} // namespace

std::string comExtensao(const std::string& arquivo, std::string_view extensao,
                        std::string_view antiga) {
    const std::size_t barra = arquivo.find_last_of('/');
    const std::size_t inicio = barra == std::string::npos ? 0 : barra + 1;
    const std::size_t ponto = arquivo.find_last_of('.');
    // A dot that starts the name (a hidden file) begins no extension.
    const bool temExtensao = ponto != std::string::npos && ponto > inicio;
    const std::string_view atual =
        temExtensao ? std::string_view(arquivo).substr(ponto + 1) : std::string_view();
    if (temExtensao && rtl::sameText(atual, extensao)) return arquivo;
    if (temExtensao && rtl::sameText(atual, antiga))
        return arquivo.substr(0, ponto + 1) + std::string(extensao);
    if (temExtensao && atual.empty()) return arquivo + std::string(extensao);
    return arquivo + "." + std::string(extensao);
}

std::string Qualifica(const std::string& valor, char qualificador) {
    std::string r;
    r.reserve(valor.size() + 2);
    qualificaEm(r, valor, std::string_view(&qualificador, 1));
    return r;
}

bool ExpText(const std::string& arquivo, Fonte& fonte, const std::string& edSepC,
             const std::string& edSepT, const Progresso& progresso) {
    const char separador = caractereDe(edSepC);
    const char qualificador = caractereDe(edSepT);
    const std::int64_t total = fonte.registros();
    if (progresso) progresso(0, total);
    fonte.primeiro();

    rtl::SafeFile saida(arquivo);
    // Latin-1 files take the bytes as they come, WIN1252 included; a UTF-8
    // file converts every value from its column's set, and the separator and
    // the qualifier, Latin-1 characters of the edits, too (ExpCodificacao.h).
    const Codificacao cod = Codificacao::de(fonte, true);
    auto noArquivo = [&cod](char c) {
        return cod.utf8 ? rtl::toUtf8(std::string_view(&c, 1), rtl::cs::None) : std::string(1, c);
    };
    const std::string sep = noArquivo(separador);
    const std::string qual = noArquivo(qualificador);
    const int colunas = fonte.colunas();
    std::vector<int> sets;
    for (int k = 0; k < colunas; ++k)
        sets.push_back(fonte.charSet(k));
    std::string linha, v, u;
    std::int64_t escritas = 0;
    while (!fonte.fim()) {
        linha.clear();
        for (int k = 0; k < colunas; ++k) {
            if (k > 0 && separador != ' ') linha += sep;
            const Conversao conversao = cod.colunas[static_cast<std::size_t>(k)];
            const int conjunto = sets[static_cast<std::size_t>(k)];
            if (qualificador == ' ') {
                if (conversao == Conversao::Copia)
                    fonte.acrescentaTexto(k, linha);
                else {
                    v.clear();
                    fonte.acrescentaTexto(k, v);
                    Codificacao::acrescenta(linha, v, conjunto, conversao);
                }
                continue;
            }
            v.clear();
            fonte.acrescentaTexto(k, v);
            std::string_view valor = v;
            if (conversao != Conversao::Copia) {
                u.clear();
                Codificacao::acrescenta(u, v, conjunto, conversao);
                valor = u;
            }
            qualificaEm(linha, valor, qual);
        }
        saida.line(linha);
        ++escritas;
        if (progresso) progresso(escritas, total);
        fonte.proximo();
    }
    saida.commit();
    return true;
}

} // namespace exporta
