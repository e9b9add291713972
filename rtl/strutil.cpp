#include "rtl/strutil.h"

namespace rtl {

namespace {
inline bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}
} // namespace

std::string_view trim(std::string_view s) {
    return trimRight(trimLeft(s));
}

std::string_view trimLeft(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return s.substr(i);
}

std::string_view trimRight(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && isBlank(s[n - 1]))
        --n;
    return s.substr(0, n);
}

char upperChar(char c) {
    auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
        return static_cast<char>(u - 0x20);
    return c;
}

char lowerChar(char c) {
    auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return static_cast<char>(u + 0x20);
    return c;
}

std::string upperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = upperChar(c);
    return r;
}

std::string lowerCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = lowerChar(c);
    return r;
}

int compareText(std::string_view a, std::string_view b) {
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(upperChar(a[i]));
        auto y = static_cast<unsigned char>(upperChar(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && compareText(a, b) == 0;
}

bool containsText(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    if (needle.size() > haystack.size()) return false;
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && upperChar(haystack[i + k]) == upperChar(needle[k]))
            ++k;
        if (k == needle.size()) return true;
    }
    return false;
}

} // namespace rtl
