#include "rtl/parse.h"
#include "rtl/errors.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace rtl {

namespace {

inline bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}
inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
inline char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Magnitude of a decimal or hexadecimal integer text, with `limit` as the
// largest magnitude allowed.
bool parseInteger(std::string_view s, std::uint64_t limitPos, std::uint64_t limitNeg, bool& neg,
                  std::uint64_t& mag) {
    s = trimmed(s);
    neg = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        neg = s[0] == '-';
        s.remove_prefix(1);
    }
    unsigned base = 10;
    if (!s.empty() && s[0] == '$') {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return false;
    const std::uint64_t limit = neg ? limitNeg : limitPos;
    std::uint64_t v = 0;
    for (char c : s) {
        unsigned d;
        if (isDigit(c))
            d = static_cast<unsigned>(c - '0');
        else if (base == 16 && lower(c) >= 'a' && lower(c) <= 'f')
            d = static_cast<unsigned>(lower(c) - 'a' + 10);
        else
            return false;
        if (v > (limit - d) / base) return false;
        v = v * base + d;
    }
    mag = v;
    return true;
}

// The parts of a decimal number text: sign, digit string without the
// decimal separator, how many of those digits stand before it, exponent.
struct NumberText {
    bool neg = false;
    std::string_view intDigits;
    std::string_view fracDigits;
    long exponent = 0;
};

bool scanNumber(std::string_view s, char decSep, NumberText& n) {
    s = trimmed(s);
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) n.neg = s[i++] == '-';
    std::size_t start = i;
    while (i < s.size() && isDigit(s[i]))
        ++i;
    n.intDigits = s.substr(start, i - start);
    if (i < s.size() && s[i] == decSep) {
        start = ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i;
        n.fracDigits = s.substr(start, i - start);
    }
    if (n.intDigits.empty() && n.fracDigits.empty()) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool eneg = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
        if (i >= s.size() || !isDigit(s[i])) return false;
        long e = 0;
        while (i < s.size() && isDigit(s[i])) {
            if (e < 100000) e = e * 10 + (s[i] - '0');
            ++i;
        }
        n.exponent = eneg ? -e : e;
    }
    return i == s.size();
}

} // namespace

bool tryStrToInt(std::string_view s, std::int32_t& out) {
    bool neg;
    std::uint64_t mag;
    if (!parseInteger(s, 2147483647u, 2147483648u, neg, mag)) return false;
    out = neg ? static_cast<std::int32_t>(-static_cast<std::int64_t>(mag))
              : static_cast<std::int32_t>(mag);
    return true;
}

std::int32_t strToInt(std::string_view s) {
    std::int32_t r;
    if (!tryStrToInt(s, r)) throwNotValid(s, "integer value");
    return r;
}

bool tryStrToInt64(std::string_view s, std::int64_t& out) {
    bool neg;
    std::uint64_t mag;
    if (!parseInteger(s, 9223372036854775807u, 9223372036854775808u, neg, mag)) return false;
    out = neg ? static_cast<std::int64_t>(0 - mag) : static_cast<std::int64_t>(mag);
    return true;
}

std::int64_t strToInt64(std::string_view s) {
    std::int64_t r;
    if (!tryStrToInt64(s, r)) throwNotValid(s, "integer value");
    return r;
}

bool tryStrToFloat(std::string_view s, double& out, const FormatSettings& fs) {
    NumberText n;
    if (!scanNumber(s, fs.decimalSeparator, n)) return false;
    // Rebuild in the form from_chars reads ("-123.45e6"), whatever the
    // regional separator.
    char small[128];
    std::string big;
    std::size_t need = n.intDigits.size() + n.fracDigits.size() + 16;
    char* buf = small;
    if (need > sizeof small) {
        big.resize(need);
        buf = big.data();
    }
    char* p = buf;
    if (n.neg) *p++ = '-';
    for (char c : n.intDigits)
        *p++ = c;
    if (n.intDigits.empty()) *p++ = '0';
    if (!n.fracDigits.empty()) {
        *p++ = '.';
        for (char c : n.fracDigits)
            *p++ = c;
    }
    if (n.exponent != 0) {
        *p++ = 'e';
        auto r = std::to_chars(p, buf + need, n.exponent);
        p = r.ptr;
    }
    double v = 0;
    auto r = std::from_chars(buf, p, v);
    if (r.ec == std::errc::result_out_of_range) {
        // Too small to represent is zero; too large is no valid value.
        if (std::fabs(v) > 1.0 || n.exponent > 0) return false;
        v = n.neg ? -0.0 : 0.0;
    } else if (r.ec != std::errc() || r.ptr != p) {
        return false;
    }
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
}

