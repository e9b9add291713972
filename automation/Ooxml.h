#pragma once
// Helpers for the files the built-in servers save: UTF-8 text into XML. The
// files themselves are written through rtl::SafeFile.
#include <string>
#include <string_view>

namespace automation::ooxml {

/// Appends `utf8` to `out` as XML character data: &, <, > and " escaped;
/// characters XML 1.0 forbids (controls other than tab, line feed and
/// carriage return, U+FFFE, U+FFFF) dropped; ill-formed sequences become
/// U+FFFD.
void appendXmlTextUtf8(std::string& out, std::string_view utf8);

} // namespace automation::ooxml
