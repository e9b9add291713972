#include "rtl/format.h"
#include "rtl/decimal.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

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

} // namespace

// --- compiled patterns ---------------------------------------------------
//
// Both pattern languages compile to one form: a list of steps, each a code
// with small operands, and one pool of the literal texts the steps point
// into. A pattern is read once; writing a value walks its steps. The general
// routines keep the programs of the patterns each thread used last.

namespace detail {

struct Step {
    std::uint8_t code;
    std::uint8_t flag;
    std::uint16_t len; // literal length, or a count
    std::uint32_t pos; // literal start in the pool, or a position
};

struct Program {
    std::vector<Step> steps;
    // The literal texts the steps point into, followed by 16 spare bytes so
    // that a short literal is copied with one fixed-size move.
    std::string text;
};

} // namespace detail

namespace {

using detail::Step;

// Code 0 of both languages: the literal text[pos, pos + len).
constexpr std::uint8_t stepText = 0;

// Length of a quoted literal starting at `i` (the quotes included; an
// unclosed one runs to the end), or 0 when no quote starts there.
inline std::size_t quotedLength(std::string_view s, std::size_t i) {
    char q = s[i];
    if (q != '"' && q != '\'') [[likely]]
        return 0;
    std::size_t j = s.find(q, i + 1);
    return j == std::string_view::npos ? s.size() - i : j - i + 1;
}

// The text inside the quoted literal of length `q` at `i`.
inline std::string_view quotedText(std::string_view s, std::size_t i, std::size_t q) {
    return s.substr(i + 1, q >= 2 && s[i + q - 1] == s[i] ? q - 2 : q - 1);
}

// Spare bytes after the literal pool of a program.
constexpr std::size_t literalSlack = 16;

class ProgramBuilder {
public:
    explicit ProgramBuilder(detail::Program& p) : p_(p) {}

    std::size_t size() const { return p_.steps.size(); }
    Step& at(std::size_t i) { return p_.steps[i]; }

    // A step that writes no literal text of its own.
    void step(std::uint8_t code, std::uint8_t flag = 0, std::uint16_t len = 0,
              std::uint32_t pos = 0) {
        p_.steps.push_back(Step{code, flag, len, pos});
        mergeable_ = false;
    }
    // Literal text, joined to the literal step just before when there is
    // one: adjacent literals cost one copy.
    void literal(std::string_view t) {
        if (t.empty()) return;
        if (mergeable_ && p_.steps.back().len + t.size() <= 0xffff) {
            p_.text.append(t);
            p_.steps.back().len = static_cast<std::uint16_t>(p_.steps.back().len + t.size());
            return;
        }
        addText(stepText, t, t.size());
        mergeable_ = true;
    }
    // A step of `code` whose len is the length of each of two texts that
    // lie one after the other in the pool.
    void pair(std::uint8_t code, std::string_view first, std::string_view second) {
        const std::size_t pos = p_.text.size();
        p_.text.append(first).append(second);
        step(code, 0, static_cast<std::uint16_t>(first.size()), static_cast<std::uint32_t>(pos));
    }
    // What follows starts a new literal step (a section of its own begins).
    void separate() { mergeable_ = false; }
    // After the last step.
    void finish() { p_.text.append(literalSlack, '\0'); }

private:
    void addText(std::uint8_t code, std::string_view t, std::size_t len) {
        std::size_t pos = p_.text.size();
        p_.text.append(t);
        std::size_t n = len;
        while (n > 0xffff) { // a literal longer than a step can hold
            p_.steps.push_back(Step{code, 0, 0xffff, static_cast<std::uint32_t>(pos)});
            pos += 0xffff;
            n -= 0xffff;
        }
        p_.steps.push_back(
            Step{code, 0, static_cast<std::uint16_t>(n), static_cast<std::uint32_t>(pos)});
    }

