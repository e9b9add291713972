#include "rtl/cnumeric.h"

#include <stdexcept>

namespace rtl {

ScopedCNumeric::ScopedCNumeric() {
    // A copy of what the thread uses now (the process's locale unless a
    // guard is already active), with only the numeric category replaced.
    locale_t base = duplocale(uselocale(static_cast<locale_t>(0)));
    if (base == static_cast<locale_t>(0))
        throw std::runtime_error("N\xe3o foi poss\xedvel preparar a localidade num\xe9rica");
    own_ = newlocale(LC_NUMERIC_MASK, "C", base);
    if (own_ == static_cast<locale_t>(0)) {
        freelocale(base);
        throw std::runtime_error("N\xe3o foi poss\xedvel preparar a localidade num\xe9rica");
    }
    previous_ = uselocale(own_);
}

ScopedCNumeric::~ScopedCNumeric() {
    uselocale(previous_);
    freelocale(own_);
}

} // namespace rtl
