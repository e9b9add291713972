#include "automation/RegionalText.h"

#include "rtl/charset.h"
#include "rtl/format.h"

namespace automation {

std::string regionalText(const Variant& v) {
    switch (v.kind()) {
    case Variant::Kind::Empty:
        return {};
    case Variant::Kind::Text:
        return v.text();
    case Variant::Kind::Boolean:
        return v.boolean() ? "True" : "False";
    case Variant::Kind::Integer:
        return rtl::intToStr(v.integer());
    case Variant::Kind::Double:
        return rtl::floatToStr(v.real());
    case Variant::Kind::Currency:
        return rtl::currToStr(v.currency());
    case Variant::Kind::Date: {
        // As a date cell shows it: the date, the time when there is one,
        // only the time when there is no date.
        const double d = v.date().serial;
        const rtl::FormatSettings& fs = rtl::formatSettings();
        const bool temHora = d != static_cast<double>(static_cast<long long>(d));
        std::string f = d >= 0 && d < 1 ? fs.longTimeFormat
                        : temHora       ? fs.shortDateFormat + " " + fs.longTimeFormat
                                        : fs.shortDateFormat;
        return rtl::formatDateTime(f, d);
    }
    case Variant::Kind::Object:
        break;
    }
    throw EOleError("Tipo incompat\xedvel");
}

std::string regionalTextUtf8(const Variant& v) {
    if (v.kind() == Variant::Kind::Text) return v.textUtf8();
    return rtl::toUtf8(regionalText(v), rtl::cs::None);
}

} // namespace automation
