#pragma once
// File formats that write numbers with a decimal point (an Office workbook's
// cells and page margins, say) must not follow the decimal comma of a
// Brazilian LC_NUMERIC, which the toolkit installs for the whole process at
// start. The C library's printf family, ours and that of the libraries we
// call, reads the calling thread's locale, so a guard switches only that.
#include <locale.h>

namespace rtl {

/// While it lives, the calling thread formats and parses numbers the "C"
/// way ("." as decimal point, no grouping); every other locale category
/// stays as it was. Restores the thread's previous locale on destruction.
/// Throws std::runtime_error when the locale object cannot be made.
class ScopedCNumeric {
public:
    ScopedCNumeric();
    ~ScopedCNumeric();
    ScopedCNumeric(const ScopedCNumeric&) = delete;
    ScopedCNumeric& operator=(const ScopedCNumeric&) = delete;

private:
    locale_t own_ = static_cast<locale_t>(0);
    locale_t previous_ = static_cast<locale_t>(0);
};

} // namespace rtl
