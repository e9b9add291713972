#include "db/FbValues.h"

#include "db/FbUtils.h"

#include "rtl/datetime.h"
#include "rtl/format.h"
#include "rtl/parse.h"
#include "rtl/settings.h"
#include "rtl/strutil.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

/// Little-endian unsigned 64-bit word at `p`.
std::uint64_t word64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

/// Divides the 128-bit magnitude hi:lo by 10 in place; the remainder.
unsigned divide10(std::uint64_t& hi, std::uint64_t& lo) {
    std::uint64_t rem = hi % 10;
    hi /= 10;
    // The low word in two 32-bit halves, each step's dividend below 10 * 2^32.
    std::uint64_t upper = (rem << 32) | (lo >> 32);
    const std::uint64_t qUpper = upper / 10;
    rem = upper % 10;
    std::uint64_t lower = (rem << 32) | (lo & 0xFFFFFFFFu);
    const std::uint64_t qLower = lower / 10;
    rem = lower % 10;
    lo = (qUpper << 32) | qLower;
    return static_cast<unsigned>(rem);
}

/// Digits with a point `scale` places (0 or negative) from the right, as the
/// server writes a scaled number: "-0.0500", "12".
std::string placePoint(bool negative, std::string digits, int scale) {
    const std::size_t places = scale < 0 ? static_cast<std::size_t>(-scale) : 0;
    if (places > 0) {
        if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
        digits.insert(digits.size() - places, 1, '.');
    }
    return negative ? "-" + digits : digits;
}

/// Three digits of a densely packed declet.
unsigned declet(unsigned d) {
    unsigned d2, d1, d0;
    if ((d & 0x8) == 0) {
        d2 = (d >> 7) & 7;
        d1 = (d >> 4) & 7;
        d0 = d & 7;
    } else {
        switch ((d >> 1) & 3) {
        case 0:
            d2 = (d >> 7) & 7;
            d1 = (d >> 4) & 7;
            d0 = 8 + (d & 1);
            break;
        case 1:
            d2 = (d >> 7) & 7;
            d1 = 8 + ((d >> 4) & 1);
            d0 = ((d >> 4) & 6) | (d & 1);
            break;
        case 2:
            d2 = 8 + ((d >> 7) & 1);
            d1 = (d >> 4) & 7;
            d0 = ((d >> 7) & 6) | (d & 1);
            break;
        default:
            switch ((d >> 5) & 3) {
            case 0:
                d2 = 8 + ((d >> 7) & 1);
                d1 = 8 + ((d >> 4) & 1);
                d0 = ((d >> 7) & 6) | (d & 1);
                break;
            case 1:
                d2 = 8 + ((d >> 7) & 1);
                d1 = ((d >> 7) & 6) | ((d >> 4) & 1);
                d0 = 8 + (d & 1);
                break;
            case 2:
                d2 = (d >> 7) & 7;
                d1 = 8 + ((d >> 4) & 1);
                d0 = 8 + (d & 1);
                break;
            default:
                d2 = 8 + ((d >> 7) & 1);
                d1 = 8 + ((d >> 4) & 1);
                d0 = 8 + (d & 1);
                break;
            }
        }
    }
    return d2 * 100 + d1 * 10 + d0;
}

/// `count` bits of the little-endian `data` from bit `from` (0 = least
/// significant), the last one most significant.
unsigned bits(const unsigned char* data, std::size_t from, std::size_t count) {
    unsigned v = 0;
    for (std::size_t k = count; k-- > 0;) {
        const std::size_t i = from + k;
        v = (v << 1) | ((data[i / 8] >> (i % 8)) & 1u);
    }
    return v;
}

/// A parsed server text of a time or timestamp with a zone.
struct ZonedText {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
    std::string fraction; // digits after the point, trailing zeros dropped
    std::string zone;
};

bool readNumber(std::string_view s, std::size_t& i, std::size_t width, int& out) {
    if (i + width > s.size()) return false;
    out = 0;
    for (std::size_t k = 0; k < width; ++k) {
        if (!isDigit(s[i + k])) return false;
        out = out * 10 + (s[i + k] - '0');
    }
    i += width;
    return true;
}

