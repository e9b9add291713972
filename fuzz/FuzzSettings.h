#pragma once
// Regional settings for the fuzz targets: one of the two fixed sets, with
// the separators optionally taken from the input.
#include "rtl/settings.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

/// `exotic` tells whether the separators came from the input, which may
/// make them collide; round trips are only expected without that.
inline rtl::FormatSettings fuzzSettings(FuzzedDataProvider& in, bool& exotic) {
    exotic = false;
    rtl::FormatSettings fs = in.ConsumeBool() ? rtl::brazilianSettings() : rtl::englishSettings();
    if (in.ConsumeBool()) {
        exotic = true;
        // Separators a locale could plausibly give.
        static const char seps[] = {'.', ',', '/', '-', ':', ' ', '\'', '\xA0', '\0'};
        fs.decimalSeparator = seps[in.ConsumeIntegralInRange<size_t>(0, sizeof seps - 2)];
        fs.thousandSeparator = seps[in.ConsumeIntegralInRange<size_t>(0, sizeof seps - 1)];
        fs.dateSeparator = seps[in.ConsumeIntegralInRange<size_t>(0, sizeof seps - 2)];
        fs.timeSeparator = seps[in.ConsumeIntegralInRange<size_t>(0, sizeof seps - 2)];
    }
    return fs;
}

inline void fuzzCheck(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}
