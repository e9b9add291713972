// Numbers, currency amounts and date-times written through format patterns
// taken from the input, and the general texts read back.
#include "FuzzSettings.h"
#include "rtl/datetime.h"
#include "rtl/format.h"
#include "rtl/parse.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    bool exotic = false;
    const rtl::FormatSettings fs = fuzzSettings(in, exotic);
    const int what = in.ConsumeIntegralInRange(0, 4);
    const double value = in.ConsumeFloatingPoint<double>();
    const rtl::Currency money = rtl::Currency::fromRaw(in.ConsumeIntegral<std::int64_t>());
    const int digits = in.ConsumeIntegralInRange(0, 4);
    const int precision = in.ConsumeIntegralInRange(1, 18);
    const std::string pattern = in.ConsumeRemainingBytesAsString();

    switch (what) {
    case 0: {
        const std::string text = rtl::formatFloat(pattern, value, fs);
        if (pattern.empty() && std::isfinite(value))
            fuzzCheck(text == rtl::floatToStr(value, fs), "empty pattern is not the general text");
        std::string held;
        rtl::NumberFormat(pattern).append(held, value, fs);
        fuzzCheck(held == text, "number pattern held and passed write differently");
        break;
    }
    case 1: {
        const std::string text = rtl::formatCurr(pattern, money, fs);
        std::string held;
        rtl::NumberFormat(pattern).append(held, money, fs);
        fuzzCheck(held == text, "amount pattern held and passed write differently");
        break;
    }
    case 2: {
        // Any double, most of them outside the calendar; and one inside it.
        (void)rtl::formatDateTime(pattern, value, fs);
        const double inside = std::isfinite(value) ? std::fmod(std::fabs(value), 2958465.0) : 0;
        const std::string text = rtl::formatDateTime(pattern, inside, fs);
        fuzzCheck(rtl::DateTimeFormat(pattern, fs).format(inside, fs) == text,
                  "date-time pattern held and passed write differently");
        break;
    }
    case 3: {
        if (!std::isfinite(value)) break;
        const std::string text = rtl::floatToStr(value, fs);
        double back = 0;
        // Fifteen digits round the largest doubles past the largest double.
        if (!exotic && std::fabs(value) < 1.7976931348623e308) {
            fuzzCheck(rtl::tryStrToFloat(text, back, fs), "general float text unreadable");
            fuzzCheck(back == value || std::fabs(back - value) <= std::fabs(value) * 1e-14,
                      "general float text loses more than 15 digits");
        }
        (void)rtl::currencyText(value, digits, precision, fs);
        break;
    }
    default: {
        const std::string text = rtl::currToStr(money, fs);
        rtl::Currency back;
        if (!exotic)
            fuzzCheck(rtl::tryStrToCurr(text, back, fs) && back == money,
                      "currency text round trip");
        (void)rtl::currencyText(money, digits, precision, fs);
        (void)rtl::intToStr(money.raw());
        break;
    }
    }
    return 0;
}
