#include "automation/Ooxml.h"

#include "rtl/charset.h"

namespace automation::ooxml {

void appendXmlText(std::string& out, std::string_view latin1) {
    for (unsigned char c : latin1) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
            rtl::appendCodePoint(out, c);
        }
    }
}

void appendXmlTextUtf8(std::string& out, std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            // Runs of plain ASCII at once; the rest by appendXmlText's rules.
            std::size_t j = i;
            while (j < utf8.size() && static_cast<unsigned char>(utf8[j]) < 0x80)
                ++j;
            appendXmlText(out, utf8.substr(i, j - i));
            i = j;
            continue;
        }
        const char32_t cp = rtl::nextCodePoint(utf8, i);
        // XML 1.0 has no place for these two either.
        if (cp != 0xFFFE && cp != 0xFFFF) rtl::appendCodePoint(out, cp);
    }
}

std::string toUtf8(std::string_view latin1) {
    return rtl::toUtf8(latin1, rtl::cs::Iso8859_1);
}

} // namespace automation::ooxml
