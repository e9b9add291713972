// The decoder of the newer column types: native bytes to the server's text
// (128-bit integers, decimal floating point), that text to the regional
// form and back, and arbitrary text both ways. A native integer's text must
// read back as the same bytes; a decimal float's text must keep its grammar
// and digit count; every regional form of a server text must give that text
// back; hexadecimal must give the bytes back.
#include "db/FbValues.h"
#include "rtl/settings.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// The 128-bit two's complement value of a scaled integer's text.
bool readInt128(const std::string& text, int scale, unsigned char (&out)[16]) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++i;
    unsigned __int128 v = 0;
    int after = -1;
    for (; i < text.size(); ++i) {
        if (text[i] == '.') {
            if (after >= 0) return false;
            after = 0;
            continue;
        }
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + static_cast<unsigned>(text[i] - '0');
        if (after >= 0) ++after;
    }
    if ((scale < 0 ? -scale : 0) != (after < 0 ? 0 : after)) return false;
    if (negative) v = ~v + 1;
    for (int k = 0; k < 16; ++k)
        out[k] = static_cast<unsigned char>(v >> (8 * k));
    return true;
}

bool decFloatGrammar(const std::string& t, std::size_t maxDigits) {
    std::size_t i = t[0] == '-' ? 1 : 0;
    const std::string rest = t.substr(i);
    if (rest == "Infinity" || rest == "NaN" || rest == "sNaN") return true;
    std::size_t digits = 0;
    bool point = false, leading = true;
    for (; i < t.size() && t[i] != 'E'; ++i) {
        if (t[i] == '.') {
            if (point) return false;
            point = true;
        } else if (t[i] >= '0' && t[i] <= '9') {
            if (t[i] != '0') leading = false;
            if (!leading) ++digits;
        } else {
            return false;
        }
    }
    return digits <= maxDigits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const bool once = [] {
        rtl::setFormatSettings(rtl::brazilianSettings());
        return true;
    }();
    (void)once;
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: {
        unsigned char v[16] = {};
        in.ConsumeData(v, sizeof v);
        const int scale = -in.ConsumeIntegralInRange<int>(0, 40);
        const std::string text = FbNativeText(FbSqlInt128, scale, v, sizeof v);
        unsigned char back[16];
        check(readInt128(text, scale, back), "an integer's text out of its grammar");
        check(std::memcmp(v, back, sizeof v) == 0, "an integer's text reads as another value");
        std::string server;
        check(FbExactTextForServer(TFbExactKind::Decimal,
                                   FbExactText(TFbExactKind::Decimal, text, in.ConsumeBool()),
                                   server) &&
                  server == text,
              "a decimal's regional text gives another server text");
        break;
    }
    case 1: {
        const bool wide = in.ConsumeBool();
        unsigned char v[16] = {};
        in.ConsumeData(v, wide ? 16 : 8);
        const std::string text =
            FbNativeText(wide ? FbSqlDecFloat34 : FbSqlDecFloat16, 0, v, wide ? 16 : 8);
        check(!text.empty() && decFloatGrammar(text, wide ? 34 : 16),
              "a decimal float's text out of its grammar");
        std::string server;
        check(FbExactTextForServer(TFbExactKind::DecFloat,
                                   FbExactText(TFbExactKind::DecFloat, text), server) &&
                  server == text,
              "a decimal float's regional text gives another server text");
        break;
    }
    case 2: {
        const std::string bytes = in.ConsumeRemainingBytesAsString();
        std::string back;
        check(FbExactTextForServer(TFbExactKind::Octets, FbExactText(TFbExactKind::Octets, bytes),
                                   back) &&
                  back == bytes,
              "hexadecimal gives other bytes");
        break;
    }
    default: {
        const auto kind = static_cast<TFbExactKind>(in.ConsumeIntegralInRange<int>(0, 5));
        const bool grouped = in.ConsumeBool();
        const std::string text = in.ConsumeRemainingBytesAsString();
        std::string out;
        FbAppendExactText(out, kind, text, grouped);
        std::string server;
        const bool read = FbExactTextForServer(kind, text, server);
        check(read || server == text, "a text not read is not kept as typed");
        break;
    }
    }
    return 0;
}