    detail::Program& p_;
    bool mergeable_ = false;
};

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
    // A literal of a program's pool, which has literalSlack bytes after it.
    void literal(const char* s, std::size_t n) {
        if (n > literalSlack) {
            text(s, n);
            return;
        }
        room(literalSlack);
        std::memcpy(p_, s, literalSlack);
        p_ += n;
    }
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
    // Any unsigned number, padded with zeros to `width` (at most 24).
    void unsignedNumber(std::uint64_t u, int width) {
        char tmp[24];
        char* end = tmp + sizeof tmp;
        char* first = digitsBefore(end, u);
        while (end - first < width && first > tmp)
            *--first = '0';
        text(first, static_cast<std::size_t>(end - first));
    }
    // Room for `n` (at most the 64 of the buffer) more characters, written
    // from the pointer returned; advance() to the end of what was written.
    char* reserve(std::size_t n) {
        room(n);
        return p_;
    }
    void advance(char* to) { p_ = to; }

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

// Longer patterns are compiled for the one call and not kept: the cache's
// memory stays small whatever the patterns a caller passes.
constexpr std::size_t maxCachedPattern = 256;

// The programs of the last patterns one thread formatted with. Every thread
// has its own, so a lookup takes no lock, and the programs never change
// once made, so a NumberFormat or DateTimeFormat holding one may pass to
// another thread.
template <class P> class RecentPrograms {
public:
    // The program of `pattern` that `fits` accepts (the date programs also
    // depend on the settings they were compiled with), compiled by `compile`
    // when none is kept. Valid until the next call on this thread.
    template <class Fits, class Compile>
    const std::shared_ptr<const P>& find(std::string_view pattern, Fits fits, Compile compile) {
        if (matches(slots_[last_], pattern, fits)) [[likely]]
            return slots_[last_].program;
        for (std::size_t i = 0; i < slots_.size(); ++i)
            if (i != last_ && matches(slots_[i], pattern, fits)) {
                last_ = i;
                return slots_[i].program;
            }
        // Replace the slot least recently filled.
        last_ = next_;
        next_ = (next_ + 1) % slots_.size();
        Slot& slot = slots_[last_];
        std::shared_ptr<const P> program = compile();
        slot.pattern.assign(pattern); // should this fail, the slot keeps its old pair
        slot.program = std::move(program);
        return slot.program;
    }

private:
    struct Slot {
        std::string pattern;
        std::shared_ptr<const P> program;
    };
    template <class Fits>
    static bool matches(const Slot& slot, std::string_view pattern, Fits& fits) {
        return slot.program && slot.pattern == pattern && fits(*slot.program);
    }

    std::array<Slot, 8> slots_;
    std::size_t last_ = 0;
    std::size_t next_ = 0;
};

} // namespace

// --- number format patterns -------------------------------------------

namespace detail {

// One section of a number pattern: where its steps are and what the whole
// section says about the digits (counted up to its first exponent).
struct NumberSection {
    std::uint32_t first = 0; // its steps: [first, end)
    std::uint32_t end = 0;
    int intPlaceholders = 0;
    int firstIntZero = -1; // index among integer placeholders
    int decPlaceholders = 0;
    int lastDecZero = 0; // 1-based index of the last '0' after the point
    bool thousands = false;
    bool scientific = false;
    bool empty = true; // no text: another section or the general text stands in
};

struct NumberProgram : Program {
    NumberSection sections[3];
    int count = 0;
};

} // namespace detail

