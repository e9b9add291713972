#include "rtl/format.h"
#include "rtl/decimal.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

namespace rtl {

namespace {

// "00" to "99", for writing two digits at once.
constexpr std::array<char, 200> digitPairs = [] {
    std::array<char, 200> t{};
    for (int i = 0; i < 100; ++i) {
        t[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        t[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return t;
}();

// Writes the decimal digits of `u` backwards ending at `end`; returns the first.
inline char* digitsBefore(char* end, std::uint64_t u) {
    while (u >= 100) {
        end -= 2;
        std::memcpy(end, &digitPairs[static_cast<std::size_t>(u % 100 * 2)], 2);
        u /= 100;
    }
    if (u >= 10) {
        end -= 2;
        std::memcpy(end, &digitPairs[static_cast<std::size_t>(u * 2)], 2);
    } else {
        *--end = static_cast<char>('0' + u);
    }
    return end;
}

} // namespace

namespace detail {

namespace {
void stripTrailingZeros(Decimal& d) {
    while (d.n > 0 && d.digits[d.n - 1] == '0')
        --d.n;
    if (d.n == 0) d.exp = 0;
}
} // namespace

namespace {

using u128 = unsigned __int128;

constexpr std::array<u128, 39> powersOfTen = [] {
    std::array<u128, 39> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i)
        p[i] = p[i - 1] * 10;
    return p;
}();

constexpr std::array<double, 23> exactPowers = [] {
    std::array<double, 23> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i)
        p[i] = p[i - 1] * 10;
    return p;
}();

inline int bitLength(u128 x) {
    auto hi = static_cast<std::uint64_t>(x >> 64);
    if (hi) return 128 - __builtin_clzll(hi);
    auto lo = static_cast<std::uint64_t>(x);
    return lo ? 64 - __builtin_clzll(lo) : 0;
}

// The correctly rounded (half to even, as to_chars does) `precision`-digit
// decimal of a normal double, by exact integer arithmetic on its mantissa.
// False when the numbers involved would not fit in 128 bits; the caller then
// takes the slow road.
bool exactDigits(double v, int precision, std::uint64_t& digits, int& exp10) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    if (biased == 0 || biased == 0x7ff) return false; // subnormal, zero or not finite
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int e2 = biased - 1075; // |v| = m * 2^e2
    // floor(log10(2^(e2 + 52))): the decimal exponent of |v| or one less.
    int e10 = ((e2 + 52) * 78913) >> 18;
    // The estimate is one low when |v| reaches the next power of ten; the
    // powers up to 1e22 are exact doubles, so the check is exact there.
    if (e10 >= -1 && e10 < 22 && std::fabs(v) >= exactPowers[e10 + 1]) ++e10;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int s = precision - 1 - e10; // scale so that digits = |v| * 10^s
        if (s > 38 || -s > 38 || e2 > 126 || -e2 > 126) return false;
        u128 num = m;
        u128 den = 1;
        if (s >= 0) {
            if (53 + bitLength(powersOfTen[static_cast<std::size_t>(s)]) + (e2 > 0 ? e2 : 0) > 126)
                return false;
            num *= powersOfTen[static_cast<std::size_t>(s)];
        } else {
            if (bitLength(powersOfTen[static_cast<std::size_t>(-s)]) + (e2 < 0 ? -e2 : 0) > 125 ||
                53 + (e2 > 0 ? e2 : 0) > 126)
                return false;
            den = powersOfTen[static_cast<std::size_t>(-s)];
        }
        if (e2 >= 0)
            num <<= e2;
        else
            den <<= -e2;
        u128 q, rem;
        if (s >= 0) { // den is a power of two
            const int shift = e2 < 0 ? -e2 : 0;
            q = num >> shift;
            rem = num & (den - 1);
        } else {
            q = num / den;
            rem = num % den;
        }
        const u128 low = powersOfTen[static_cast<std::size_t>(precision - 1)];
        const u128 high = powersOfTen[static_cast<std::size_t>(precision)];
        if (q >= high) {
            ++e10;
            continue;
        }
        if (q < low) {
            --e10;
            continue;
        }
        const u128 twice = rem << 1;
        if (twice > den || (twice == den && (q & 1))) ++q;
        if (q == high) {
            q = low;
            ++e10;
        }
        digits = static_cast<std::uint64_t>(q);
        exp10 = e10;
        return true;
    }
    return false;
}

} // namespace

Decimal decimalFromDouble(double v, int precision) {
    Decimal d;
    if (v == 0 || !std::isfinite(v)) return d;
    d.neg = v < 0;
    std::uint64_t q;
    int e10;
    if (precision >= 1 && precision <= 17 && exactDigits(v, precision, q, e10)) {
        int n = precision;
        while (q % 10 == 0) { // q has exactly `precision` digits, so is not 0
            q /= 10;
            --n;
        }
        digitsBefore(d.digits + n, q);
        d.n = n;
        d.exp = e10 + 1;
        return d;
    }
    return decimalFromDoubleGeneral(v, precision);
}

Decimal decimalFromDoubleGeneral(double v, int precision) {
    Decimal d;
    if (v == 0 || !std::isfinite(v)) return d;
    d.neg = v < 0;
    char buf[40];
    // "d.ddddde+XX": correctly rounded, independent of the C locale.
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific,
                             precision - 1);
    char* p = buf;
    d.digits[d.n++] = *p++;
    if (*p == '.') {
        ++p;
        while (*p >= '0' && *p <= '9')
            d.digits[d.n++] = *p++;
    }
    int e = 0;
    std::from_chars(p + 1 + (p[1] == '+'), res.ptr, e);
    d.exp = e + 1;
    stripTrailingZeros(d);
    return d;
}

