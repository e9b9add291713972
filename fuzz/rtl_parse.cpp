// Texts read as integers, floats, currency amounts, dates and times with
// regional settings. Accepted texts must agree with an independent reading
// and read back to the same value once written out again.
#include "FuzzSettings.h"
#include "rtl/format.h"
#include "rtl/parse.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

// The text with the blanks around it removed and the regional decimal
// separator written as a full stop, for strtod in the C locale.
std::string forStrtod(const std::string& s, char decSep) {
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    std::string r = s.substr(b, e - b);
    // The separator may also be a sign character: only the one after the
    // optional sign and the integer digits is the decimal point.
    size_t i = !r.empty() && (r[0] == '+' || r[0] == '-') ? 1 : 0;
    while (i < r.size() && r[i] >= '0' && r[i] <= '9')
        ++i;
    if (i < r.size() && r[i] == decSep) r[i] = '.';
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    bool exotic = false;
    const rtl::FormatSettings fs = fuzzSettings(in, exotic);
    const std::string s = in.ConsumeRemainingBytesAsString();

    std::int32_t i32 = 0;
    if (rtl::tryStrToInt(s, i32)) {
        std::int32_t back = 0;
        fuzzCheck(rtl::tryStrToInt(rtl::intToStr(i32), back) && back == i32, "integer round trip");
    }
    std::int64_t i64 = 0;
    if (rtl::tryStrToInt64(s, i64)) {
        std::int64_t back = 0;
        fuzzCheck(rtl::tryStrToInt64(rtl::intToStr(i64), back) && back == i64,
                  "64-bit integer round trip");
    }

    double f = 0;
    const bool isFloat = rtl::tryStrToFloat(s, f, fs);
    if (isFloat) {
        fuzzCheck(std::isfinite(f), "float not finite");
        const std::string c = forStrtod(s, fs.decimalSeparator);
        const double expected = std::strtod(c.c_str(), nullptr);
        fuzzCheck(std::isinf(expected) || f == expected ||
                      (std::fabs(expected) < 1e-300 && std::fabs(f) < 1e-300),
                  "float differs from strtod");
        double back = 0;
        if (!exotic)
            fuzzCheck(rtl::tryStrToFloat(rtl::floatToStr(f, fs), back, fs),
                      "float text unreadable");
    }

    rtl::Currency cur;
    if (rtl::tryStrToCurr(s, cur, fs)) {
        fuzzCheck(isFloat, "currency accepted a text that is no float");
        const double tolerance = 0.00005 + std::fabs(f) * 1e-15;
        fuzzCheck(std::fabs(cur.toDouble() - f) <= tolerance + 1e-12,
                  "currency differs from float");
        rtl::Currency back;
        if (!exotic)
            fuzzCheck(rtl::tryStrToCurr(rtl::currToStr(cur, fs), back, fs) && back == cur,
                      "currency round trip");
    }

    rtl::TDateTime d = 0;
    if (rtl::tryStrToDate(s, d, fs)) {
        fuzzCheck(rtl::isValidDateTime(d) && d == std::floor(d), "date out of range or with time");
        rtl::TDateTime back = 0;
        const std::string text = rtl::dateToStr(d, fs);
        if (!exotic) fuzzCheck(rtl::tryStrToDate(text, back, fs) && back == d, "date round trip");
    }
    rtl::TDateTime t = 0;
    if (rtl::tryStrToTime(s, t, fs)) fuzzCheck(t >= 0 && t < 1, "time outside one day");
    rtl::TDateTime dt = 0;
    if (rtl::tryStrToDateTime(s, dt, fs))
        fuzzCheck(rtl::isValidDateTime(dt), "date-time out of range");
    return 0;
}
