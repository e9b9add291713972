#include "db/FbUtils.h"

#include "rtl/strutil.h"

#include <ibase.h>

#include <random>

std::string FbTrim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32)
        --e;
    return std::string(s.substr(b, e - b));
}

std::string FbTrimRight(std::string_view s) {
    size_t e = s.size();
    while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= 32)
        --e;
    return std::string(s.substr(0, e));
}

std::string FbUpperCase(std::string_view s) {
    std::string r(s);
    for (char& ch : r) {
        auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            ch = static_cast<char>(c - 0x20);
    }
    return r;
}

std::string NormalizeIdentifier(int dialect, std::string_view name) {
    std::string t = FbTrim(name);
    if (dialect == 1) return FbUpperCase(t);
    if (!t.empty() && t[0] == '"') {
        // A lone quote has no last character distinct from its first one.
        std::string inner = t.size() >= 2 ? t.substr(1, t.size() - 2) : std::string();
        std::string r;
        r.reserve(inner.size());
        for (size_t i = 0; i < inner.size(); ++i) {
            r += inner[i];
            if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"') ++i;
        }
        return r;
    }
    return FbUpperCase(t);
}

std::string QuoteIdentifier(int dialect, std::string_view name) {
    if (dialect == 1) return FbUpperCase(FbTrim(name));
    // A double quote inside the name is doubled, or the name would end there.
    std::string r;
    r.reserve(name.size() + 2);
    r += '"';
    for (char c : name) {
        r += c;
        if (c == '"') r += '"';
    }
    r += '"';
    return r;
}

namespace {

bool isNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$';
}

} // namespace

TFbParsedSQL ParseParams(std::string_view sql, bool inventNames) {
    enum State { Default, Comment, Quote, Parameter };
    TFbParsedSQL r;
    r.Text.reserve(sql.size());
    State state = Default;
    char quoteChar = 0;
    bool inQuotedName = false;
    std::string name;
    int invented = 0;
    const size_t n = sql.size();

    auto storeName = [&] {
        r.Names.push_back(name);
        name.clear();
        state = Default;
    };

    for (size_t i = 0; i < n; ++i) {
        const char c = sql[i];
        const char next = i + 1 < n ? sql[i + 1] : '\0';
        switch (state) {
        case Default:
            if (c == '\'' || c == '"') {
                quoteChar = c;
                state = Quote;
            } else if (c == ':' || c == '?') {
                r.Text += '?';
                state = Parameter;
                inQuotedName = false;
                name.clear();
            } else if (c == '/' && next == '*') {
                // The slash goes out here, the asterisk below.
                r.Text += c;
                ++i;
                state = Comment;
            }
            break;
        case Comment:
            if (next == '\0') {
                r.Error = 100;
                return r;
            }
            if (c == '*' && next == '/') state = Default;
            break;
        case Quote:
            if (next == '\0') {
                r.Error = 101;
                return r;
            }
            if (c == quoteChar) {
                if (next == quoteChar) {
                    r.Text += c;
                    ++i;
                } else {
                    state = Default;
                }
            }
            break;
        case Parameter:
            if (!inQuotedName) {
                if (c == '"') {
                    inQuotedName = true;
                } else if (isNameChar(c)) {
                    name += c;
                } else if (inventNames) {
                    name = "FbParam" + std::to_string(invented++);
                    storeName();
                } else {
                    r.Error = 102;
                    return r;
                }
            } else if (c == '"') {
                ++i;
                storeName();
                inQuotedName = false;
            } else {
                name += c;
            }
            if (!inQuotedName && state == Parameter && !isNameChar(next)) {
                // The character after the name is copied below without
                // being looked at.
                ++i;
                storeName();
            }
            break;
        }
        if (state != Parameter && i < n) r.Text += sql[i];
    }
    return r;
}

std::string UniqueColumnName(int dialect, std::string_view alias,
                             const std::vector<std::string>& taken) {
    auto isTaken = [&](const std::string& candidate) {
        const std::string norm = NormalizeIdentifier(dialect, candidate);
        for (const auto& t : taken)
            if (t == norm) return true;
        return false;
    };
    std::string base(alias);
    int counter = 0;
    std::string name = base;
    if (base.empty()) {
        base = "F_";
        counter = 1;
        name = "F_1";
    }
    while (isTaken(name)) {
        ++counter;
        const std::string digits = std::to_string(counter);
        std::string b = base;
        if (b.size() + digits.size() >= 32) b.resize(31 - digits.size());
        name = b + digits;
    }
    return name;
}

TFbFieldKind FieldKindOfColumn(int sqlType, int scale, int subType, int length) {
    // Scaled integers keep exact currency up to four decimals; beyond that
    // only a double can hold them.
    auto scaled = [&](TFieldType whole, int precision) -> TFbFieldKind {
        if (scale == 0) return {whole, 0, 0};
        if (scale < -4) return {ftFloat, 0, 0};
        return {ftBCD, -scale, precision};
    };
    switch (sqlType & ~1) {
    case SQL_TEXT:
    case SQL_VARYING:
        return {ftString, length, 0};
    case SQL_SHORT:
        return scale == 0 ? TFbFieldKind{ftSmallint, 0, 0} : TFbFieldKind{ftBCD, -scale, 4};
    case SQL_LONG:
        return scaled(ftInteger, 9);
    case SQL_INT64:
        return scaled(ftLargeint, 18);
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return {ftFloat, 0, 0};
    case SQL_TYPE_DATE:
        return {ftDate, 0, 0};
    case SQL_TYPE_TIME:
        return {ftTime, 0, 0};
    case SQL_TIMESTAMP:
        return {ftDateTime, 0, 0};
    case SQL_BLOB:
        return {subType == 1 ? ftMemo : ftBlob, 0, 0};
    case SQL_BOOLEAN:
        return {ftBoolean, 0, 0};
    default:
        return {ftUnknown, 0, 0};
    }
}

TFbFieldKind FieldKindOfCatalogType(int fieldType, int scale, int subType, int length) {
    switch (fieldType) {
    case 7:
        return FieldKindOfColumn(SQL_SHORT, scale, 0, 2);
    case 8:
        return FieldKindOfColumn(SQL_LONG, scale, 0, 4);
    case 9:
        return {ftUnknown, 8, 0};
    case 10:
    case 11:
    case 27:
        return {ftFloat, 0, 0};
    case 12:
        return {ftDate, 0, 0};
    case 13:
        return {ftTime, 0, 0};
    case 14:
    case 37:
        return {ftString, length, 0};
    case 16:
        return FieldKindOfColumn(SQL_INT64, scale, 0, 8);
    case 35:
        return {ftDateTime, 0, 0};
    case 261:
        return {subType == 1 ? ftMemo : ftBlob, 0, 0};
    case 23: // BOOLEAN, Firebird 3 on
        return {ftBoolean, 0, 0};
    default:
        return {ftUnknown, 0, 0};
    }
}

const char* BooleanText(bool value) {
    return value ? "SIM" : "N\xc3O";
}

std::string MakeCursorName(std::string_view name) {
    static std::mt19937 gen{std::random_device{}()};
    std::uniform_int_distribution<int> digit(0, 9);
    std::string r(name);
    for (int i = 0; i < 8; ++i)
        r += static_cast<char>('0' + digit(gen));
    return r;
}