Decimal decimalFromCurrency(Currency c) {
    Decimal d;
    std::int64_t raw = c.raw();
    if (raw == 0) return d;
    d.neg = raw < 0;
    std::uint64_t u = d.neg ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    char tmp[24];
    int len = 0;
    while (u) {
        tmp[len++] = static_cast<char>('0' + u % 10);
        u /= 10;
    }
    for (int i = 0; i < len; ++i)
        d.digits[i] = tmp[len - 1 - i];
    d.n = len;
    d.exp = len - 4;
    stripTrailingZeros(d);
    return d;
}

void roundDigits(Decimal& d, int keep) {
    if (keep >= d.n) return;
    if (keep < 0) {
        d.n = 0;
        d.exp = 0;
        return;
    }
    bool up = d.digits[keep] >= '5';
    d.n = keep;
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == '9')
            d.digits[i--] = '0';
        if (i >= 0) {
            ++d.digits[i];
        } else {
            // All nines (or nothing kept): the carry makes a new leading 1.
            d.digits[0] = '1';
            d.n = 1;
            ++d.exp;
        }
    }
    stripTrailingZeros(d);
}

} // namespace detail

using detail::Decimal;

namespace {

void appendUnsigned(std::string& out, std::uint64_t u, int minDigits = 1) {
    char tmp[24];
    char* end = tmp + sizeof tmp;
    char* p = digitsBefore(end, u);
    for (int len = static_cast<int>(end - p); len < minDigits; ++len) {
        if (p == tmp) {
            out.append(static_cast<std::size_t>(minDigits - len), '0');
            break;
        }
        *--p = '0';
    }
    out.append(p, static_cast<std::size_t>(end - p));
}

// Integer digits of a decimal (at least "0" when none), then the decimals
// given by `decimals` (-1: as many as there are).
void appendPlain(std::string& out, const Decimal& d, char decSep, char thouSep, int decimals) {
    int intDigits = d.exp > 0 ? d.exp : 0;
    if (intDigits == 0) {
        out += '0';
    } else {
        for (int i = 0; i < intDigits; ++i) {
            out += d.at(i);
            int left = intDigits - 1 - i;
            if (thouSep && left > 0 && left % 3 == 0) out += thouSep;
        }
    }
    int frac = decimals >= 0 ? decimals : (d.n > d.exp ? d.n - d.exp : 0);
    if (frac > 0) {
        out += decSep;
        for (int j = 0; j < frac; ++j)
            out += d.at(d.exp + j);
    }
}

bool appendNonFinite(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "NAN";
        return true;
    }
    if (std::isinf(v)) {
        out += v < 0 ? "-INF" : "INF";
        return true;
    }
    return false;
}

// --- number format patterns -------------------------------------------

struct Section {
    std::string_view text;
    int intPlaceholders = 0;
    int firstIntZero = -1; // index among integer placeholders
    int decPlaceholders = 0;
    int lastDecZero = 0; // 1-based index of the last '0' after the point
    bool hasPoint = false;
    bool thousands = false;
    bool scientific = false;
};

// Length of a quoted literal starting at `i` (the quote included), or 0.
inline std::size_t quotedLength(std::string_view s, std::size_t i) {
    char q = s[i];
    if (q != '"' && q != '\'') [[likely]]
        return 0;
    std::size_t j = s.find(q, i + 1);
    return j == std::string_view::npos ? s.size() - i : j - i + 1;
}

// Whether an exponent part starts at `i`: E or e, then + or -.
bool exponentAt(std::string_view s, std::size_t i) {
    return (s[i] == 'E' || s[i] == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-');
}

Section analyse(std::string_view text) {
    Section sec;
    sec.text = text;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::size_t q = quotedLength(text, i)) {
            i += q - 1;
            continue;
        }
        char c = text[i];
        if (c == '0' || c == '#') {
            if (sec.hasPoint) {
                ++sec.decPlaceholders;
                if (c == '0') sec.lastDecZero = sec.decPlaceholders;
            } else {
                if (c == '0' && sec.firstIntZero < 0) sec.firstIntZero = sec.intPlaceholders;
                ++sec.intPlaceholders;
            }
        } else if (c == '.') {
            sec.hasPoint = true;
        } else if (c == ',') {
            if (!sec.hasPoint) sec.thousands = true;
        } else if (exponentAt(text, i)) {
            sec.scientific = true;
            break;
        }
    }
    return sec;
}

