#include "export/ExpCodificacao.h"

#include "rtl/charset.h"

#include <charconv>
#include <cstdint>

namespace exporta {

bool mundoLatino(int charSet) {
    switch (charSet) {
    case rtl::cs::None:
    case rtl::cs::Octets:
    case rtl::cs::Ascii:
    case rtl::cs::Iso8859_1:
    case rtl::cs::Win1252:
        return true;
    default:
        return false;
    }
}

namespace {

bool cabeEmLatin1(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();)
        if (rtl::nextCodePoint(utf8, i) > 0xFF) return false;
    return true;
}

} // namespace

Codificacao Codificacao::de(const Fonte& fonte, bool reproduz, bool xml) {
    Codificacao r;
    const int n = fonte.colunas();
    for (int k = 0; k < n && !r.utf8; ++k)
        r.utf8 = !mundoLatino(fonte.charSet(k)) || (xml && !cabeEmLatin1(fonte.rotulo(k)));
    r.colunas.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        const int cs = fonte.charSet(k);
        Conversao c;
        if (r.utf8)
            c = Conversao::Utf8;
        else if (reproduz || cs == rtl::cs::None || cs == rtl::cs::Octets ||
                 cs == rtl::cs::Iso8859_1)
            c = Conversao::Copia;
        else
            c = Conversao::Latin1;
        r.colunas.push_back(c);
    }
    return r;
}

void referencia(char32_t c, std::string& saida) {
    char buf[16] = {'&', '#'};
    char* fim = std::to_chars(buf + 2, buf + sizeof buf - 1, static_cast<std::uint32_t>(c)).ptr;
    *fim++ = ';';
    saida.append(buf, fim);
}

void Codificacao::acrescenta(std::string& saida, std::string_view bytes, int charSet, Conversao c) {
    switch (c) {
    case Conversao::Copia:
        saida.append(bytes);
        break;
    case Conversao::Latin1:
        rtl::appendLatin1(saida, bytes, charSet, referencia);
        break;
    case Conversao::Utf8:
        rtl::appendUtf8(saida, bytes, charSet);
        break;
    }
}

} // namespace exporta