bool parseZoned(std::string_view s, bool withDate, ZonedText& z) {
    std::size_t i = 0;
    if (withDate) {
        if (!readNumber(s, i, 4, z.year) || i >= s.size() || s[i++] != '-' ||
            !readNumber(s, i, 2, z.month) || i >= s.size() || s[i++] != '-' ||
            !readNumber(s, i, 2, z.day) || i >= s.size() || s[i++] != ' ')
            return false;
    }
    if (!readNumber(s, i, 2, z.hour) || i >= s.size() || s[i++] != ':' ||
        !readNumber(s, i, 2, z.minute) || i >= s.size() || s[i++] != ':' ||
        !readNumber(s, i, 2, z.second))
        return false;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i]))
            z.fraction += s[i++];
        while (!z.fraction.empty() && z.fraction.back() == '0')
            z.fraction.pop_back();
    }
    if (i >= s.size() || s[i++] != ' ' || i >= s.size()) return false;
    z.zone.assign(s.substr(i));
    rtl::TDateTime check;
    if (withDate && !rtl::tryEncodeDate(z.year, z.month, z.day, check)) return false;
    return z.hour < 24 && z.minute < 60 && z.second < 60;
}

void appendTwo(std::string& out, int v) {
    out += static_cast<char>('0' + v / 10 % 10);
    out += static_cast<char>('0' + v % 10);
}

/// Digits (an optional sign, a point, an exponent when `exponent`) of the
/// regional form to the server's: thousands separators in groups of three
/// before the decimal separator dropped, that separator a point.
bool numberForServer(std::string_view typed, bool exponent, std::string& out) {
    const rtl::FormatSettings& fs = rtl::formatSettings();
    const std::string_view t = rtl::trim(typed);
    std::string r;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) r += t[i++];
    const std::size_t start = i;
    int group = -1; // digits since the last thousands separator; -1 before one
    bool point = false, digits = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (isDigit(c)) {
            r += c;
            digits = true;
            if (group >= 0 && !point) ++group;
        } else if (!point && c == fs.thousandSeparator && fs.thousandSeparator != '\0' &&
                   i > start && (group < 0 || group == 3)) {
            group = 0;
        } else if (!point && c == fs.decimalSeparator) {
            if (group >= 0 && group != 3) return false;
            point = true;
            r += '.';
        } else {
            break;
        }
    }
    if (!digits || (group >= 0 && !point && group != 3)) return false;
    if (i < t.size()) {
        if (!exponent || (t[i] != 'E' && t[i] != 'e')) return false;
        r += 'E';
        ++i;
        if (i < t.size() && (t[i] == '-' || t[i] == '+')) r += t[i++];
        if (i >= t.size()) return false;
        for (; i < t.size(); ++i) {
            if (!isDigit(t[i])) return false;
            r += t[i];
        }
    }
    out = std::move(r);
    return true;
}

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

TFbExactKind FbExactKindOfCatalog(int fieldType, int charSetId) {
    switch (fieldType) {
    case 26:
        return TFbExactKind::Decimal;
    case 24:
    case 25:
        return TFbExactKind::DecFloat;
    case 28:
        return TFbExactKind::TimeTz;
    case 29:
        return TFbExactKind::TimestampTz;
    case 14:
    case 37:
        return charSetId == 1 ? TFbExactKind::Octets : TFbExactKind::None;
    default:
        return TFbExactKind::None;
    }
}

TFbExactKind FbExactKindOfSQLType(int sqlType) {
    switch (sqlType) {
    case FbSqlInt128:
        return TFbExactKind::Decimal;
    case FbSqlDecFloat16:
    case FbSqlDecFloat34:
        return TFbExactKind::DecFloat;
    case FbSqlTimeTz:
    case FbSqlTimeTzEx:
        return TFbExactKind::TimeTz;
    case FbSqlTimestampTz:
    case FbSqlTimestampTzEx:
        return TFbExactKind::TimestampTz;
    default:
        return TFbExactKind::None;
    }
}

bool FbIsNativeExactType(int sqlType) {
    return sqlType == FbSqlInt128 || sqlType == FbSqlDecFloat16 || sqlType == FbSqlDecFloat34;
}

std::vector<std::string> FbExactBindingsSQL(std::string_view serverVersion) {
    const int major = std::atoi(std::string(serverVersion.substr(0, 4)).c_str());
    if (major < 4) return {};
    // Text is the one form every client library reads and the server writes
    // without loss; input parameters of these types take the same binding.
    return {"set bind of int128 to varchar", "set bind of decfloat to varchar",
            "set bind of time zone to varchar"};
}