double strToFloat(std::string_view s, const FormatSettings& fs) {
    double r;
    if (!tryStrToFloat(s, r, fs)) throwNotValid(s, "floating point value");
    return r;
}

bool tryStrToCurr(std::string_view s, Currency& out, const FormatSettings& fs) {
    NumberText n;
    if (!scanNumber(s, fs.decimalSeparator, n)) return false;
    // All digits as one sequence; `point` digits stand before the decimal
    // point once the exponent is applied.
    std::string_view a = n.intDigits, b = n.fracDigits;
    while (!a.empty() && a.front() == '0')
        a.remove_prefix(1);
    long point = static_cast<long>(a.size()) + n.exponent;
    auto digitAt = [&](long i) -> int {
        if (i < 0) return 0;
        auto u = static_cast<std::size_t>(i);
        if (u < a.size()) return a[u] - '0';
        u -= a.size();
        return u < b.size() ? b[u] - '0' : 0;
    };
    long total = static_cast<long>(a.size() + b.size());
    // Skip leading zeros of the fraction when there is no integer part.
    long first = 0;
    while (first < total && digitAt(first) == 0)
        ++first;
    if (first == total) {
        out = Currency{};
        return true;
    }
    // ten-thousandths: digits up to position point + 4
    long end = point + 4;
    if (end - first > 19) return false;
    const std::uint64_t limit = n.neg ? 9223372036854775808u : 9223372036854775807u;
    std::uint64_t v = 0;
    for (long i = first < 0 ? first : (first < end ? first : end); i < end; ++i) {
        auto d = static_cast<unsigned>(digitAt(i));
        if (v > (limit - d) / 10) return false;
        v = v * 10 + d;
    }
    if (end >= 0 && digitAt(end) >= 5) {
        if (v == limit) return false;
        ++v;
    }
    out =
        Currency::fromRaw(n.neg ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v));
    return true;
}

Currency strToCurr(std::string_view s, const FormatSettings& fs) {
    Currency r;
    if (!tryStrToCurr(s, r, fs)) throwNotValid(s, "floating point value");
    return r;
}

namespace {

// `s` with the thousands separators of its integer part taken out, when they
// stand between groups of three digits (the first group one to three digits
// long); false when one stands anywhere else there.
bool ungroup(std::string_view s, const FormatSettings& fs, std::string& out) {
    const char sep = fs.thousandSeparator;
    s = trimmed(s);
    out.assign(s);
    if (sep == '\0' || sep == fs.decimalSeparator) return true;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t start = i;
    while (i < s.size() && (isDigit(s[i]) || s[i] == sep))
        ++i;
    const std::string_view run = s.substr(start, i - start);
    if (run.find(sep) == std::string_view::npos) return true;
    std::string digits;
    std::size_t group = 0;
    for (std::size_t k = 0; k < run.size(); ++k) {
        if (run[k] != sep) {
            digits += run[k];
            ++group;
            continue;
        }
        const bool first = digits.size() == group;
        if (group == 0 || group > 3 || (!first && group != 3)) return false;
        group = 0;
    }
    if (group != 3) return false;
    out = std::string(s.substr(0, start)) + digits + std::string(s.substr(i));
    return true;
}

} // namespace

bool tryStrToFloatGrouped(std::string_view s, double& out, const FormatSettings& fs) {
    std::string plain;
    return ungroup(s, fs, plain) && tryStrToFloat(plain, out, fs);
}

bool tryStrToCurrGrouped(std::string_view s, Currency& out, const FormatSettings& fs) {
    std::string plain;
    return ungroup(s, fs, plain) && tryStrToCurr(plain, out, fs);
}

// --- dates and times ---------------------------------------------------