// Splits a pattern into up to three sections at semicolons outside quotes.
int splitSections(std::string_view pattern, std::string_view (&out)[3]) {
    int count = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= pattern.size(); ++i) {
        if (i < pattern.size()) {
            if (std::size_t q = quotedLength(pattern, i)) {
                i += q - 1;
                continue;
            }
            if (pattern[i] != ';') continue;
        }
        out[count++] = pattern.substr(start, i - start);
        start = i + 1;
        if (count == 3) break;
    }
    return count;
}

// Rounds `d` for the section: to its decimals, or in scientific notation to
// its integer plus decimal placeholders.
void roundForSection(Decimal& d, const Section& sec) {
    if (sec.scientific) {
        int ints = sec.intPlaceholders > 0 ? sec.intPlaceholders : 1;
        detail::roundDigits(d, ints + sec.decPlaceholders);
    } else {
        detail::roundDecimals(d, sec.decPlaceholders);
    }
}

void applySection(std::string& out, const Section& sec, const Decimal& d, bool minus,
                  const FormatSettings& fs) {
    std::string_view t = sec.text;
    if (minus) out += '-';

    // The integer digits to lay out and the exponent in scientific notation.
    int exponent = 0;
    int intLen;
    int lead; // zeros before the first significant digit in the integer part
    if (sec.scientific) {
        intLen = sec.intPlaceholders > 0 ? sec.intPlaceholders : 1;
        lead = 0;
        exponent = d.isZero() ? 0 : d.exp - intLen;
    } else {
        int digits = d.exp > 0 ? d.exp : 0;
        int minDigits = sec.firstIntZero >= 0 ? sec.intPlaceholders - sec.firstIntZero : 0;
        intLen = digits > minDigits ? digits : minDigits;
        lead = intLen - digits;
    }
    auto intAt = [&](int k) -> char { return d.at(k - lead); };
    int fracStart = sec.scientific ? (sec.intPlaceholders > 0 ? sec.intPlaceholders : 1) : d.exp;
    auto fracAt = [&](int j) -> char { return d.at(fracStart + j); }; // j 0-based
    int fracShown = sec.lastDecZero;
    for (int j = sec.decPlaceholders; j > fracShown; --j)
        if (fracAt(j - 1) != '0') {
            fracShown = j;
            break;
        }

    const char thou = sec.thousands && !sec.scientific ? fs.thousandSeparator : '\0';
    auto emitInt = [&](int k) {
        out += intAt(k);
        int left = intLen - 1 - k;
        if (thou && left > 0 && left % 3 == 0) out += thou;
    };

    int placeholder = 0; // integer placeholders seen
    int offset = intLen - sec.intPlaceholders;
    int decSeen = 0;
    bool afterPoint = false;
    bool intWritten = false;
    auto writeLeadingInts = [&] {
        // Integer digits with no placeholder of their own go before the first.
        for (int k = 0; k < offset; ++k)
            emitInt(k);
        intWritten = true;
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (std::size_t q = quotedLength(t, i)) {
            std::size_t inner = q >= 2 && i + q <= t.size() && t[i + q - 1] == t[i] ? q - 2 : q - 1;
            out.append(t.substr(i + 1, inner));
            i += q - 1;
            continue;
        }
        char c = t[i];
        if ((c == '0' || c == '#') && !afterPoint) {
            if (!intWritten) writeLeadingInts();
            int k = placeholder + offset;
            if (k >= 0) emitInt(k);
            ++placeholder;
        } else if ((c == '0' || c == '#') && afterPoint) {
            if (decSeen < fracShown) out += fracAt(decSeen);
            ++decSeen;
        } else if (c == '.') {
            if (afterPoint) continue;
            if (!intWritten) writeLeadingInts();
            afterPoint = true;
            if (fracShown > 0) out += fs.decimalSeparator;
        } else if (c == ',') {
            // grouping flag only
        } else if (exponentAt(t, i)) {
            if (!intWritten) writeLeadingInts();
            out += c;
            bool always = t[i + 1] == '+';
            i += 2;
            int minDigits = 0;
            while (i < t.size() && t[i] == '0' && minDigits < 4) {
                ++minDigits;
                ++i;
            }
            --i;
            if (exponent < 0)
                out += '-';
            else if (always)
                out += '+';
            appendUnsigned(out, static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent),
                           minDigits > 0 ? minDigits : 1);
        } else {
            out += c;
        }
    }
}

} // namespace

// The sections of a number pattern, each analysed at its first use.
struct NumberSections {
    std::string_view parts[3];
    int count = 0;
    Section sec[3];
    bool ready[3] = {false, false, false};

    explicit NumberSections(std::string_view pattern) { count = splitSections(pattern, parts); }
    const Section& get(int i) {
        if (!ready[i]) {
            sec[i] = analyse(parts[i]);
            ready[i] = true;
        }
        return sec[i];
    }
};

