#include "import/Conversao.h"

#include "db/FbTypes.h"
#include "db/FbUtils.h"
#include "rtl/charset.h"
#include "rtl/datetime.h"
#include "rtl/parse.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace importa {

namespace {

// Catalog type codes (RDB$FIELD_TYPE).
enum : int {
    tSmallint = 7,
    tInteger = 8,
    tFloat = 10,
    tDate = 12,
    tTime = 13,
    tChar = 14,
    tBigint = 16,
    tBoolean = 23,
    tDouble = 27,
    tTimestamp = 35,
    tVarchar = 37,
    tBlob = 261
};

bool branco(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view apara(std::string_view s) {
    while (!s.empty() && branco(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && branco(s.back()))
        s.remove_suffix(1);
    return s;
}

bool digito(char c) {
    return c >= '0' && c <= '9';
}

// The number with `decimal` as the decimal separator and `milhar` ('\0'
// for none) between groups of three digits of the integer part.
bool leCom(std::string_view s, char decimal, char milhar, Numero& n) {
    std::size_t i = 0;
    Numero r;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) r.negativo = s[i++] == '-';
    std::string todos;
    int inteiros = 0, grupo = 0;
    bool agrupado = false;
    while (i < s.size()) {
        if (digito(s[i])) {
            todos += s[i++];
            ++inteiros;
            ++grupo;
        } else if (milhar && s[i] == milhar && inteiros > 0 &&
                   (agrupado ? grupo == 3 : grupo <= 3) && i + 1 < s.size() && digito(s[i + 1])) {
            agrupado = true;
            grupo = 0;
            ++i;
        } else {
            break;
        }
    }
    if (agrupado && grupo != 3) return false;
    int decimais = 0;
    if (i < s.size() && s[i] == decimal) {
        ++i;
        while (i < s.size() && digito(s[i])) {
            todos += s[i++];
            ++decimais;
        }
    }
    if (todos.empty()) return false;
    int expoente = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool neg = false;
        if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
        if (i >= s.size() || !digito(s[i])) return false;
        while (i < s.size() && digito(s[i])) {
            if (expoente > 100000) return false;
            expoente = expoente * 10 + (s[i++] - '0');
        }
        if (neg) expoente = -expoente;
    }
    if (i != s.size()) return false;
    const std::size_t zeros = todos.find_first_not_of('0');
    r.digitos = zeros == std::string::npos ? std::string() : todos.substr(zeros);
    r.expoente = expoente - decimais;
    if (r.digitos.empty()) r.negativo = false;
    n = std::move(r);
    return true;
}

bool leInteiro(std::string_view s, std::size_t& i, int minDig, int maxDig, int& out) {
    int v = 0, k = 0;
    while (i < s.size() && digito(s[i]) && k < maxDig) {
        v = v * 10 + (s[i++] - '0');
        ++k;
    }
    if (k < minDig) return false;
    out = v;
    return true;
}

// ISO "yyyy-mm-dd" at the start of `s`; `i` moves past it.
bool dataIso(std::string_view s, std::size_t& i, std::int64_t& dia) {
    int y, m, d;
    if (!leInteiro(s, i, 4, 4, y) || i >= s.size() || s[i++] != '-') return false;
    if (!leInteiro(s, i, 1, 2, m) || i >= s.size() || s[i++] != '-') return false;
    if (!leInteiro(s, i, 1, 2, d)) return false;
    rtl::TDateTime dt;
    if (!rtl::tryEncodeDate(y, m, d, dt)) return false;
    dia = static_cast<std::int64_t>(dt) + 15018;
    return true;
}

// ISO "hh:mm[:ss[.f...]]" from `i` to the end of `s`.
bool horaIso(std::string_view s, std::size_t i, std::uint32_t& fracao) {
    int h, m, sec = 0;
    if (!leInteiro(s, i, 1, 2, h) || i >= s.size() || s[i++] != ':') return false;
    if (!leInteiro(s, i, 2, 2, m)) return false;
    std::uint32_t dez = 0;
    if (i < s.size() && s[i] == ':') {
        ++i;
        if (!leInteiro(s, i, 2, 2, sec)) return false;
        if (i < s.size() && s[i] == '.') {
            ++i;
            std::uint32_t peso = 1000;
            if (i >= s.size() || !digito(s[i])) return false;
            while (i < s.size() && digito(s[i])) {
                dez += static_cast<std::uint32_t>(s[i++] - '0') * peso;
                peso /= 10;
            }
        }
    }
    if (i != s.size() || h > 23 || m > 59 || sec > 59) return false;
    fracao = static_cast<std::uint32_t>((h * 60 + m) * 60 + sec) * 10000u + dez;
    return true;
}

std::string citado(std::string_view celula) {
    std::string c(celula.substr(0, 60));
    if (celula.size() > 60) c += "...";
    return "'" + c + "'";
}

// The first character of `utf8` that the set `cs` lacks.
std::string faltante(std::string_view utf8, int cs) {
    std::string um, out;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t inicio = i;
        rtl::nextCodePoint(utf8, i);
        um.assign(utf8.substr(inicio, i - inicio));
        if (!rtl::fromUtf8(um, cs, out)) return um;
    }
    return {};
}

} // namespace

