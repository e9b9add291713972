#pragma once
// Helpers for the files the built-in servers save: Latin-1 (or UTF-8) text
// into UTF-8 XML. The files themselves are written through rtl::SafeFile.
#include <string>
#include <string_view>

namespace automation::ooxml {

/// Appends `latin1` to `out` as UTF-8 XML character data: &, <, > and "
/// escaped; characters XML 1.0 forbids (controls other than tab, line feed
/// and carriage return) dropped.
void appendXmlText(std::string& out, std::string_view latin1);

/// appendXmlText for text already in UTF-8 (ill-formed sequences become
/// U+FFFD).
void appendXmlTextUtf8(std::string& out, std::string_view utf8);

/// Latin-1 to UTF-8, with nothing escaped or dropped.
std::string toUtf8(std::string_view latin1);

} // namespace automation::ooxml