namespace {

void formatDecimal(std::string& out, NumberSections& ns, Decimal d, const FormatSettings& fs,
                   double generalValue, bool haveDouble, Currency currencyValue) {
    bool negative = d.neg && !d.isZero();
    int used = 0;
    bool minus = negative;
    if (negative && ns.count >= 2 && !ns.parts[1].empty()) {
        used = 1;
        minus = false;
    }
    if (ns.parts[used].empty()) {
        // No section to use: the general text of the value.
        if (haveDouble)
            appendFloatToStr(out, generalValue, fs);
        else
            appendCurrToStr(out, currencyValue, fs);
        return;
    }
    const Section* sec = &ns.get(used);
    roundForSection(d, *sec);
    if (d.isZero()) {
        if (ns.count >= 3 && !ns.parts[2].empty()) {
            applySection(out, ns.get(2), Decimal{}, false, fs);
            return;
        }
        if (used == 1) sec = &ns.get(0);
        minus = false;
    }
    applySection(out, *sec, d, minus, fs);
}

} // namespace

void appendFormatFloat(std::string& out, std::string_view pattern, double value,
                       const FormatSettings& fs) {
    if (appendNonFinite(out, value)) return;
    if (pattern.empty()) {
        appendFloatToStr(out, value, fs);
        return;
    }
    NumberSections ns(pattern);
    formatDecimal(out, ns, detail::decimalFromDouble(value, 15), fs, value, true, Currency{});
}

std::string formatFloat(std::string_view pattern, double value, const FormatSettings& fs) {
    std::string r;
    appendFormatFloat(r, pattern, value, fs);
    return r;
}

void appendFormatCurr(std::string& out, std::string_view pattern, Currency value,
                      const FormatSettings& fs) {
    if (pattern.empty()) {
        appendCurrToStr(out, value, fs);
        return;
    }
    NumberSections ns(pattern);
    formatDecimal(out, ns, detail::decimalFromCurrency(value), fs, 0.0, false, value);
}

std::string formatCurr(std::string_view pattern, Currency value, const FormatSettings& fs) {
    std::string r;
    appendFormatCurr(r, pattern, value, fs);
    return r;
}

NumberFormat::NumberFormat(std::string pattern) : pattern_(std::move(pattern)) {
    parse();
}

NumberFormat::NumberFormat(const NumberFormat& other) : pattern_(other.pattern_) {
    parse();
}

NumberFormat& NumberFormat::operator=(const NumberFormat& other) {
    if (this != &other) {
        pattern_ = other.pattern_;
        parse();
    }
    return *this;
}

NumberFormat::~NumberFormat() = default;

void NumberFormat::parse() {
    // The sections point into pattern_, so they are made again for every copy.
    sections_ = std::make_unique<NumberSections>(pattern_);
    for (int i = 0; i < sections_->count; ++i)
        sections_->get(i);
}

void NumberFormat::append(std::string& out, double value, const FormatSettings& fs) const {
    if (appendNonFinite(out, value)) return;
    if (pattern_.empty()) {
        appendFloatToStr(out, value, fs);
        return;
    }
    formatDecimal(out, *sections_, detail::decimalFromDouble(value, 15), fs, value, true,
                  Currency{});
}

void NumberFormat::append(std::string& out, Currency value, const FormatSettings& fs) const {
    if (pattern_.empty()) {
        appendCurrToStr(out, value, fs);
        return;
    }
    formatDecimal(out, *sections_, detail::decimalFromCurrency(value), fs, 0.0, false, value);
}

void appendFloatToStr(std::string& out, double value, const FormatSettings& fs) {
    if (appendNonFinite(out, value)) return;
    Decimal d = detail::decimalFromDouble(value, 15);
    if (d.isZero()) {
        out += '0';
        return;
    }
    // At most 15 digits, 4 leading zeros, sign, separator and exponent.
    char buf[48];
    char* p = buf;
    if (d.neg) *p++ = '-';
    if (d.exp > 15 || d.exp < -4) {
        *p++ = d.digits[0];
        if (d.n > 1) {
            *p++ = fs.decimalSeparator;
            std::memcpy(p, d.digits + 1, static_cast<std::size_t>(d.n - 1));
            p += d.n - 1;
        }
        *p++ = 'E';
        int e = d.exp - 1;
        if (e < 0) {
            *p++ = '-';
            e = -e;
        }
        p = std::to_chars(p, buf + sizeof buf, e).ptr;
    } else if (d.exp <= 0) {
        *p++ = '0';
        *p++ = fs.decimalSeparator;
        for (int i = d.exp; i < 0; ++i)
            *p++ = '0';
        std::memcpy(p, d.digits, static_cast<std::size_t>(d.n));
        p += d.n;
    } else {
        for (int i = 0; i < d.exp; ++i)
            *p++ = d.at(i);
        if (d.n > d.exp) {
            *p++ = fs.decimalSeparator;
            std::memcpy(p, d.digits + d.exp, static_cast<std::size_t>(d.n - d.exp));
            p += d.n - d.exp;
        }
    }
    out.append(buf, static_cast<std::size_t>(p - buf));
}

std::string floatToStr(double value, const FormatSettings& fs) {
    std::string r;
    appendFloatToStr(r, value, fs);
    return r;
}

