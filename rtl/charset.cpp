#include "rtl/charset.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <unordered_map>

namespace rtl {
namespace {

struct Set {
    int id;
    const char* name;  // Firebird's
    const char* iconv; // glibc's; nullptr where a fast path of our own serves
    int bytes;         // the most one character takes (RDB$BYTES_PER_CHARACTER)
};

// RDB$CHARACTER_SETS of Firebird 3, with the name glibc's iconv knows each by.
constexpr std::array<Set, 52> kSets{{
    {0, "NONE", nullptr, 1},
    {1, "OCTETS", nullptr, 1},
    {2, "ASCII", nullptr, 1},
    {3, "UNICODE_FSS", nullptr, 3},
    {4, "UTF8", nullptr, 4},
    {5, "SJIS_0208", "SHIFT_JIS", 2},
    {6, "EUCJ_0208", "EUC-JP", 2},
    {9, "DOS737", "CP737", 1},
    {10, "DOS437", "CP437", 1},
    {11, "DOS850", "CP850", 1},
    {12, "DOS865", "CP865", 1},
    {13, "DOS860", "CP860", 1},
    {14, "DOS863", "CP863", 1},
    {15, "DOS775", "CP775", 1},
    {16, "DOS858", "CP858", 1},
    {17, "DOS862", "CP862", 1},
    {18, "DOS864", "CP864", 1},
    {19, "NEXT", "NEXTSTEP", 1},
    {21, "ISO8859_1", nullptr, 1},
    {22, "ISO8859_2", "ISO-8859-2", 1},
    {23, "ISO8859_3", "ISO-8859-3", 1},
    {34, "ISO8859_4", "ISO-8859-4", 1},
    {35, "ISO8859_5", "ISO-8859-5", 1},
    {36, "ISO8859_6", "ISO-8859-6", 1},
    {37, "ISO8859_7", "ISO-8859-7", 1},
    {38, "ISO8859_8", "ISO-8859-8", 1},
    {39, "ISO8859_9", "ISO-8859-9", 1},
    {40, "ISO8859_13", "ISO-8859-13", 1},
    {44, "KSC_5601", "EUC-KR", 2},
    {45, "DOS852", "CP852", 1},
    {46, "DOS857", "CP857", 1},
    {47, "DOS861", "CP861", 1},
    {48, "DOS866", "CP866", 1},
    {49, "DOS869", "CP869", 1},
    {50, "CYRL", "CP1251", 1},
    {51, "WIN1250", "CP1250", 1},
    {52, "WIN1251", "CP1251", 1},
    {53, "WIN1252", nullptr, 1},
    {54, "WIN1253", "CP1253", 1},
    {55, "WIN1254", "CP1254", 1},
    {56, "BIG_5", "BIG5", 2},
    {57, "GB_2312", "GB2312", 2},
    {58, "WIN1255", "CP1255", 1},
    {59, "WIN1256", "CP1256", 1},
    {60, "WIN1257", "CP1257", 1},
    {63, "KOI8R", "KOI8-R", 1},
    {64, "KOI8U", "KOI8-U", 1},
    {65, "WIN1258", "CP1258", 1},
    {66, "TIS620", "TIS-620", 1},
    {67, "GBK", "GBK", 2},
    {68, "CP943C", "CP932", 2},
    {69, "GB18030", "GB18030", 4},
}};

const Set* find(int id) {
    for (const Set& s : kSets)
        if (s.id == id) return &s;
    return nullptr;
}

// Windows-1252's 0x80..0x9F; zero where the code page leaves a hole.
constexpr char16_t kWin1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr char32_t kReplacement = 0xFFFD;

void appendLatin1AsUtf8(std::string& out, std::string_view bytes) {
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

// One converter per direction and set, per thread: iconv_t keeps state
// between calls and opening one costs far more than a short conversion.
class Converters {
public:
    iconv_t get(const char* to, const char* from) {
        std::string key = std::string(to) + '<' + from;
        auto it = open_.find(key);
        if (it == open_.end()) it = open_.emplace(std::move(key), iconv_open(to, from)).first;
        if (it->second != reinterpret_cast<iconv_t>(-1))
            iconv(it->second, nullptr, nullptr, nullptr, nullptr);
        return it->second;
    }
    ~Converters() {
        for (auto& [k, cd] : open_)
            if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }

private:
    std::unordered_map<std::string, iconv_t> open_;
};

iconv_t converter(const char* to, const char* from) {
    thread_local Converters c;
    return c.get(to, from);
}

// Decodes through iconv; a sequence the set does not define is replaced and
// stepped over one byte at a time.
void appendViaIconv(std::string& out, std::string_view bytes, const char* from) {
    iconv_t cd = converter("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        appendLatin1AsUtf8(out, bytes);
        return;
    }
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buf[512];
    while (inLeft > 0) {
        char* o = buf;
        std::size_t oLeft = sizeof buf;
        const std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<std::size_t>(o - buf));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            appendCodePoint(out, kReplacement);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

void appendValidUtf8(std::string& out, std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        // Runs of ASCII, by far the usual text, are copied whole.
        std::size_t j = i;
        while (j < s.size() && static_cast<unsigned char>(s[j]) < 0x80)
            ++j;
        out.append(s.data() + i, j - i);
        i = j;
        if (i >= s.size()) break;
        const std::size_t start = i;
        const char32_t c = nextCodePoint(s, i);
        if (c == kReplacement && i - start == 1)
            appendCodePoint(out, kReplacement);
        else
            out.append(s.data() + start, i - start);
    }
}

bool isAsciiOnly(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

} // namespace

int charSetId(std::string_view name) {
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    for (const Set& s : kSets) {
        const std::size_t n = std::strlen(s.name);
        if (n != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < n && same; ++i) {
            char c = name[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            same = c == s.name[i];
        }
        if (same) return s.id;
    }
    return -1;
}

const char* charSetName(int id) {
    const Set* s = find(id);
    return s ? s->name : "";
}

int maxBytesPerChar(int id) {
    const Set* s = find(id);
    return s ? s->bytes : 1;
}

bool isSingleByte(int id) {
    return maxBytesPerChar(id) == 1;
}

char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const unsigned char c = p[i];
    if (c < 0x80) {
        ++i;
        return c;
    }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + len > s.size()) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k < len; ++k) {
        const unsigned char t = p[i + k];
        if ((t & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += len;
    return cp;
}

void appendCodePoint(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char32_t win1252CodePoint(unsigned char b) {
    if (b < 0x80 || b >= 0xA0) return b;
    const char16_t u = kWin1252High[b - 0x80];
    return u ? u : kReplacement;
}

void appendUtf8(std::string& out, std::string_view bytes, int id) {
    switch (id) {
    case cs::None:
    case cs::Octets:
    case cs::Iso8859_1:
        appendLatin1AsUtf8(out, bytes);
        return;
    case cs::Utf8:
    case cs::UnicodeFss:
        appendValidUtf8(out, bytes);
        return;
    case cs::Ascii:
        for (unsigned char c : bytes)
            if (c < 0x80)
                out += static_cast<char>(c);
            else
                appendCodePoint(out, kReplacement);
        return;
    case cs::Win1252:
        for (unsigned char c : bytes) {
            if (c < 0x80)
                out += static_cast<char>(c);
            else
                appendCodePoint(out, win1252CodePoint(c));
        }
        return;
    default:
        break;
    }
    if (isAsciiOnly(bytes)) {
        out.append(bytes);
        return;
    }
    const Set* s = find(id);
    if (!s || !s->iconv) {
        appendLatin1AsUtf8(out, bytes);
        return;
    }
    appendViaIconv(out, bytes, s->iconv);
}

std::string toUtf8(std::string_view bytes, int id) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    appendUtf8(out, bytes, id);
    return out;
}

std::string nameToUtf8(std::string_view name) {
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t start = i;
        if (nextCodePoint(name, i) == kReplacement && i - start == 1) return toUtf8(name, cs::None);
    }
    return std::string(name);
}

bool fromUtf8(std::string_view utf8, int id, std::string& out) {
    out.clear();
    out.reserve(utf8.size());
    switch (id) {
    case cs::Utf8:
    case cs::UnicodeFss:
        for (std::size_t i = 0; i < utf8.size();) {
            const std::size_t start = i;
            if (nextCodePoint(utf8, i) == kReplacement && i - start == 1) return false;
        }
        out.assign(utf8);
        return true;
    case cs::None:
    case cs::Octets:
    case cs::Iso8859_1:
    case cs::Ascii:
    case cs::Win1252: {
        const char32_t limit = id == cs::Ascii ? 0x80 : 0x100;
        for (std::size_t i = 0; i < utf8.size();) {
            const std::size_t start = i;
            const char32_t c = nextCodePoint(utf8, i);
            if (c == kReplacement && i - start == 1) return false;
            if (c < limit && !(id == cs::Win1252 && c >= 0x80 && c < 0xA0)) {
                out += static_cast<char>(c);
                continue;
            }
            if (id != cs::Win1252) return false;
            int b = -1;
            for (int k = 0; k < 32 && b < 0; ++k)
                if (kWin1252High[k] != 0 && kWin1252High[k] == c) b = 0x80 + k;
            if (b < 0) return false;
            out += static_cast<char>(b);
        }
        return true;
    }
    default:
        break;
    }
    if (isAsciiOnly(utf8)) {
        out.assign(utf8);
        return true;
    }
    const Set* s = find(id);
    if (!s || !s->iconv) return false;
    iconv_t cd = converter(s->iconv, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char buf[512];
    while (inLeft > 0) {
        char* o = buf;
        std::size_t oLeft = sizeof buf;
        const std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<std::size_t>(o - buf));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
    }
    // Stateful encodings end with a shift back to their initial state.
    char* o = buf;
    std::size_t oLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, &o, &oLeft);
    out.append(buf, static_cast<std::size_t>(o - buf));
    return true;
}

} // namespace rtl