bool leNumero(std::string_view s, const rtl::FormatSettings& fs, Numero& n) {
    s = apara(s);
    if (leCom(s, fs.decimalSeparator, fs.thousandSeparator, n)) return true;
    return fs.decimalSeparator != '.' && leCom(s, '.', '\0', n);
}

void deTDateTime(double dt, std::int64_t& dia, std::uint32_t& fracao) {
    rtl::DateParts d;
    rtl::TimeParts t;
    rtl::decodeDateTime(dt, d, t);
    dia = static_cast<std::int64_t>(rtl::encodeDate(d.year, d.month, d.day)) + 15018;
    fracao = static_cast<std::uint32_t>((t.hour * 60 + t.minute) * 60 + t.second) * 10000u +
             static_cast<std::uint32_t>(t.msec) * 10u;
}

bool leData(std::string_view s, const rtl::FormatSettings& fs, std::int64_t& dia) {
    s = apara(s);
    std::size_t i = 0;
    if (dataIso(s, i, dia) && i == s.size()) return true;
    rtl::TDateTime dt;
    if (!rtl::tryStrToDate(s, dt, fs)) return false;
    std::uint32_t f;
    deTDateTime(dt, dia, f);
    return true;
}

bool leHora(std::string_view s, const rtl::FormatSettings& fs, std::uint32_t& fracao) {
    s = apara(s);
    if (horaIso(s, 0, fracao)) return true;
    rtl::TDateTime dt;
    if (!rtl::tryStrToTime(s, dt, fs)) return false;
    std::int64_t dia;
    deTDateTime(rtl::timeOf(dt), dia, fracao);
    return true;
}

bool leDataHora(std::string_view s, const rtl::FormatSettings& fs, std::int64_t& dia,
                std::uint32_t& fracao) {
    s = apara(s);
    std::size_t i = 0;
    if (dataIso(s, i, dia)) {
        if (i == s.size()) {
            fracao = 0;
            return true;
        }
        if ((s[i] == 'T' || s[i] == ' ') && horaIso(s, i + 1, fracao)) return true;
    }
    rtl::TDateTime dt;
    if (!rtl::tryStrToDateTime(s, dt, fs)) return false;
    deTDateTime(dt, dia, fracao);
    return true;
}

bool escala(const Numero& n, int scale, std::int64_t limite, std::int64_t& out) {
    const int e = n.expoente - scale; // digits * 10^e
    unsigned __int128 v = 0;
    const unsigned __int128 teto = static_cast<unsigned __int128>(limite) + (n.negativo ? 1 : 0);
    const int manter = static_cast<int>(n.digitos.size()) + std::min(e, 0);
    for (int k = 0; k < manter; ++k) {
        v = v * 10 + static_cast<unsigned>(n.digitos[static_cast<std::size_t>(k)] - '0');
        if (v > teto) return false;
    }
    if (manter >= 0 && manter < static_cast<int>(n.digitos.size()) &&
        n.digitos[static_cast<std::size_t>(manter)] >= '5')
        ++v; // half away from zero: the sign is applied after
    for (int k = 0; k < e && v != 0; ++k) {
        v *= 10;
        if (v > teto) return false;
    }
    if (v > teto) return false;
    out = n.negativo ? -static_cast<std::int64_t>(v - 1) - 1 : static_cast<std::int64_t>(v);
    if (n.negativo && v == 0) out = 0;
    return true;
}