void appendCurrToStr(std::string& out, Currency value, const FormatSettings& fs) {
    std::int64_t raw = value.raw();
    std::uint64_t u =
        raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    if (raw < 0) out += '-';
    appendUnsigned(out, u / 10000);
    auto frac = static_cast<unsigned>(u % 10000);
    if (frac == 0) return;
    out += fs.decimalSeparator;
    int digits = 4;
    while (frac % 10 == 0) {
        frac /= 10;
        --digits;
    }
    appendUnsigned(out, frac, digits);
}

std::string currToStr(Currency value, const FormatSettings& fs) {
    std::string r;
    appendCurrToStr(r, value, fs);
    return r;
}

namespace {

void appendCurrencyDecimal(std::string& out, Decimal d, int digits, int precision,
                           const FormatSettings& fs) {
    if (digits < 0) digits = 0;
    if (digits > 4) digits = 4;
    if (precision < 1) precision = 1;
    int keep = d.exp + digits;
    detail::roundDigits(d, keep < precision ? keep : precision);
    bool negative = d.neg && !d.isZero();
    static constexpr const char* positive[4] = {"$1", "1$", "$ 1", "1 $"};
    static constexpr const char* negativeLayouts[16] = {
        "($1)", "-$1",  "$-1",  "$1-",  "(1$)", "-1$",  "1-$",   "1$-",
        "-1 $", "-$ 1", "1 $-", "$ 1-", "$ -1", "1- $", "($ 1)", "(1 $)"};
    const char* layout;
    if (negative)
        layout =
            negativeLayouts[fs.negCurrFormat >= 0 && fs.negCurrFormat < 16 ? fs.negCurrFormat : 1];
    else
        layout = positive[fs.currencyFormat >= 0 && fs.currencyFormat < 4 ? fs.currencyFormat : 0];
    for (const char* p = layout; *p; ++p) {
        if (*p == '$')
            out += fs.currencyString;
        else if (*p == '1')
            appendPlain(out, d, fs.decimalSeparator, fs.thousandSeparator, digits);
        else
            out += *p;
    }
}

} // namespace

void appendCurrencyText(std::string& out, Currency value, int digits, int precision,
                        const FormatSettings& fs) {
    appendCurrencyDecimal(out, detail::decimalFromCurrency(value), digits, precision, fs);
}

std::string currencyText(Currency value, int digits, int precision, const FormatSettings& fs) {
    std::string r;
    appendCurrencyText(r, value, digits, precision, fs);
    return r;
}

void appendCurrencyText(std::string& out, double value, int digits, int precision,
                        const FormatSettings& fs) {
    if (appendNonFinite(out, value)) return;
    appendCurrencyDecimal(out, detail::decimalFromDouble(value, 15), digits, precision, fs);
}

std::string currencyText(double value, int digits, int precision, const FormatSettings& fs) {
    std::string r;
    appendCurrencyText(r, value, digits, precision, fs);
    return r;
}

void appendIntToStr(std::string& out, std::int64_t value) {
    if (value < 0) out += '-';
    appendUnsigned(out, value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                  : static_cast<std::uint64_t>(value));
}

std::string intToStr(std::int64_t value) {
    std::string r;
    appendIntToStr(r, value);
    return r;
}

// --- date-time format patterns -----------------------------------------

namespace {

inline char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool startsWithNoCase(std::string_view s, std::size_t i, std::string_view word) {
    if (i + word.size() > s.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k)
        if (lower(s[i + k]) != word[k]) return false;
    return true;
}

bool usesTwelveHours(std::string_view p) {
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (std::size_t q = quotedLength(p, i)) {
            i += q - 1;
            continue;
        }
        if (startsWithNoCase(p, i, "am/pm") || startsWithNoCase(p, i, "a/p") ||
            startsWithNoCase(p, i, "ampm"))
            return true;
    }
    return false;
}

struct DateTimeWriter {
    std::string& out;
    const FormatSettings& fs;
    DateParts date;
    TimeParts time;
    int dow; // 1 = Sunday

    void two(int v) {
        out += static_cast<char>('0' + v / 10 % 10);
        out += static_cast<char>('0' + v % 10);
    }
    void num(int v, bool padded) {
        if (padded)
            two(v);
        else
            appendUnsigned(out, static_cast<std::uint64_t>(v));
    }

