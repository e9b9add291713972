#pragma once
// Conversion failures of the run-time routines: text that is no number, date
// or time, and out-of-range date or time parts.
#include <stdexcept>
#include <string>
#include <string_view>

namespace rtl {

/// Raised by every parsing and encoding routine of rtl when its input cannot
/// be converted. The message is the classic English text, for example
/// "'abc' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};

/// Throws EConvertError with "'<text>' is not a valid <what>", where `what`
/// is for example "integer value", "floating point value", "date".
[[noreturn]] void throwNotValid(std::string_view text, std::string_view what);

} // namespace rtl
