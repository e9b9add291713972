#pragma once
// Small text helpers for single-byte (Latin-1) text.
#include <string>
#include <string_view>

namespace rtl {

/// Without the leading and trailing characters whose code is 32 or less
/// (blanks and control characters). The result views into `s`.
std::string_view trim(std::string_view s);
std::string_view trimLeft(std::string_view s);
std::string_view trimRight(std::string_view s);

/// Upper / lower case of Latin-1 text: ASCII letters and the accented
/// letters 0xC0..0xDE / 0xE0..0xFE (except the multiplication and division
/// signs); other bytes unchanged.
std::string upperCase(std::string_view s);
std::string lowerCase(std::string_view s);
char upperChar(char c);
char lowerChar(char c);

/// Case-insensitive comparison in the same Latin-1 sense: <0, 0, >0.
int compareText(std::string_view a, std::string_view b);
bool sameText(std::string_view a, std::string_view b);
/// True when `needle` occurs in `haystack`, ignoring case.
bool containsText(std::string_view haystack, std::string_view needle);

} // namespace rtl
