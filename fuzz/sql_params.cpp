// Statement text through the named-parameter parser, and the names it finds
// through the identifier helpers that name parameters and columns.
#include "db/FbUtils.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

size_t count(const std::string& s, char c) {
    size_t n = 0;
    for (char x : s)
        n += x == c;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool invent = in.ConsumeBool();
    const int dialect = in.ConsumeIntegralInRange(1, 3);
    const std::string sql = in.ConsumeRemainingBytesAsString();

    const TFbParsedSQL parsed = ParseParams(sql, invent);
    if (parsed.Error != 0) {
        check(parsed.Error == 100 || parsed.Error == 101 || parsed.Error == 102,
              "error code outside 100..102");
    } else {
        // Every stored name stands for one "?" written out, and nothing but
        // markers and copied characters reaches the text.
        check(count(parsed.Text, '?') >= parsed.Names.size(), "more names than markers");
        check(parsed.Text.size() <= sql.size(), "processed text longer than the input");
    }

    std::vector<std::string> taken;
    for (const std::string& name : parsed.Names) {
        const std::string norm = NormalizeIdentifier(dialect, name);
        check(norm.size() <= name.size(), "normalised name longer than the name");
        (void)QuoteIdentifier(dialect, name);
        const std::string unique = UniqueColumnName(dialect, name, taken);
        const std::string uniqueNorm = NormalizeIdentifier(dialect, unique);
        for (const std::string& t : taken)
            check(t != uniqueNorm, "column name not unique");
        taken.push_back(uniqueNorm);
        if (taken.size() > 64) break;
    }
    return 0;
}
