#include "rtl/settings.h"

#include <climits>
#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <memory>
#include <string_view>

namespace rtl {

namespace {

FormatSettings& current() {
    static FormatSettings fs = localeSettings("");
    return fs;
}

std::uint64_t generation = 1;

// Locale texts come in the locale's code set; the program's texts are
// Latin-1. Characters outside Latin-1 become `fallback`.
std::string toLatin1(std::string_view s, bool utf8, char fallback = '?') {
    if (!utf8) return std::string(s);
    std::string r;
    r.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        unsigned cp;
        std::size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            n = 4;
        } else {
            r += fallback;
            ++i;
            continue;
        }
        if (i + n > s.size()) {
            r += fallback;
            break;
        }
        for (std::size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += n;
        if (cp <= 0xFF)
            r += static_cast<char>(cp);
        else if (cp == 0x202F || cp == 0x2009 || cp == 0x2007)
            r += ' '; // thin and figure spaces used as thousands separators
        else
            r += fallback;
    }
    return r;
}

struct LocaleDeleter {
    void operator()(locale_t l) const {
        if (l) freelocale(l);
    }
};

// Translates a strftime date or time format into format-pattern letters,
// noting the first separator character met between fields.
std::string fromStrftime(std::string_view f, bool utf8, char& separator, nl_item ampmItem,
                         locale_t loc, int depth = 0) {
    std::string r;
    std::string literal;
    auto flushLiteral = [&] {
        if (literal.empty()) return;
        bool letters = false;
        for (char ch : literal)
            if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')) letters = true;
        if (letters) r += '"';
        r += literal;
        if (letters) r += '"';
        literal.clear();
    };
    for (std::size_t i = 0; i < f.size(); ++i) {
        char c = f[i];
        if (c == '%' && i + 1 < f.size()) {
            char k = f[++i];
            // glibc flags such as %-d or %Ey / %Oy
            while ((k == '-' || k == '_' || k == '0' || k == '^' || k == '#' || k == 'E' ||
                    k == 'O') &&
                   i + 1 < f.size())
                k = f[++i];
            std::string piece;
            switch (k) {
            case 'd':
                piece = "dd";
                break;
            case 'e':
                piece = "d";
                break;
            case 'm':
                piece = "mm";
                break;
            case 'y':
                piece = "yy";
                break;
            case 'Y':
            case 'C':
                piece = "yyyy";
                break;
            case 'b':
            case 'h':
                piece = "mmm";
                break;
            case 'B':
                piece = "mmmm";
                break;
            case 'a':
                piece = "ddd";
                break;
            case 'A':
                piece = "dddd";
                break;
            case 'H':
            case 'k':
                piece = "hh";
                break;
            case 'I':
            case 'l':
                piece = "hh";
                break;
            case 'M':
                piece = "nn";
                break;
            case 'S':
                piece = "ss";
                break;
            case 'p':
            case 'P':
                piece = "ampm";
                break;
            case 'T':
                piece = "hh:nn:ss";
                break;
            case 'R':
                piece = "hh:nn";
                break;
            case 'D':
                piece = "mm/dd/yy";
                break;
            case 'F':
                piece = "yyyy/mm/dd";
                break;
            case 'r':
                if (depth == 0)
                    piece = fromStrftime(nl_langinfo_l(ampmItem, loc), utf8, separator, ampmItem,
                                         loc, depth + 1);
                break;
            case 'n':
            case 't':
                literal += ' ';
                continue;
            case '%':
                literal += '%';
                continue;
            default:
                continue; // a field we do not show (%Z, %j, ...)
            }
            if ((k == 'D' || k == 'F') && separator == 0) separator = k == 'D' ? '/' : '-';
            if ((k == 'T' || k == 'R') && separator == 0) separator = ':';
            flushLiteral();
            r += piece;
            continue;
        }
        // The first punctuation between fields is the separator, written
        // as the separator letter of the pattern.
        bool punct = !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') && c != ' ' && c != '"' &&
                     c != '\'' && static_cast<unsigned char>(c) < 0x80;
        if (punct && (separator == 0 || separator == c) && !r.empty()) {
            separator = c;
            flushLiteral();
            r += (ampmItem == T_FMT_AMPM) ? ':' : '/';
            continue;
        }
        if (c == '"') continue;
        literal += toLatin1(std::string_view(&f[i], 1), false);
    }
    flushLiteral();
    (void)utf8;
    return r;
}

void fillArray(std::string* out, int n, nl_item first, locale_t loc, bool utf8) {
    for (int i = 0; i < n; ++i) {
        const char* v = nl_langinfo_l(first + i, loc);
        if (v && *v) out[i] = toLatin1(v, utf8);
    }
}

int negativeLayout(bool precedes, bool space, int posn) {
    static constexpr int before[5] = {0, 1, 3, 1, 2};
    static constexpr int beforeSpace[5] = {14, 9, 11, 9, 12};
    static constexpr int after[5] = {4, 5, 7, 6, 7};
    static constexpr int afterSpace[5] = {15, 8, 10, 13, 10};
    if (posn < 0 || posn > 4) posn = 1;
    if (precedes) return space ? beforeSpace[posn] : before[posn];
    return space ? afterSpace[posn] : after[posn];
}

} // namespace

const FormatSettings& formatSettings() {
    return current();
}

std::uint64_t formatSettingsGeneration() {
    return generation;
}

FormatSettings setFormatSettings(const FormatSettings& fs) {
    FormatSettings old = current();
    current() = fs;
    ++generation;
    return old;
}

FormatSettings englishSettings() {
    return FormatSettings{};
}

