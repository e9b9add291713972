#pragma once
// How a server turns a value it has to show as text into that text, by the
// current regional settings, as an automation server's conversion to text
// does.
#include "automation/Automation.h"

#include <string>

namespace automation {

/// Text as it is; integer as decimal digits; double as the general float
/// text; currency exact with up to four decimals, trailing zeros dropped;
/// both with the regional decimal separator and no grouping. Boolean "True"
/// or "False"; empty "". An object throws EOleError (type mismatch).
std::string regionalText(const Variant& v);

/// regionalText in UTF-8 (a UTF-8 text as it is).
std::string regionalTextUtf8(const Variant& v);

} // namespace automation
