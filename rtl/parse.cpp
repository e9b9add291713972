#include "rtl/parse.h"
#include "rtl/errors.h"

namespace rtl {

bool tryStrToInt(std::string_view, std::int32_t&) {
    return false;
}
std::int32_t strToInt(std::string_view s) {
    std::int32_t r;
    if (!tryStrToInt(s, r)) throwNotValid(s, "integer value");
    return r;
}
bool tryStrToInt64(std::string_view, std::int64_t&) {
    return false;
}
std::int64_t strToInt64(std::string_view s) {
    std::int64_t r;
    if (!tryStrToInt64(s, r)) throwNotValid(s, "integer value");
    return r;
}
bool tryStrToFloat(std::string_view, double&, const FormatSettings&) {
    return false;
}
double strToFloat(std::string_view s, const FormatSettings& fs) {
    double r;
    if (!tryStrToFloat(s, r, fs)) throwNotValid(s, "floating point value");
    return r;
}
bool tryStrToCurr(std::string_view, Currency&, const FormatSettings&) {
    return false;
}
Currency strToCurr(std::string_view s, const FormatSettings& fs) {
    Currency r;
    if (!tryStrToCurr(s, r, fs)) throwNotValid(s, "floating point value");
    return r;
}
bool tryStrToDate(std::string_view, TDateTime&, const FormatSettings&) {
    return false;
}
TDateTime strToDate(std::string_view s, const FormatSettings& fs) {
    TDateTime r;
    if (!tryStrToDate(s, r, fs)) throwNotValid(s, "date");
    return r;
}
bool tryStrToTime(std::string_view, TDateTime&, const FormatSettings&) {
    return false;
}
TDateTime strToTime(std::string_view s, const FormatSettings& fs) {
    TDateTime r;
    if (!tryStrToTime(s, r, fs)) throwNotValid(s, "time");
    return r;
}
bool tryStrToDateTime(std::string_view, TDateTime&, const FormatSettings&) {
    return false;
}
TDateTime strToDateTime(std::string_view s, const FormatSettings& fs) {
    TDateTime r;
    if (!tryStrToDateTime(s, r, fs)) throwNotValid(s, "date and time");
    return r;
}

} // namespace rtl
