#pragma once
// Text in the database's character sets, and the conversions the edges
// (windows, files) make from them. Below the edges text stays as the bytes
// the server sent; what those bytes mean is told by a character set id, the
// number Firebird gives the set in RDB$CHARACTER_SETS.
#include <string>
#include <string_view>

namespace rtl {

/// Character set ids the program treats specially (RDB$CHARACTER_SET_ID).
namespace cs {
inline constexpr int None = 0;
inline constexpr int Octets = 1;
inline constexpr int Ascii = 2;
inline constexpr int UnicodeFss = 3;
inline constexpr int Utf8 = 4;
inline constexpr int Iso8859_1 = 21;
inline constexpr int Win1252 = 53;
} // namespace cs

/// The id of the set Firebird calls `name` ("WIN1252", "UTF8"; blanks after
/// the name, as a CHAR column returns it, are ignored; case matters not);
/// -1 for a name it does not know.
int charSetId(std::string_view name);

/// Firebird's name of the set `id` ("WIN1252"); "" for an unknown id.
const char* charSetName(int id);

/// The most bytes one character of the set `id` takes, as
/// RDB$CHARACTER_SETS gives it (1 for an unknown id).
int maxBytesPerChar(int id);

/// True when every character of the set `id` takes one byte (NONE and OCTETS
/// included); false for UTF8, UNICODE_FSS and the East Asian sets.
bool isSingleByte(int id);

/// Appends to `out`, as UTF-8, the text `bytes` held in the set `id`.
/// NONE and OCTETS read as Latin-1 (one byte, one character), the meaning the
/// program has always given to text without a set. A byte sequence that the
/// set does not define becomes U+FFFD, so decoding never fails.
void appendUtf8(std::string& out, std::string_view bytes, int id);

/// `bytes` held in the set `id`, as UTF-8 (appendUtf8 into a new string).
std::string toUtf8(std::string_view bytes, int id);

/// A table's or column's name as the server reports it, in UTF-8. Names are
/// held in UNICODE_FSS; a name that is not well-formed UTF-8 was written by a
/// client that sent Latin-1 bytes without a character set (the server keeps
/// them as they came), and is read as Latin-1, as the program always has.
std::string nameToUtf8(std::string_view name);

/// Encodes UTF-8 text into the set `id` (NONE and OCTETS as Latin-1).
/// Returns false, leaving `out` unspecified, when a character has no place
/// in the set or `utf8` is not well formed.
bool fromUtf8(std::string_view utf8, int id, std::string& out);

/// Appends `bytes` of the set `id` as Latin-1 text for a file of the
/// single-byte world: NONE, OCTETS and ISO8859_1 bytes unchanged; any other
/// set converted, and a character Latin-1 lacks handed to `missing` (called
/// with its code point and the output so far), which appends what stands
/// for it.
template <class Missing>
void appendLatin1(std::string& out, std::string_view bytes, int id, Missing&& missing);

/// Decodes one UTF-8 character at `s[i]`: its code point, and `i` moved past
/// it; an ill-formed sequence yields U+FFFD and moves one byte.
char32_t nextCodePoint(std::string_view s, std::size_t& i);

/// Appends the code point `c` as UTF-8.
void appendCodePoint(std::string& out, char32_t c);

/// The character of the WIN1252 byte `b`; U+FFFD for the five bytes the code
/// page leaves undefined.
char32_t win1252CodePoint(unsigned char b);

} // namespace rtl

template <class Missing>
void rtl::appendLatin1(std::string& out, std::string_view bytes, int id, Missing&& missing) {
    if (id == cs::None || id == cs::Octets || id == cs::Iso8859_1) {
        out.append(bytes);
        return;
    }
    if (id == cs::Win1252 || id == cs::Ascii) {
        // Byte by byte, the usual Western case without a detour through
        // UTF-8: only 0x80..0x9F of WIN1252 (and ASCII's upper half, which
        // holds no character) fall outside Latin-1.
        for (const char b : bytes) {
            const auto c = static_cast<unsigned char>(b);
            if (c < 0x80 || (c >= 0xA0 && id == cs::Win1252))
                out += b;
            else
                missing(id == cs::Win1252 ? win1252CodePoint(c) : char32_t{0xFFFD}, out);
        }
        return;
    }
    std::string converted;
    std::string_view u = bytes;
    if (id != cs::Utf8 && id != cs::UnicodeFss) {
        appendUtf8(converted, bytes, id);
        u = converted;
    }
    for (std::size_t i = 0; i < u.size();) {
        const char32_t c = nextCodePoint(u, i);
        if (c < 0x100)
            out += static_cast<char>(c);
        else
            missing(c, out);
    }
}