std::string FbInt128Text(const unsigned char* data, int scale) {
    std::uint64_t lo = word64(data), hi = word64(data + 8);
    const bool negative = (hi >> 63) != 0;
    if (negative) {
        // Two's complement magnitude; the most negative value maps to itself,
        // read unsigned it is its own magnitude.
        lo = ~lo + 1;
        hi = ~hi + (lo == 0 ? 1 : 0);
    }
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + divide10(hi, lo)));
    } while (hi != 0 || lo != 0);
    return placePoint(negative, std::move(digits), scale);
}

std::string FbDecFloatText(const unsigned char* data, std::size_t size) {
    if (size != 8 && size != 16) return {};
    const std::size_t total = size * 8;
    const bool wide = size == 16;
    const std::size_t expBits = wide ? 12 : 8;
    const std::size_t declets = wide ? 11 : 5;
    const bool negative = bits(data, total - 1, 1) != 0;
    const unsigned comb = bits(data, total - 6, 5);
    const std::string sign = negative ? "-" : "";
    if ((comb & 0x1E) == 0x1E) {
        if ((comb & 1) == 0) return sign + "Infinity";
        const bool signaling = bits(data, total - 7, 1) != 0;
        return sign + (signaling ? "sNaN" : "NaN");
    }
    unsigned msd, expHigh;
    if ((comb & 0x18) == 0x18) {
        expHigh = (comb >> 1) & 3;
        msd = 8 + (comb & 1);
    } else {
        expHigh = comb >> 3;
        msd = comb & 7;
    }
    const int bias = wide ? 6176 : 398;
    const int exponent =
        static_cast<int>((expHigh << expBits) | bits(data, total - 6 - expBits, expBits)) - bias;
    std::string digits(1, static_cast<char>('0' + msd));
    for (std::size_t k = declets; k-- > 0;) {
        const unsigned v = declet(bits(data, k * 10, 10));
        digits += static_cast<char>('0' + v / 100);
        digits += static_cast<char>('0' + v / 10 % 10);
        digits += static_cast<char>('0' + v % 10);
    }
    const std::size_t first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? "0" : digits.substr(first);
    // Scientific form as the decimal arithmetic's to-string gives it.
    const int n = static_cast<int>(digits.size());
    const int adjusted = exponent + n - 1;
    std::string r = sign;
    if (exponent <= 0 && adjusted >= -6) {
        if (exponent == 0) return r + digits;
        const int places = -exponent;
        if (n > places) return r + digits.substr(0, n - places) + "." + digits.substr(n - places);
        return r + "0." + std::string(places - n, '0') + digits;
    }
    r += digits[0];
    if (n > 1) r += "." + digits.substr(1);
    r += 'E';
    r += adjusted < 0 ? '-' : '+';
    r += std::to_string(adjusted < 0 ? -adjusted : adjusted);
    return r;
}

std::string FbNativeText(int sqlType, int scale, const unsigned char* data, std::size_t size) {
    switch (sqlType) {
    case FbSqlInt128:
        return size == 16 ? FbInt128Text(data, scale) : std::string();
    case FbSqlDecFloat16:
        return size == 8 ? FbDecFloatText(data, 8) : std::string();
    case FbSqlDecFloat34:
        return size == 16 ? FbDecFloatText(data, 16) : std::string();
    default:
        return {};
    }
}

void FbAppendExactText(std::string& out, TFbExactKind kind, std::string_view text, bool grouped) {
    const rtl::FormatSettings& fs = rtl::formatSettings();
    switch (kind) {
    case TFbExactKind::Decimal:
    case TFbExactKind::DecFloat: {
        std::size_t i = 0;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) out += text[i++];
        std::size_t intEnd = i;
        while (intEnd < text.size() && isDigit(text[intEnd]))
            ++intEnd;
        for (std::size_t k = i; k < intEnd; ++k) {
            out += text[k];
            const std::size_t left = intEnd - k - 1;
            if (grouped && kind == TFbExactKind::Decimal && left > 0 && left % 3 == 0 &&
                fs.thousandSeparator != '\0')
                out += fs.thousandSeparator;
        }
        for (std::size_t k = intEnd; k < text.size(); ++k)
            out += text[k] == '.' ? fs.decimalSeparator : text[k];
        return;
    }
    case TFbExactKind::TimeTz:
    case TFbExactKind::TimestampTz: {
        ZonedText z;
        const bool withDate = kind == TFbExactKind::TimestampTz;
        if (!parseZoned(text, withDate, z)) {
            out.append(text);
            return;
        }
        if (withDate) {
            rtl::appendFormatDateTime(out, fs.shortDateFormat,
                                      rtl::encodeDate(z.year, z.month, z.day), fs);
            out += ' ';
        }
        rtl::appendFormatDateTime(out, fs.longTimeFormat,
                                  rtl::encodeTime(z.hour, z.minute, z.second), fs);
        if (!z.fraction.empty()) {
            out += fs.decimalSeparator;
            out += z.fraction;
        }
        out += ' ';
        out += z.zone;
        return;
    }
    case TFbExactKind::Octets: {
        static const char hex[] = "0123456789ABCDEF";
        for (const char c : text) {
            const auto b = static_cast<unsigned char>(c);
            out += hex[b >> 4];
            out += hex[b & 15];
        }
        return;
    }
    case TFbExactKind::None:
        out.append(text);
        return;
    }
}

