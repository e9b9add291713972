#include "export/Exporta.h"

#include "export/ExpCodificacao.h"
#include "rtl/charset.h"
#include "rtl/safefile.h"

#include <vector>

namespace exporta {

namespace {

// Names by code point: a Latin-1 file's bytes are its code points.
bool inicioDeNome(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || c == 0x200C ||
           c == 0x200D || (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) ||
           (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
           (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool parteDeNome(char32_t c) {
    return inicioDeNome(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || c == 0x203F || c == 0x2040;
}

// The bytes this touches ("<", ">", "&" and controls) are those characters
// in every set the program reads, never part of a multi-byte character, so
// it serves a value before its conversion as well as after.
void acrescentaLimpo(std::string& r, std::string_view valor) {
    for (char c : valor) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '<' || c == '>' || c == '&')
            r += ' ';
        else if (u >= 0x20 || u == '\t' || u == '\n' || u == '\r')
            r += c;
        // other control characters are not allowed anywhere in an XML 1.0 document
    }
}

std::string latin1(std::string_view utf8) {
    std::string r;
    rtl::appendLatin1(r, utf8, rtl::cs::Utf8, [](char32_t, std::string& o) { o += '_'; });
    return r;
}

} // namespace

std::string nomeXml(const std::string& rotulo) {
    std::string r;
    r.reserve(rotulo.size() + 1);
    for (char c : rotulo)
        r += parteDeNome(static_cast<unsigned char>(c)) ? c : '_';
    // A digit (or "-", ".") may continue a name but not start one.
    if (r.empty() || !inicioDeNome(static_cast<unsigned char>(r[0]))) r.insert(r.begin(), '_');
    return r;
}

std::string nomeXmlUtf8(const std::string& rotulo) {
    std::string r;
    r.reserve(rotulo.size() + 1);
    bool primeiro = true;
    for (std::size_t i = 0; i < rotulo.size();) {
        const char32_t c = rtl::nextCodePoint(rotulo, i);
        // As nomeXml: a character that may continue a name but not start
        // one gets a "_" before it; one that may do neither becomes "_".
        if (primeiro && parteDeNome(c) && !inicioDeNome(c)) r += '_';
        primeiro = false;
        if (parteDeNome(c))
            rtl::appendCodePoint(r, c);
        else
            r += '_';
    }
    if (r.empty()) r += '_';
    return r;
}

std::string valorXml(const std::string& valor) {
    std::string r;
    r.reserve(valor.size());
    acrescentaLimpo(r, valor);
    return r;
}

bool ExpXml(const std::string& arquivo, Fonte& fonte, const Progresso& progresso) {
    rtl::SafeFile saida(arquivo);
    const Codificacao cod = Codificacao::de(fonte, false, true);
    saida.line(cod.utf8 ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                        : "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
    saida.line("<Exportacao>");
    const int colunas = fonte.colunas();
    std::vector<std::string> abre, fecha;
    std::vector<int> sets;
    for (int k = 0; k < colunas; ++k) {
        sets.push_back(fonte.charSet(k));
        // A Latin-1 file's labels fit it (Codificacao::de sees to that).
        std::string nome =
            cod.utf8 ? nomeXmlUtf8(fonte.rotulo(k)) : nomeXml(latin1(fonte.rotulo(k)));
        abre.push_back("    <" + nome + ">");
        fecha.push_back("</" + nome + ">");
    }
    const std::int64_t total = fonte.registros();
    std::int64_t escritos = 0;
    if (progresso) progresso(0, total);
    fonte.primeiro();
    std::string linha, valor, limpo;
    while (!fonte.fim()) {
        saida.line("  <Registros>");
        for (int k = 0; k < colunas; ++k) {
            linha = abre[k];
            valor.clear();
            fonte.acrescentaTextoWeb(k, valor);
            const auto ku = static_cast<std::size_t>(k);
            if (cod.colunas[ku] == Conversao::Copia) {
                acrescentaLimpo(linha, valor);
            } else {
                limpo.clear();
                acrescentaLimpo(limpo, valor);
                Codificacao::acrescenta(linha, limpo, sets[ku], cod.colunas[ku]);
            }
            linha += fecha[k];
            saida.line(linha);
        }
        saida.line("  </Registros>");
        ++escritos;
        if (progresso) progresso(escritos, total);
        fonte.proximo();
    }
    saida.line("</Exportacao>");
    saida.commit();
    return true;
}

} // namespace exporta