namespace {

using detail::NumberProgram;
using detail::NumberSection;

enum NumberStep : std::uint8_t {
    numText = stepText,
    // Integer digits at placeholders [pos, pos + len), with the thousands
    // separators among them; flag: also the digits that have no placeholder
    // of their own, which go before the first.
    numInt,
    numFrac,     // decimals [pos, pos + len), those that are shown
    numPoint,    // the decimal separator, when decimals are shown
    numExponent, // the letter pos, the sign ("+" too when flag) and at least len digits
};

// Whether an exponent part starts at `i`: E or e, then + or -.
bool exponentAt(std::string_view s, std::size_t i) {
    return (s[i] == 'E' || s[i] == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-');
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

// Appends a digit placeholder to the run of its kind just before, or starts one.
void placeholderStep(ProgramBuilder& b, const NumberSection& sec, NumberStep code, int index) {
    if (b.size() > sec.first && b.at(b.size() - 1).code == code) {
        ++b.at(b.size() - 1).len;
        return;
    }
    b.step(code, 0, 1, static_cast<std::uint32_t>(index));
}

void compileSection(ProgramBuilder& b, std::string_view t, NumberSection& sec) {
    sec.first = static_cast<std::uint32_t>(b.size());
    sec.empty = t.empty();
    b.separate();
    // The section's counts stop at its first exponent; the letters after it
    // still write what they write.
    bool counting = true;
    bool afterPoint = false;
    bool intStarted = false;
    int placeholder = 0; // integer placeholders so far
    int decimal = 0;     // decimal placeholders so far
    auto startInt = [&] {
        // The run that will also carry the digits without a placeholder.
        if (!intStarted) b.step(numInt, 1, 0, 0);
        intStarted = true;
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (std::size_t q = quotedLength(t, i)) {
            b.literal(quotedText(t, i, q));
            i += q - 1;
            continue;
        }
        const char c = t[i];
        if ((c == '0' || c == '#') && !afterPoint) {
            if (counting) {
                if (c == '0' && sec.firstIntZero < 0) sec.firstIntZero = sec.intPlaceholders;
                ++sec.intPlaceholders;
            }
            startInt();
            placeholderStep(b, sec, numInt, placeholder++);
        } else if (c == '0' || c == '#') {
            if (counting) {
                ++sec.decPlaceholders;
                if (c == '0') sec.lastDecZero = sec.decPlaceholders;
            }
            placeholderStep(b, sec, numFrac, decimal++);
        } else if (c == '.') {
            if (afterPoint) continue; // only the first one counts
            startInt();
            afterPoint = true;
            b.step(numPoint);
        } else if (c == ',') {
            if (counting && !afterPoint) sec.thousands = true;
        } else if (exponentAt(t, i)) {
            if (counting) sec.scientific = true;
            counting = false;
            startInt();
            const bool always = t[i + 1] == '+';
            std::uint16_t minDigits = 0;
            i += 2;
            while (i < t.size() && t[i] == '0' && minDigits < 4) {
                ++minDigits;
                ++i;
            }
            --i;
            b.step(numExponent, always ? 1 : 0, minDigits > 0 ? minDigits : 1,
                   static_cast<unsigned char>(c));
        } else {
            b.literal(t.substr(i, 1));
        }
    }
    sec.end = static_cast<std::uint32_t>(b.size());
}

std::shared_ptr<const NumberProgram> compileNumber(std::string_view pattern) {
    auto p = std::make_shared<NumberProgram>();
    std::string_view parts[3];
    p->count = splitSections(pattern, parts);
    ProgramBuilder b(*p);
    for (int s = 0; s < p->count; ++s)
        compileSection(b, parts[s], p->sections[s]);
    b.finish();
    return p;
}

// The program of `pattern`: the one this thread keeps, or one made into
// `uncached` when the pattern is too long to keep.
const std::shared_ptr<const NumberProgram>&
numberProgram(std::string_view pattern, std::shared_ptr<const NumberProgram>& uncached) {
    if (pattern.size() > maxCachedPattern) return uncached = compileNumber(pattern);
    thread_local RecentPrograms<NumberProgram> recent;
    return recent.find(
        pattern, [](const NumberProgram&) { return true; }, [&] { return compileNumber(pattern); });
}

// Rounds `d` for the section: to its decimals, or in scientific notation to
// its integer plus decimal placeholders.
void roundForSection(Decimal& d, const NumberSection& sec) {
    if (sec.scientific) {
        int ints = sec.intPlaceholders > 0 ? sec.intPlaceholders : 1;
        detail::roundDigits(d, ints + sec.decPlaceholders);
    } else {
        detail::roundDecimals(d, sec.decPlaceholders);
    }
}

void runSection(Staging& w, const NumberProgram& p, const NumberSection& sec, const Decimal& d,
                bool minus, const FormatSettings& fs) {
    if (minus) w.ch('-');

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
    const int fracStart = sec.scientific ? intLen : d.exp;
    int fracShown = sec.lastDecZero;
    for (int j = sec.decPlaceholders; j > fracShown; --j)
        if (d.at(fracStart + j - 1) != '0') {
            fracShown = j;
            break;
        }
    const char thou = sec.thousands && !sec.scientific ? fs.thousandSeparator : '\0';
    // Integer digit k sits at placeholder k - offset.
    const int offset = intLen - sec.intPlaceholders;

    const char* text = p.text.data();
    for (std::uint32_t s = sec.first; s < sec.end; ++s) {
        const Step& step = p.steps[s];
        switch (step.code) {
        case numText:
            w.literal(text + step.pos, step.len);
            break;
        case numInt: {
            const int from = static_cast<int>(step.pos) + offset;
            const int to = from + step.len;
            int k = step.flag || from < 0 ? 0 : from;
            while (k < to) {
                // Each digit with at most one separator after it.
                const int chunk = to - k < 16 ? to - k : 16;
                char* o = w.reserve(2 * static_cast<std::size_t>(chunk));
                for (const int stop = k + chunk; k < stop; ++k) {
                    *o++ = d.at(k - lead);
                    const int left = intLen - 1 - k;
                    if (thou && left > 0 && left % 3 == 0) *o++ = thou;
                }
                w.advance(o);
            }
            break;
        }
        case numFrac: {
            const int to = static_cast<int>(step.pos) + step.len;
            for (int j = static_cast<int>(step.pos); j < to && j < fracShown; ++j)
                w.ch(d.at(fracStart + j));
            break;
        }
        case numPoint:
            if (fracShown > 0) w.ch(fs.decimalSeparator);
            break;
        case numExponent:
            w.ch(static_cast<char>(step.pos));
            if (exponent < 0)
                w.ch('-');
            else if (step.flag)
                w.ch('+');
            w.unsignedNumber(static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent),
                             step.len);
            break;
        default:
            break;
        }
    }
}

void runNumber(std::string& out, const NumberProgram& p, Decimal d, const FormatSettings& fs,
               double generalValue, bool haveDouble, Currency currencyValue) {
    bool negative = d.neg && !d.isZero();
    int used = 0;
    bool minus = negative;
    if (negative && p.count >= 2 && !p.sections[1].empty) {
        used = 1;
        minus = false;
    }
    if (p.sections[used].empty) {
        // No section to use: the general text of the value.
        if (haveDouble)
            appendFloatToStr(out, generalValue, fs);
        else
            appendCurrToStr(out, currencyValue, fs);
        return;
    }
    const NumberSection* sec = &p.sections[used];
    roundForSection(d, *sec);
    Staging w(out);
    if (d.isZero()) {
        if (p.count >= 3 && !p.sections[2].empty) {
            runSection(w, p, p.sections[2], Decimal{}, false, fs);
            return;
        }
        if (used == 1) sec = &p.sections[0];
        minus = false;
    }
    runSection(w, p, *sec, d, minus, fs);
}

} // namespace

void appendFormatFloat(std::string& out, std::string_view pattern, double value,
                       const FormatSettings& fs) {
    if (appendNonFinite(out, value)) return;
    if (pattern.empty()) {
        appendFloatToStr(out, value, fs);
        return;
    }
    std::shared_ptr<const NumberProgram> uncached;
    runNumber(out, *numberProgram(pattern, uncached), detail::decimalFromDouble(value, 15), fs,
              value, true, Currency{});
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
    std::shared_ptr<const NumberProgram> uncached;
    runNumber(out, *numberProgram(pattern, uncached), detail::decimalFromCurrency(value), fs, 0.0,
              false, value);
}

std::string formatCurr(std::string_view pattern, Currency value, const FormatSettings& fs) {
    std::string r;
    appendFormatCurr(r, pattern, value, fs);
    return r;
}

NumberFormat::NumberFormat(std::string pattern) : pattern_(std::move(pattern)) {
    std::shared_ptr<const NumberProgram> uncached;
    if (!pattern_.empty()) program_ = numberProgram(pattern_, uncached);
}

void NumberFormat::append(std::string& out, double value, const FormatSettings& fs) const {
    if (appendNonFinite(out, value)) return;
    if (!program_) {
        appendFloatToStr(out, value, fs);
        return;
    }
    runNumber(out, *program_, detail::decimalFromDouble(value, 15), fs, value, true, Currency{});
}

void NumberFormat::append(std::string& out, Currency value, const FormatSettings& fs) const {
    if (!program_) {
        appendCurrToStr(out, value, fs);
        return;
    }
    runNumber(out, *program_, detail::decimalFromCurrency(value), fs, 0.0, false, value);
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

namespace detail {

struct DateProgram : Program {
    // What the steps read of a value: decoding skips the rest.
    bool needsDate = false;
    bool needsTime = false;
    bool needsDayOfWeek = false;
    // The named patterns of the settings (shortDateFormat, longDateFormat,
    // shortTimeFormat, longTimeFormat) that went into the program: bit i of
    // `named` set when namedPatterns[i] did.
    std::uint8_t named = 0;
    std::array<std::string, 4> namedPatterns;
};

} // namespace detail

namespace {

using detail::DateProgram;

// In groups by what they read of a value: nothing, the date, the day of the
// week, the time of day.
enum DateStep : std::uint8_t {
    dateText = stepText,
    dateSlash, // the regional date separator
    dateColon, // the regional time separator
    dateDay,
    dateMonth,
    dateYear2,
    dateYear4,
    dateShortMonthName,
    dateLongMonthName,
    dateShortDayName,
    dateLongDayName,
    dateChoice,         // text[pos, pos + len) before noon, the next len bytes after
    dateSkipAtMidnight, // skip the next pos steps when the time of day is 00:00:00.000
    dateHour,           // flag bit 1: twelve-hour clock
    dateMinute,
    dateSecond,
    dateMsec, // flag: three digits
    dateAmPm, // the regional AM/PM text
};

constexpr std::uint8_t padded = 1;
constexpr std::uint8_t twelveHours = 2;

// The patterns of the settings that pattern letters name, in the order of
// DateProgram::namedPatterns.
enum NamedPattern { shortDate, longDate, shortTime, longTime };
constexpr std::string FormatSettings::*settingsPattern[] = {
    &FormatSettings::shortDateFormat, &FormatSettings::longDateFormat,
    &FormatSettings::shortTimeFormat, &FormatSettings::longTimeFormat};

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

class DateCompiler {
public:
    DateCompiler(DateProgram& p, const FormatSettings& fs) : p_(p), b_(p), fs_(fs) {}

    void compile(std::string_view p, int depth) {
        if (depth > 3) return; // a format that names itself
        const bool twelve = usesTwelveHours(p);
        bool afterHour = false;
        for (std::size_t i = 0; i < p.size();) {
            if (std::size_t q = quotedLength(p, i)) {
                b_.literal(quotedText(p, i, q));
                i += q;
                continue;
            }
            char c = lower(p[i]);
            std::size_t run = 1;
            while (i + run < p.size() && lower(p[i + run]) == c)
                ++run;
            switch (c) {
            case 'c': {
                named(shortDate, depth);
                const std::size_t skip = b_.size();
                put(dateSkipAtMidnight);
                b_.literal(" ");
                named(longTime, depth);
                b_.at(skip).pos = static_cast<std::uint32_t>(b_.size() - skip - 1);
                b_.separate();
                i += 1;
                afterHour = false;
                continue;
            }
            case 'd':
                if (run > 6) run = 6;
                if (run <= 2) {
                    put(dateDay, run == 2 ? padded : 0);
                } else if (run == 3 || run == 4) {
                    put(run == 3 ? dateShortDayName : dateLongDayName);
                } else {
                    named(run == 5 ? shortDate : longDate, depth);
                }
                i += run;
                afterHour = false;
                continue;
            case 'm':
                if (run > 4) run = 4;
                if (afterHour && run <= 2)
                    put(dateMinute, run == 2 ? padded : 0);
                else if (run <= 2)
                    put(dateMonth, run == 2 ? padded : 0);
                else
                    put(run == 3 ? dateShortMonthName : dateLongMonthName);
                i += run;
                afterHour = false;
                continue;
            case 'y':
                put(run <= 2 ? dateYear2 : dateYear4);
                i += run;
                afterHour = false;
                continue;
            case 'h':
                if (run > 2) run = 2;
                put(dateHour, static_cast<std::uint8_t>((run == 2 ? padded : 0) |
                                                        (twelve ? twelveHours : 0)));
                i += run;
                afterHour = true;
                continue;
            case 'n':
            case 's':
                if (run > 2) run = 2;
                put(c == 'n' ? dateMinute : dateSecond, run == 2 ? padded : 0);
                i += run;
                afterHour = false;
                continue;
            case 'z':
                run = run >= 3 ? 3 : 1;
                put(dateMsec, run == 3 ? padded : 0);
                i += run;
                afterHour = false;
                continue;
            case 't':
                if (run > 2) run = 2;
                named(run == 1 ? shortTime : longTime, depth);
                i += run;
                afterHour = false;
                continue;
            case 'a':
                if (startsWithNoCase(p, i, "am/pm")) {
                    // The case of the pattern's own letters is kept.
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
                    put(dateAmPm);
                    i += 4;
                } else {
                    b_.literal(p.substr(i, 1));
                    i += 1;
                }
                continue;
            case '/':
                put(dateSlash);
                i += 1;
                continue;
            case ':':
                put(dateColon);
                i += 1;
                continue;
            default:
                b_.literal(p.substr(i, 1));
                i += 1;
                continue;
            }
        }
    }

    void finish() { b_.finish(); }

private:
    void put(DateStep code, std::uint8_t flag = 0) {
        p_.needsDate |= code >= dateDay && code <= dateLongMonthName;
        p_.needsDayOfWeek |= code == dateShortDayName || code == dateLongDayName;
        p_.needsTime |= code >= dateChoice;
        b_.step(code, flag);
    }
    void choice(std::string_view beforeNoon, std::string_view afterNoon) {
        p_.needsTime = true;
        b_.pair(dateChoice, beforeNoon, afterNoon);
    }
    // One of the settings' patterns, in place of the letters naming it.
    void named(NamedPattern which, int depth) {
        const std::string& pattern = fs_.*settingsPattern[which];
        p_.named |= static_cast<std::uint8_t>(1u << which);
        p_.namedPatterns[which] = pattern;
        compile(pattern, depth + 1);
    }

    DateProgram& p_;
    ProgramBuilder b_;
    const FormatSettings& fs_;
};

std::shared_ptr<const DateProgram> compileDate(std::string_view pattern, const FormatSettings& fs) {
    auto p = std::make_shared<DateProgram>();
    DateCompiler compiler(*p, fs);
    compiler.compile(pattern.empty() ? std::string_view("c") : pattern, 0);
    compiler.finish();
    return p;
}

// Whether `p` was compiled with the named patterns that `fs` holds now.
bool compiledWith(const DateProgram& p, const FormatSettings& fs) {
    if (!p.named) [[likely]]
        return true;
    for (int which = shortDate; which <= longTime; ++which)
        if (((p.named >> which) & 1) && p.namedPatterns[which] != fs.*settingsPattern[which])
            return false;
    return true;
}

// The program of `pattern` with the named patterns of `fs`: the one this
// thread keeps, or one made into `uncached` when the pattern is too long to
// keep.
const std::shared_ptr<const DateProgram>&
dateProgram(std::string_view pattern, const FormatSettings& fs,
            std::shared_ptr<const DateProgram>& uncached) {
    if (pattern.size() > maxCachedPattern) return uncached = compileDate(pattern, fs);
    thread_local RecentPrograms<DateProgram> recent;
    return recent.find(
        pattern, [&](const DateProgram& p) { return compiledWith(p, fs); },
        [&] { return compileDate(pattern, fs); });
}

// Inlined into its two callers: for short patterns the call is a
// noticeable share of the work.
[[gnu::always_inline]] inline void runDate(std::string& out, const DateProgram& p, TDateTime value,
                                           const FormatSettings& fs) {
    if (!isValidDateTime(value)) return;
    DateParts date;
    TimeParts time;
    if (p.needsDate && p.needsTime)
        decodeDateTime(value, date, time);
    else if (p.needsDate)
        date = decodeDate(value);
    else if (p.needsTime)
        time = decodeTime(value);
    const int dow = p.needsDayOfWeek ? dayOfWeek(value) : 1;
    const char* text = p.text.data();
    Staging w(out);
    const std::size_t count = p.steps.size();
    for (std::size_t k = 0; k < count; ++k) {
        const Step& step = p.steps[k];
        switch (step.code) {
        case dateText:
            w.literal(text + step.pos, step.len);
            break;
        case dateChoice:
            w.literal(text + step.pos + (time.hour >= 12 ? step.len : 0), step.len);
            break;
        case dateSkipAtMidnight:
            if (!(time.hour || time.minute || time.second || time.msec)) k += step.pos;
            break;
        case dateDay:
            w.number(date.day, step.flag ? 2 : 1);
            break;
        case dateMonth:
            w.number(date.month, step.flag ? 2 : 1);
            break;
        case dateYear2:
            w.two(date.year % 100);
            break;
        case dateYear4:
            w.number(date.year, 4);
            break;
        case dateHour: {
            int h = time.hour;
            if (step.flag & twelveHours) {
                h %= 12;
                if (h == 0) h = 12;
            }
            w.number(h, step.flag & padded ? 2 : 1);
            break;
        }
        case dateMinute:
            w.number(time.minute, step.flag ? 2 : 1);
            break;
        case dateSecond:
            w.number(time.second, step.flag ? 2 : 1);
            break;
        case dateMsec:
            w.number(time.msec, step.flag ? 3 : 1);
            break;
        case dateShortDayName:
            w.text(fs.shortDayNames[static_cast<std::size_t>(dow - 1)]);
            break;
        case dateLongDayName:
            w.text(fs.longDayNames[static_cast<std::size_t>(dow - 1)]);
            break;
        case dateShortMonthName:
            w.text(fs.shortMonthNames[static_cast<std::size_t>(date.month - 1)]);
            break;
        case dateLongMonthName:
            w.text(fs.longMonthNames[static_cast<std::size_t>(date.month - 1)]);
            break;
        case dateAmPm:
            w.text(time.hour >= 12 ? fs.timePMString : fs.timeAMString);
            break;
        case dateSlash:
            w.ch(fs.dateSeparator);
            break;
        case dateColon:
            w.ch(fs.timeSeparator);
            break;
        default:
            break;
        }
    }
}

} // namespace

DateTimeFormat::DateTimeFormat(std::string_view pattern, const FormatSettings& fs) {
    std::shared_ptr<const DateProgram> uncached;
    program_ = dateProgram(pattern, fs, uncached);
}

void DateTimeFormat::append(std::string& out, TDateTime value, const FormatSettings& fs) const {
    if (program_) runDate(out, *program_, value, fs);
}

std::string DateTimeFormat::format(TDateTime value, const FormatSettings& fs) const {
    std::string r;
    append(r, value, fs);
    return r;
}

void appendFormatDateTime(std::string& out, std::string_view pattern, TDateTime value,
                          const FormatSettings& fs) {
    std::shared_ptr<const DateProgram> uncached;
    runDate(out, *dateProgram(pattern, fs, uncached), value, fs);
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
