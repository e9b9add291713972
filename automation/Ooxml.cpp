#include "automation/Ooxml.h"

#include "rtl/charset.h"

namespace automation::ooxml {

namespace {

// ASCII as XML character data: &, <, > and " escaped; the controls XML 1.0
// forbids (all but tab, line feed and carriage return) dropped.
void appendAscii(std::string& out, std::string_view ascii) {
    for (char c : ascii) {
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
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                out += c;
        }
    }
}

} // namespace

void appendXmlTextUtf8(std::string& out, std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            // Runs of plain ASCII at once.
            std::size_t j = i;
            while (j < utf8.size() && static_cast<unsigned char>(utf8[j]) < 0x80)
                ++j;
            appendAscii(out, utf8.substr(i, j - i));
            i = j;
            continue;
        }
        const char32_t cp = rtl::nextCodePoint(utf8, i);
        // XML 1.0 has no place for these two either.
        if (cp != 0xFFFE && cp != 0xFFFF) rtl::appendCodePoint(out, cp);
    }
}

} // namespace automation::ooxml