FormatSettings brazilianSettings() {
    FormatSettings fs;
    fs.shortDateFormat = "dd/mm/yyyy";
    fs.longDateFormat = "dddd, d' de 'mmmm' de 'yyyy";
    fs.shortTimeFormat = "hh:nn";
    fs.longTimeFormat = "hh:nn:ss";
    fs.dateSeparator = '/';
    fs.timeSeparator = ':';
    fs.decimalSeparator = ',';
    fs.thousandSeparator = '.';
    fs.currencyString = "R$";
    fs.currencyFormat = 2;
    fs.negCurrFormat = 9;
    fs.currencyDecimals = 2;
    fs.shortMonthNames = {"jan", "fev", "mar", "abr", "mai", "jun",
                          "jul", "ago", "set", "out", "nov", "dez"};
    fs.longMonthNames = {"janeiro", "fevereiro", "mar\xe7o", "abril",   "maio",     "junho",
                         "julho",   "agosto",    "setembro", "outubro", "novembro", "dezembro"};
    fs.shortDayNames = {"dom", "seg", "ter", "qua", "qui", "sex", "s\xe1\x62"};
    fs.longDayNames = {"domingo",      "segunda-feira", "ter\xe7\x61-feira", "quarta-feira",
                       "quinta-feira", "sexta-feira",   "s\xe1\x62\x61\x64o"};
    return fs;
}

FormatSettings localeSettings(const char* localeName) {
    FormatSettings fs;
    std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter> loc(
        newlocale(LC_ALL_MASK, localeName ? localeName : "", static_cast<locale_t>(0)));
    if (!loc) return fs;

    // localeconv has no per-locale form: switch this thread briefly.
    locale_t previous = uselocale(loc.get());
    const lconv* lc = localeconv();
    std::string intCurr = lc->int_curr_symbol ? lc->int_curr_symbol : "";
    // Every territory locale names its currency; C and POSIX do not.
    if (intCurr.empty()) {
        uselocale(previous);
        return fs;
    }
    const char* codeset = nl_langinfo_l(CODESET, loc.get());
    bool utf8 =
        codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);

    std::string dec = toLatin1(lc->decimal_point ? lc->decimal_point : ".", utf8);
    if (!dec.empty()) fs.decimalSeparator = dec[0];
    // Several locales group money but leave plain numbers ungrouped; the
    // program shows both the same way, so the money separator stands in.
    const char* thouSrc = lc->thousands_sep && *lc->thousands_sep ? lc->thousands_sep
                          : lc->mon_thousands_sep                 ? lc->mon_thousands_sep
                                                                  : "";
    std::string thou = toLatin1(thouSrc, utf8, ' ');
    fs.thousandSeparator = thou.empty() ? '\0' : thou[0];
    if (fs.thousandSeparator == fs.decimalSeparator) fs.thousandSeparator = '\0';

    std::string sym = toLatin1(lc->currency_symbol ? lc->currency_symbol : "", utf8, '\x01');
    if (sym.empty() || sym.find('\x01') != std::string::npos) {
        std::string_view ic = intCurr;
        while (!ic.empty() && ic.back() == ' ')
            ic.remove_suffix(1);
        sym = std::string(ic);
    }
    fs.currencyString = sym;
    bool pPre = lc->p_cs_precedes == CHAR_MAX ? true : lc->p_cs_precedes != 0;
    bool pSpace = lc->p_sep_by_space != CHAR_MAX && lc->p_sep_by_space != 0;
    fs.currencyFormat = pPre ? (pSpace ? 2 : 0) : (pSpace ? 3 : 1);
    bool nPre = lc->n_cs_precedes == CHAR_MAX ? pPre : lc->n_cs_precedes != 0;
    bool nSpace = lc->n_sep_by_space == CHAR_MAX ? pSpace : lc->n_sep_by_space != 0;
    int posn = lc->n_sign_posn == CHAR_MAX ? 1 : lc->n_sign_posn;
    fs.negCurrFormat = negativeLayout(nPre, nSpace, posn);
    if (lc->frac_digits != CHAR_MAX && lc->frac_digits >= 0 && lc->frac_digits <= 4)
        fs.currencyDecimals = lc->frac_digits;
    uselocale(previous);

    char dsep = 0;
    std::string sdf = fromStrftime(nl_langinfo_l(D_FMT, loc.get()), utf8, dsep, D_FMT, loc.get());
    if (!sdf.empty()) fs.shortDateFormat = sdf;
    if (dsep) fs.dateSeparator = dsep;
    char tsep = 0;
    std::string ltf =
        fromStrftime(nl_langinfo_l(T_FMT, loc.get()), utf8, tsep, T_FMT_AMPM, loc.get());
    if (!ltf.empty()) fs.longTimeFormat = ltf;
    if (tsep) fs.timeSeparator = tsep;
    // The short time is the long one without its seconds.
    std::string stf = fs.longTimeFormat;
    if (auto p = stf.find(":ss"); p != std::string::npos) stf.erase(p, 3);
    fs.shortTimeFormat = stf;

    const char* am = nl_langinfo_l(AM_STR, loc.get());
    const char* pm = nl_langinfo_l(PM_STR, loc.get());
    if (am && *am) fs.timeAMString = toLatin1(am, utf8);
    if (pm && *pm) fs.timePMString = toLatin1(pm, utf8);
    fillArray(fs.shortMonthNames.data(), 12, ABMON_1, loc.get(), utf8);
    fillArray(fs.longMonthNames.data(), 12, MON_1, loc.get(), utf8);
    fillArray(fs.shortDayNames.data(), 7, ABDAY_1, loc.get(), utf8);
    fillArray(fs.longDayNames.data(), 7, DAY_1, loc.get(), utf8);
    return fs;
}

} // namespace rtl
