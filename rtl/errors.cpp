#include "rtl/errors.h"

namespace rtl {

void throwNotValid(std::string_view text, std::string_view what) {
    std::string m;
    m.reserve(text.size() + what.size() + 20);
    m += '\'';
    m += text;
    m += "' is not a valid ";
    m += what;
    throw EConvertError(m);
}

} // namespace rtl