std::string FbExactText(TFbExactKind kind, std::string_view text, bool grouped) {
    std::string r;
    FbAppendExactText(r, kind, text, grouped);
    return r;
}

bool FbExactTextForServer(TFbExactKind kind, std::string_view typed, std::string& out) {
    out.assign(typed);
    switch (kind) {
    case TFbExactKind::Decimal:
        return numberForServer(typed, false, out);
    case TFbExactKind::DecFloat: {
        const std::string_view t = rtl::trim(typed);
        for (const char* word :
             {"Infinity", "-Infinity", "+Infinity", "NaN", "-NaN", "sNaN", "-sNaN"})
            if (rtl::sameText(t, word)) {
                out.assign(t);
                return true;
            }
        return numberForServer(typed, true, out);
    }
    case TFbExactKind::TimeTz:
    case TFbExactKind::TimestampTz: {
        const rtl::FormatSettings& fs = rtl::formatSettings();
        std::string_view t = rtl::trim(typed);
        // The zone is the last word: a region name or a signed offset.
        const std::size_t space = t.rfind(' ');
        if (space == std::string_view::npos) return false;
        const std::string_view zone = t.substr(space + 1);
        std::string moment(rtl::trim(t.substr(0, space)));
        // A fraction of a second after the seconds: digits after the
        // decimal separator that ends the text.
        std::string fraction;
        const std::size_t sep = moment.rfind(fs.decimalSeparator);
        const std::size_t colon = moment.rfind(fs.timeSeparator);
        if (sep != std::string::npos && colon != std::string::npos && sep > colon) {
            fraction = moment.substr(sep + 1);
            for (const char c : fraction)
                if (!isDigit(c)) return false;
            if (fraction.empty() || fraction.size() > 4) return false;
            moment.erase(sep);
        }
        rtl::TDateTime value;
        if (!rtl::tryStrToDateTime(moment, value, fs)) return false;
        rtl::DateParts d;
        rtl::TimeParts tp;
        rtl::decodeDateTime(value, d, tp);
        std::string r;
        if (kind == TFbExactKind::TimestampTz) {
            if (moment.find(fs.dateSeparator) == std::string::npos) return false;
            r += std::to_string(d.year / 1000 % 10) + std::to_string(d.year / 100 % 10);
            appendTwo(r, d.year % 100);
            r += '-';
            appendTwo(r, d.month);
            r += '-';
            appendTwo(r, d.day);
            r += ' ';
        } else if (moment.find(fs.dateSeparator) != std::string::npos) {
            return false;
        }
        appendTwo(r, tp.hour);
        r += ':';
        appendTwo(r, tp.minute);
        r += ':';
        appendTwo(r, tp.second);
        if (!fraction.empty()) r += "." + fraction;
        r += ' ';
        r.append(zone);
        out = std::move(r);
        return true;
    }
    case TFbExactKind::Octets: {
        const std::string_view t = rtl::trim(typed);
        if (t.size() % 2 != 0) return false;
        std::string r;
        for (std::size_t i = 0; i < t.size(); i += 2) {
            const int h = hexValue(t[i]), l = hexValue(t[i + 1]);
            if (h < 0 || l < 0) return false;
            r += static_cast<char>(h * 16 + l);
        }
        out = std::move(r);
        return true;
    }
    case TFbExactKind::None:
        return true;
    }
    return true;
}

bool TryTextToBoolean(std::string_view text, bool& value) {
    const std::string_view t = rtl::trim(text);
    for (const char* word : {"TRUE", "1", "S", "SIM"})
        if (rtl::sameText(t, word)) {
            value = true;
            return true;
        }
    for (const char* word : {"FALSE", "0", "N", "N\xc3O", "NAO"})
        if (rtl::sameText(t, word)) {
            value = false;
            return true;
        }
    return false;
}