    void write(std::string_view p, int depth) {
        if (depth > 3) return; // a format that names itself
        const bool twelve = usesTwelveHours(p);
        bool afterHour = false;
        for (std::size_t i = 0; i < p.size();) {
            if (std::size_t q = quotedLength(p, i)) {
                std::size_t inner = q >= 2 && p[i + q - 1] == p[i] ? q - 2 : q - 1;
                out.append(p.substr(i + 1, inner));
                i += q;
                continue;
            }
            char c = lower(p[i]);
            std::size_t run = 1;
            while (i + run < p.size() && lower(p[i + run]) == c)
                ++run;
            switch (c) {
            case 'c':
                write(fs.shortDateFormat, depth + 1);
                if (time.hour || time.minute || time.second || time.msec) {
                    out += ' ';
                    write(fs.longTimeFormat, depth + 1);
                }
                i += 1;
                afterHour = false;
                continue;
            case 'd':
                if (run > 6) run = 6;
                if (run <= 2)
                    num(date.day, run == 2);
                else if (run == 3)
                    out += fs.shortDayNames[static_cast<std::size_t>(dow - 1)];
                else if (run == 4)
                    out += fs.longDayNames[static_cast<std::size_t>(dow - 1)];
                else
                    write(run == 5 ? fs.shortDateFormat : fs.longDateFormat, depth + 1);
                i += run;
                afterHour = false;
                continue;
            case 'm':
                if (run > 4) run = 4;
                if (afterHour && run <= 2)
                    num(time.minute, run == 2);
                else if (run <= 2)
                    num(date.month, run == 2);
                else
                    out += (run == 3 ? fs.shortMonthNames
                                     : fs.longMonthNames)[static_cast<std::size_t>(date.month - 1)];
                i += run;
                afterHour = false;
                continue;
            case 'y':
                if (run <= 2)
                    two(date.year % 100);
                else
                    appendUnsigned(out, static_cast<std::uint64_t>(date.year), 4);
                i += run;
                afterHour = false;
                continue;
            case 'h': {
                if (run > 2) run = 2;
                int h = time.hour;
                if (twelve) {
                    h %= 12;
                    if (h == 0) h = 12;
                }
                num(h, run == 2);
                i += run;
                afterHour = true;
                continue;
            }
            case 'n':
            case 's':
                if (run > 2) run = 2;
                num(c == 'n' ? time.minute : time.second, run == 2);
                i += run;
                afterHour = false;
                continue;
            case 'z':
                if (run >= 3) {
                    appendUnsigned(out, static_cast<std::uint64_t>(time.msec), 3);
                    run = 3;
                } else {
                    appendUnsigned(out, static_cast<std::uint64_t>(time.msec));
                    run = 1;
                }
                i += run;
                afterHour = false;
                continue;
            case 't':
                if (run > 2) run = 2;
                write(run == 1 ? fs.shortTimeFormat : fs.longTimeFormat, depth + 1);
                i += run;
                afterHour = false;
                continue;
            case 'a': {
                bool pm = time.hour >= 12;
                if (startsWithNoCase(p, i, "am/pm")) {
                    // The case of the pattern's own letters is kept.
                    const char* src = pm ? "pm" : "am";
                    std::size_t at = pm ? i + 3 : i;
                    for (int k = 0; k < 2; ++k)
                        out += p[at + k] >= 'a' ? src[k] : static_cast<char>(src[k] - 32);
                    i += 5;
                } else if (startsWithNoCase(p, i, "a/p")) {
                    char l = pm ? p[i + 2] : p[i];
                    out += l;
                    i += 3;
                } else if (startsWithNoCase(p, i, "ampm")) {
                    out += pm ? fs.timePMString : fs.timeAMString;
                    i += 4;
                } else {
                    out += p[i];
                    i += 1;
                }
                continue;
            }
            case '/':
                out += fs.dateSeparator;
                i += 1;
                continue;
            case ':':
                out += fs.timeSeparator;
                i += 1;
                continue;
            default:
                out += p[i];
                i += 1;
                continue;
            }
        }
    }
};

} // namespace

// --- date-time patterns parsed once -------------------------------------

namespace {

enum DateOp : std::uint8_t {
    opText,           // text_[pos, pos + len)
    opChoice,         // text_[pos, pos + len) before noon, the next len bytes after
    opSkipAtMidnight, // skip the next pos ops when the time of day is 00:00:00.000
    opDay,
    opMonth,
    opYear2,
    opYear4,
    opHour, // flag bit 1: twelve-hour clock
    opMinute,
    opSecond,
    opMsec, // flag: three digits
    opShortDayName,
    opLongDayName,
    opShortMonthName,
    opLongMonthName,
    opAmPm, // the regional AM/PM text
    opDateSeparator,
    opTimeSeparator,
};

constexpr std::uint8_t padded = 1;
constexpr std::uint8_t twelveHours = 2;

// Builds the text in a small stack buffer and hands it to the string in few
// appends: per-character appends cost more than the conversion itself.
class Staging {
public:
    explicit Staging(std::string& out) : out_(out) {}
    ~Staging() { flush(); }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    void text(const char* s, std::size_t n) {
        if (n > 32) {
            flush();
            out_.append(s, n);
            return;
        }
        room(n);
        std::memcpy(p_, s, n);
        p_ += n;
    }
    void text(const std::string& s) { text(s.data(), s.size()); }
    void ch(char c) {
        room(1);
        *p_++ = c;
    }
    void two(int v) {
        room(2);
        p_[0] = static_cast<char>('0' + v / 10 % 10);
        p_[1] = static_cast<char>('0' + v % 10);
        p_ += 2;
    }
    // 0..9999 without leading zeros, or padded to `width` (at most 4).
    void number(int v, int width) {
        room(4);
        const auto u = static_cast<std::size_t>(v);
        if (u < 100) {
            if (u >= 10 || width >= 2) {
                if (width >= 3) fill(width - 2);
                std::memcpy(p_, &digitPairs[u * 2], 2);
                p_ += 2;
            } else {
                *p_++ = static_cast<char>('0' + u);
            }
            return;
        }
        if (u < 1000) {
            if (width >= 4) *p_++ = '0';
            *p_++ = static_cast<char>('0' + u / 100);
        } else {
            std::memcpy(p_, &digitPairs[u / 100 % 100 * 2], 2);
            p_ += 2;
        }
        std::memcpy(p_, &digitPairs[u % 100 * 2], 2);
        p_ += 2;
    }

private:
    void fill(int zeros) {
        while (zeros-- > 0)
            *p_++ = '0';
    }
    void room(std::size_t n) {
        if (static_cast<std::size_t>(buf_ + sizeof buf_ - p_) < n) flush();
    }
    void flush() {
        out_.append(buf_, static_cast<std::size_t>(p_ - buf_));
        p_ = buf_;
    }