namespace {

void skipBlanks(std::string_view s, std::size_t& i) {
    while (i < s.size() && isBlank(s[i]))
        ++i;
}

bool scanUnsigned(std::string_view s, std::size_t& i, int maxDigits, int& value, int& digits) {
    std::size_t start = i;
    int v = 0;
    while (i < s.size() && isDigit(s[i]) && static_cast<int>(i - start) < maxDigits)
        v = v * 10 + (s[i++] - '0');
    digits = static_cast<int>(i - start);
    if (digits == 0 || (i < s.size() && isDigit(s[i]))) return false;
    value = v;
    return true;
}

bool scanChar(std::string_view s, std::size_t& i, char c) {
    if (i < s.size() && s[i] == c) {
        ++i;
        return true;
    }
    return false;
}

// The order in which day, month and year appear in the short date format:
// order[k] is 'd', 'm' or 'y'.
void dateOrder(std::string_view f, char (&order)[3]) {
    std::size_t pos[3] = {std::string_view::npos, std::string_view::npos, std::string_view::npos};
    const char letters[3] = {'d', 'm', 'y'};
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] == '"' || f[i] == '\'') {
            std::size_t j = f.find(f[i], i + 1);
            if (j == std::string_view::npos) break;
            i = j;
            continue;
        }
        for (int k = 0; k < 3; ++k)
            if (lower(f[i]) == letters[k] && pos[k] == std::string_view::npos) pos[k] = i;
    }
    if (pos[0] == std::string_view::npos || pos[1] == std::string_view::npos ||
        pos[2] == std::string_view::npos) {
        order[0] = 'm';
        order[1] = 'd';
        order[2] = 'y';
        return;
    }
    int idx[3] = {0, 1, 2};
    for (int a = 0; a < 3; ++a)
        for (int b = a + 1; b < 3; ++b)
            if (pos[idx[b]] < pos[idx[a]]) std::swap(idx[a], idx[b]);
    for (int k = 0; k < 3; ++k)
        order[k] = letters[idx[k]];
}

int windowYear(int y, const FormatSettings& fs) {
    const int current = currentYear();
    const int base = current - fs.twoDigitYearCenturyWindow;
    y += base / 100 * 100;
    if (fs.twoDigitYearCenturyWindow > 0 && y < base) y += 100;
    return y;
}

