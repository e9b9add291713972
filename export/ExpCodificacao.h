#pragma once
// The encoding of the text, HTML and XML files, chosen per export from the
// character sets of the exported columns.
//
// The rule: when every exported text column holds text of the single-byte
// Western world (NONE, OCTETS, ASCII, ISO8859_1, WIN1252), the file is
// Latin-1, and for NONE, OCTETS and ISO8859_1 text byte for byte what it
// always was (the bytes are copied, never converted). WIN1252 text keeps
// its characters that Latin-1 lacks (0x80..0x9F: euro sign, curly quotes,
// dashes, ellipsis): the HTML and XML writers write them as numeric
// character references (&#8364;), so the file stays Latin-1; the text
// writer keeps the database's byte (the file is then Windows-1252, which is
// what the tools of that database's users read). A label holding a
// character Latin-1 lacks goes into an HTML page as a reference; an XML
// element name cannot hold a reference, so such a label makes the XML file
// UTF-8 (the text writer writes no labels).
// Any other exported text column (UTF8, UNICODE_FSS, or another set such as
// WIN1251) makes the file UTF-8, without a byte order mark: every value is
// converted from its column's set, the program's own texts (dates, "SIM",
// "NÃO", currency) from Latin-1, the XML declaration says "UTF-8" and the
// HTML page declares its charset.
#include "export/Exporta.h"

#include <string>
#include <string_view>
#include <vector>

namespace exporta {

/// True for the sets of the single-byte Western world listed above.
bool mundoLatino(int charSet);

/// How the text of one column reaches the file.
enum class Conversao {
    Copia,  ///< the bytes as they are
    Latin1, ///< into Latin-1, a character it lacks as a reference
    Utf8,   ///< into UTF-8
};

/// The file's encoding for the columns of `fonte`, and how each column's
/// text gets there. `xml`: element names are made from the labels.
struct Codificacao {
    bool utf8 = false;
    std::vector<Conversao> colunas;

    /// `reproduz`: the text writer, which keeps WIN1252 bytes (Copia
    /// instead of Latin1 for the Latin world).
    static Codificacao de(const Fonte& fonte, bool reproduz, bool xml = false);

    /// Appends `bytes` (text of the set `charSet`) converted by `c`; escaped
    /// text (HTML, XML) must be escaped before, which every set the
    /// program reads allows: "&", "<" and ">" never occur inside a
    /// multi-byte character.
    static void acrescenta(std::string& saida, std::string_view bytes, int charSet, Conversao c);

    /// UTF-8 text (a label) in the file's encoding: unchanged in a UTF-8
    /// file; in Latin-1, a character it lacks written by `falta`.
    template <class Falta>
    void acrescentaUtf8(std::string& saida, std::string_view texto, Falta&& falta) const;
};

/// Appends "&#N;" for the code point `c`.
void referencia(char32_t c, std::string& saida);

} // namespace exporta

#include "rtl/charset.h"

template <class Falta>
void exporta::Codificacao::acrescentaUtf8(std::string& saida, std::string_view texto,
                                          Falta&& falta) const {
    if (utf8)
        saida.append(texto);
    else
        rtl::appendLatin1(saida, texto, rtl::cs::Utf8, falta);
}