    std::string& out_;
    char buf_[64];
    char* p_ = buf_;
};

} // namespace

// Walks a pattern exactly as DateTimeWriter::write does, recording what to
// write instead of writing it.
class DateTimeFormat::Compiler {
public:
    Compiler(DateTimeFormat& f, const FormatSettings& fs) : f_(f), fs_(fs) {}

    void compile(std::string_view p, int depth) {
        if (depth > 3) return;
        const bool twelve = usesTwelveHours(p);
        bool afterHour = false;
        for (std::size_t i = 0; i < p.size();) {
            if (std::size_t q = quotedLength(p, i)) {
                std::size_t inner = q >= 2 && p[i + q - 1] == p[i] ? q - 2 : q - 1;
                literal(p.substr(i + 1, inner));
                i += q;
                continue;
            }
            char c = lower(p[i]);
            std::size_t run = 1;
            while (i + run < p.size() && lower(p[i + run]) == c)
                ++run;
            switch (c) {
            case 'c': {
                compile(fs_.shortDateFormat, depth + 1);
                const std::size_t skip = f_.ops_.size();
                push(opSkipAtMidnight);
                literal(" ");
                compile(fs_.longTimeFormat, depth + 1);
                f_.ops_[skip].pos = static_cast<std::uint32_t>(f_.ops_.size() - skip - 1);
                mergeable_ = false;
                i += 1;
                afterHour = false;
                continue;
            }
            case 'd':
                if (run > 6) run = 6;
                if (run <= 2) {
                    push(opDay, run == 2 ? padded : 0);
                } else if (run == 3 || run == 4) {
                    push(run == 3 ? opShortDayName : opLongDayName);
                    f_.needsDayOfWeek_ = true;
                } else {
                    compile(run == 5 ? fs_.shortDateFormat : fs_.longDateFormat, depth + 1);
                }
                i += run;
                afterHour = false;
                continue;
            case 'm':
                if (run > 4) run = 4;
                if (afterHour && run <= 2)
                    push(opMinute, run == 2 ? padded : 0);
                else if (run <= 2)
                    push(opMonth, run == 2 ? padded : 0);
                else
                    push(run == 3 ? opShortMonthName : opLongMonthName);
                i += run;
                afterHour = false;
                continue;
            case 'y':
                push(run <= 2 ? opYear2 : opYear4);
                i += run;
                afterHour = false;
                continue;
            case 'h':
                if (run > 2) run = 2;
                push(opHour, static_cast<std::uint8_t>((run == 2 ? padded : 0) |
                                                       (twelve ? twelveHours : 0)));
                i += run;
                afterHour = true;
                continue;
            case 'n':
            case 's':
                if (run > 2) run = 2;
                push(c == 'n' ? opMinute : opSecond, run == 2 ? padded : 0);
                i += run;
                afterHour = false;
                continue;
            case 'z':
                run = run >= 3 ? 3 : 1;
                push(opMsec, run == 3 ? padded : 0);
                i += run;
                afterHour = false;
                continue;
            case 't':
                if (run > 2) run = 2;
                compile(run == 1 ? fs_.shortTimeFormat : fs_.longTimeFormat, depth + 1);
                i += run;
                afterHour = false;
                continue;
            case 'a':
                if (startsWithNoCase(p, i, "am/pm")) {
                    char am[2], pm[2];
                    for (int k = 0; k < 2; ++k) {
                        am[k] = p[i + k] >= 'a' ? "am"[k] : static_cast<char>("am"[k] - 32);
                        pm[k] = p[i + 3 + k] >= 'a' ? "pm"[k] : static_cast<char>("pm"[k] - 32);
                    }
                    choice({am, 2}, {pm, 2});
                    i += 5;
                } else if (startsWithNoCase(p, i, "a/p")) {
                    choice(p.substr(i, 1), p.substr(i + 2, 1));
                    i += 3;
                } else if (startsWithNoCase(p, i, "ampm")) {
                    push(opAmPm);
                    i += 4;
                } else {
                    literal(p.substr(i, 1));
                    i += 1;
                }
                continue;
            case '/':
                push(opDateSeparator);
                i += 1;
                continue;
            case ':':
                push(opTimeSeparator);
                i += 1;
                continue;
            default:
                literal(p.substr(i, 1));
                i += 1;
                continue;
            }
        }
    }

private:
    void push(DateOp code, std::uint8_t flag = 0) {
        f_.ops_.push_back(Op{code, flag, 0, 0});
        mergeable_ = false;
    }
    void literal(std::string_view t) {
        if (t.empty()) return;
        if (mergeable_ && f_.ops_.back().len + t.size() <= 0xffff) {
            f_.text_.append(t);
            f_.ops_.back().len = static_cast<std::uint16_t>(f_.ops_.back().len + t.size());
            return;
        }
        addText(opText, t, t.size());
        mergeable_ = true;
    }
    void choice(std::string_view before, std::string_view after) {
        addText(opChoice, std::string(before).append(after), before.size());
        mergeable_ = false;
    }
    void addText(DateOp code, std::string_view t, std::size_t len) {
        std::size_t pos = f_.text_.size();
        f_.text_.append(t);
        std::size_t n = len;
        while (n > 0xffff) { // a literal longer than an op can hold
            f_.ops_.push_back(Op{code, 0, 0xffff, static_cast<std::uint32_t>(pos)});
            pos += 0xffff;
            n -= 0xffff;
        }
        f_.ops_.push_back(
            Op{code, 0, static_cast<std::uint16_t>(n), static_cast<std::uint32_t>(pos)});
    }