bool scanDate(std::string_view s, std::size_t& i, const FormatSettings& fs, TDateTime& out) {
    int n[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int count = 0;
    skipBlanks(s, i);
    if (!scanUnsigned(s, i, 4, n[0], digits[0])) return false;
    count = 1;
    for (int k = 1; k < 3; ++k) {
        std::size_t save = i;
        skipBlanks(s, i);
        if (!scanChar(s, i, fs.dateSeparator)) {
            i = save;
            break;
        }
        skipBlanks(s, i);
        if (!scanUnsigned(s, i, 4, n[k], digits[k])) return false;
        ++count;
    }
    // A trailing separator ("5/3/") is allowed after the last number.
    if (count < 2) return false;
    char order[3];
    dateOrder(fs.shortDateFormat, order);
    int day = 0, month = 0, year = 0, yearDigits = 4;
    if (count == 3) {
        for (int k = 0; k < 3; ++k) {
            if (order[k] == 'd') day = n[k];
            if (order[k] == 'm') month = n[k];
            if (order[k] == 'y') {
                year = n[k];
                yearDigits = digits[k];
            }
        }
    } else {
        // Day and month of the current year, in their order of the format.
        int k = 0;
        for (char o : order) {
            if (o == 'y') continue;
            (o == 'd' ? day : month) = n[k++];
        }
        year = currentYear();
    }
    if (yearDigits <= 2) year = windowYear(year, fs);
    return tryEncodeDate(year, month, day, out);
}

// Matches the AM or PM marker at `i`: the regional texts, then "AM"/"PM"
// and "A"/"P", ignoring case. Returns 0 when none, 1 for AM, 2 for PM.
int scanAmPm(std::string_view s, std::size_t& i, const FormatSettings& fs) {
    auto match = [&](std::string_view word) {
        if (word.empty() || i + word.size() > s.size()) return false;
        for (std::size_t k = 0; k < word.size(); ++k)
            if (lower(s[i + k]) != lower(word[k])) return false;
        i += word.size();
        return true;
    };
    if (match(fs.timeAMString)) return 1;
    if (match(fs.timePMString)) return 2;
    if (match("am")) return 1;
    if (match("pm")) return 2;
    if (match("a")) return 1;
    if (match("p")) return 2;
    return 0;
}

bool scanTime(std::string_view s, std::size_t& i, const FormatSettings& fs, TDateTime& out) {
    skipBlanks(s, i);
    int ampm = 0;
    if (i < s.size() && !isDigit(s[i])) {
        ampm = scanAmPm(s, i, fs);
        if (!ampm) return false;
        skipBlanks(s, i);
    }
    int hour, minute = 0, second = 0, msec = 0, digits;
    if (!scanUnsigned(s, i, 2, hour, digits)) return false;
    bool haveMinutes = false;
    std::size_t save = i;
    skipBlanks(s, i);
    if (scanChar(s, i, fs.timeSeparator)) {
        skipBlanks(s, i);
        if (!scanUnsigned(s, i, 2, minute, digits)) return false;
        haveMinutes = true;
        save = i;
        skipBlanks(s, i);
        if (scanChar(s, i, fs.timeSeparator)) {
            skipBlanks(s, i);
            if (!scanUnsigned(s, i, 2, second, digits)) return false;
            if (i < s.size() && (s[i] == fs.decimalSeparator || s[i] == '.')) {
                ++i;
                int scale = 100, k = 0;
                while (i < s.size() && isDigit(s[i])) {
                    if (k++ < 3) {
                        msec += (s[i] - '0') * scale;
                        scale /= 10;
                    }
                    ++i;
                }
                if (k == 0) return false;
            }
        } else {
            i = save;
        }
    } else {
        i = save;
    }
    if (!ampm) {
        std::size_t save2 = i;
        skipBlanks(s, i);
        ampm = scanAmPm(s, i, fs);
        if (!ampm) i = save2;
    }
    if (!haveMinutes && !ampm) return false;
    if (ampm) {
        if (hour > 12) return false;
        if (ampm == 1 && hour == 12) hour = 0;
        if (ampm == 2 && hour < 12) hour += 12;
    }
    return tryEncodeTime(hour, minute, second, msec, out);
}

bool atEnd(std::string_view s, std::size_t i) {
    skipBlanks(s, i);
    return i == s.size();
}

} // namespace

bool tryStrToDate(std::string_view s, TDateTime& out, const FormatSettings& fs) {
    std::size_t i = 0;
    TDateTime d;
    if (!scanDate(s, i, fs, d)) return false;
    // A trailing separator after the last number ("05/03/2024/") is refused.
    if (!atEnd(s, i)) return false;
    out = d;
    return true;
}

TDateTime strToDate(std::string_view s, const FormatSettings& fs) {
    TDateTime r;
    if (!tryStrToDate(s, r, fs)) throwNotValid(s, "date");
    return r;
}

bool tryStrToTime(std::string_view s, TDateTime& out, const FormatSettings& fs) {
    std::size_t i = 0;
    TDateTime t;
    if (!scanTime(s, i, fs, t) || !atEnd(s, i)) return false;
    out = t;
    return true;
}

TDateTime strToTime(std::string_view s, const FormatSettings& fs) {
    TDateTime r;
    if (!tryStrToTime(s, r, fs)) throwNotValid(s, "time");
    return r;
}

bool tryStrToDateTime(std::string_view s, TDateTime& out, const FormatSettings& fs) {
    std::size_t i = 0;
    TDateTime d, t = 0;
    if (scanDate(s, i, fs, d)) {
        if (!atEnd(s, i)) {
            if (i < s.size() && !isBlank(s[i])) return false;
            if (!scanTime(s, i, fs, t) || !atEnd(s, i)) return false;
        }
        out = combineDateTime(d, t);
        return true;
    }
    i = 0;
    if (!scanTime(s, i, fs, t) || !atEnd(s, i)) return false;
    out = t;
    return true;
}

TDateTime strToDateTime(std::string_view s, const FormatSettings& fs) {
    TDateTime r;
    if (!tryStrToDateTime(s, r, fs)) throwNotValid(s, "date and time");
    return r;
}

} // namespace rtl