std::string converte(std::string_view celula, const Destino& d, const rtl::FormatSettings& fs,
                     TFbImportValue& v) {
    const TFbColumnFacts& c = *d.coluna;
    const std::string quem = "coluna " + d.titulo + ": ";
    v.S.clear();
    const bool texto =
        c.FieldType == tChar || c.FieldType == tVarchar || (c.FieldType == tBlob && c.SubType == 1);
    if (!texto && apara(celula).empty()) {
        v.Type = TFbImportValue::Null;
        if (c.NotNull) return quem + "vazia, e a coluna não aceita nulo";
        return {};
    }
    switch (c.FieldType) {
    case tSmallint:
    case tInteger:
    case tBigint: {
        Numero n;
        if (!leNumero(celula, fs, n)) return quem + citado(celula) + " não é um número";
        const std::int64_t limite = c.FieldType == tSmallint ? 32767
                                    : c.FieldType == tInteger
                                        ? 2147483647
                                        : std::numeric_limits<std::int64_t>::max();
        if (!escala(n, c.Scale, limite, v.I))
            return quem + citado(celula) + " está fora do intervalo da coluna";
        v.Type = TFbImportValue::Int;
        return {};
    }
    case tFloat:
    case tDouble: {
        Numero n;
        if (!leNumero(celula, fs, n)) return quem + citado(celula) + " não é um número";
        const std::string t = (n.negativo ? "-" : "") + (n.digitos.empty() ? "0" : n.digitos) +
                              "e" + std::to_string(n.expoente);
        const double x = std::strtod(t.c_str(), nullptr);
        const double teto = c.FieldType == tFloat ? FLT_MAX : DBL_MAX;
        if (!std::isfinite(x) || std::fabs(x) > teto)
            return quem + citado(celula) + " está fora do intervalo da coluna";
        v.Type = TFbImportValue::Double;
        v.F = x;
        return {};
    }
    case tDate:
        if (!leData(celula, fs, v.I)) return quem + citado(celula) + " não é uma data";
        v.Type = TFbImportValue::Date;
        return {};
    case tTime:
        if (!leHora(celula, fs, v.T)) return quem + citado(celula) + " não é uma hora";
        v.Type = TFbImportValue::Time;
        return {};
    case tTimestamp:
        if (!leDataHora(celula, fs, v.I, v.T))
            return quem + citado(celula) + " não é uma data e hora";
        v.Type = TFbImportValue::Stamp;
        return {};
    case tBoolean: {
        std::string latin;
        bool b = false;
        const std::string_view a = apara(celula);
        if (rtl::fromUtf8(a, rtl::cs::Iso8859_1, latin) && TryTextToBoolean(latin, b)) {
        } else if (FbUpperCase(latin) == "VERDADEIRO") {
            b = true;
        } else if (FbUpperCase(latin) == "FALSO") {
            b = false;
        } else {
            return quem + citado(celula) + " não é SIM nem NÃO";
        }
        v.Type = TFbImportValue::Bool;
        v.I = b ? 1 : 0;
        return {};
    }
    default:
        break;
    }
    if (!texto) {
        // Kinds the server reads from text (INT128, DECFLOAT, times with a
        // zone): it converts, and refuses what is no value of the kind.
        v.Type = TFbImportValue::Text;
        v.S.assign(apara(celula));
        return {};
    }
    const int cs = c.CharSetId;
    if (!rtl::fromUtf8(celula, cs, v.S)) {
        const std::string falta = faltante(celula, cs);
        const char* nome = rtl::charSetName(cs);
        return quem + "o caractere '" + falta + "' não existe no conjunto " +
               (*nome ? nome : "NONE") + " da coluna";
    }
    if (c.FieldType != tBlob) {
        const std::size_t maximo =
            static_cast<std::size_t>(c.Length / std::max(1, FbCharSetBytesPerChar(cs)));
        // The server ignores blanks beyond the length, as it does when it
        // compares texts.
        std::string_view semBrancos = v.S;
        while (semBrancos.size() > 0 && semBrancos.back() == ' ')
            semBrancos.remove_suffix(1);
        const std::size_t n = FbCharCount(cs, semBrancos);
        if (n > maximo)
            return quem + "texto de " + std::to_string(n) + " caracteres; a coluna aceita " +
                   std::to_string(maximo);
    }
    v.Type = TFbImportValue::Text;
    return {};
}

} // namespace importa