    DateTimeFormat& f_;
    const FormatSettings& fs_;
    bool mergeable_ = false;
};

DateTimeFormat::DateTimeFormat(std::string_view pattern, const FormatSettings& fs) {
    Compiler(*this, fs).compile(pattern.empty() ? std::string_view("c") : pattern, 0);
}

void DateTimeFormat::append(std::string& out, TDateTime value, const FormatSettings& fs) const {
    if (ops_.empty() || !isValidDateTime(value)) return;
    DateParts date;
    TimeParts time;
    decodeDateTime(value, date, time);
    const int dow = needsDayOfWeek_ ? dayOfWeek(value) : 1;
    const char* text = text_.data();
    Staging w(out);
    const std::size_t count = ops_.size();
    for (std::size_t k = 0; k < count; ++k) {
        const Op& op = ops_[k];
        switch (op.code) {
        case opText:
            w.text(text + op.pos, op.len);
            break;
        case opChoice:
            w.text(text + op.pos + (time.hour >= 12 ? op.len : 0), op.len);
            break;
        case opSkipAtMidnight:
            if (!(time.hour || time.minute || time.second || time.msec)) k += op.pos;
            break;
        case opDay:
            w.number(date.day, op.flag ? 2 : 1);
            break;
        case opMonth:
            w.number(date.month, op.flag ? 2 : 1);
            break;
        case opYear2:
            w.two(date.year % 100);
            break;
        case opYear4:
            w.number(date.year, 4);
            break;
        case opHour: {
            int h = time.hour;
            if (op.flag & twelveHours) {
                h %= 12;
                if (h == 0) h = 12;
            }
            w.number(h, op.flag & padded ? 2 : 1);
            break;
        }
        case opMinute:
            w.number(time.minute, op.flag ? 2 : 1);
            break;
        case opSecond:
            w.number(time.second, op.flag ? 2 : 1);
            break;
        case opMsec:
            w.number(time.msec, op.flag ? 3 : 1);
            break;
        case opShortDayName:
            w.text(fs.shortDayNames[static_cast<std::size_t>(dow - 1)]);
            break;
        case opLongDayName:
            w.text(fs.longDayNames[static_cast<std::size_t>(dow - 1)]);
            break;
        case opShortMonthName:
            w.text(fs.shortMonthNames[static_cast<std::size_t>(date.month - 1)]);
            break;
        case opLongMonthName:
            w.text(fs.longMonthNames[static_cast<std::size_t>(date.month - 1)]);
            break;
        case opAmPm:
            w.text(time.hour >= 12 ? fs.timePMString : fs.timeAMString);
            break;
        case opDateSeparator:
            w.ch(fs.dateSeparator);
            break;
        case opTimeSeparator:
            w.ch(fs.timeSeparator);
            break;
        default:
            break;
        }
    }
}

std::string DateTimeFormat::format(TDateTime value, const FormatSettings& fs) const {
    std::string r;
    append(r, value, fs);
    return r;
}

void appendFormatDateTime(std::string& out, std::string_view pattern, TDateTime value,
                          const FormatSettings& fs) {
    if (!isValidDateTime(value)) return;
    DateTimeWriter w{out, fs, {}, {}, dayOfWeek(value)};
    decodeDateTime(value, w.date, w.time);
    w.write(pattern.empty() ? std::string_view("c") : pattern, 0);
}

std::string formatDateTime(std::string_view pattern, TDateTime value, const FormatSettings& fs) {
    std::string r;
    appendFormatDateTime(r, pattern, value, fs);
    return r;
}

std::string dateToStr(TDateTime value, const FormatSettings& fs) {
    return formatDateTime(fs.shortDateFormat, value, fs);
}

std::string timeToStr(TDateTime value, const FormatSettings& fs) {
    return formatDateTime(fs.longTimeFormat, value, fs);
}

std::string dateTimeToStr(TDateTime value, const FormatSettings& fs) {
    return formatDateTime("c", value, fs);
}

} // namespace rtl
