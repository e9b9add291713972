#include "rtl/format.h"

namespace rtl {

void appendFormatFloat(std::string&, std::string_view, double, const FormatSettings&) {}
std::string formatFloat(std::string_view pattern, double value, const FormatSettings& fs) {
    std::string r;
    appendFormatFloat(r, pattern, value, fs);
    return r;
}
void appendFormatCurr(std::string&, std::string_view, Currency, const FormatSettings&) {}
std::string formatCurr(std::string_view pattern, Currency value, const FormatSettings& fs) {
    std::string r;
    appendFormatCurr(r, pattern, value, fs);
    return r;
}
void appendFloatToStr(std::string&, double, const FormatSettings&) {}
std::string floatToStr(double value, const FormatSettings& fs) {
    std::string r;
    appendFloatToStr(r, value, fs);
    return r;
}
void appendCurrToStr(std::string&, Currency, const FormatSettings&) {}
std::string currToStr(Currency value, const FormatSettings& fs) {
    std::string r;
    appendCurrToStr(r, value, fs);
    return r;
}
void appendCurrencyText(std::string&, Currency, int, int, const FormatSettings&) {}
std::string currencyText(Currency value, int digits, int precision, const FormatSettings& fs) {
    std::string r;
    appendCurrencyText(r, value, digits, precision, fs);
    return r;
}
void appendCurrencyText(std::string&, double, int, int, const FormatSettings&) {}
std::string currencyText(double value, int digits, int precision, const FormatSettings& fs) {
    std::string r;
    appendCurrencyText(r, value, digits, precision, fs);
    return r;
}
void appendIntToStr(std::string&, std::int64_t) {}
std::string intToStr(std::int64_t value) {
    std::string r;
    appendIntToStr(r, value);
    return r;
}
void appendFormatDateTime(std::string&, std::string_view, TDateTime, const FormatSettings&) {}
std::string formatDateTime(std::string_view pattern, TDateTime value, const FormatSettings& fs) {
    std::string r;
    appendFormatDateTime(r, pattern, value, fs);
    return r;
}
std::string dateToStr(TDateTime value, const FormatSettings& fs) {
    return formatDateTime(fs.shortDateFormat, value, fs);
}
std::string timeToStr(TDateTime value, const FormatSettings& fs) {
    return formatDateTime(fs.longTimeFormat, value, fs);
}
std::string dateTimeToStr(TDateTime value, const FormatSettings& fs) {
    return formatDateTime("c", value, fs);
}

} // namespace rtl
