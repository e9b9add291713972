// Parameter lines of a connection and of a transaction encoded into their
// parameter blocks. Every block produced must walk cleanly as tag, length,
// value clusters (DPB) or single tags with length-prefixed table names (TPB).
#include "db/Fb.h"
#include "db/FbDatabase.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

std::vector<std::string> lines(FuzzedDataProvider& in) {
    std::vector<std::string> r;
    while (in.remaining_bytes() > 0 && r.size() < 32)
        r.push_back(in.ConsumeRandomLengthString(300));
    return r;
}

void walkDpb(const std::string& dpb) {
    check(!dpb.empty() && dpb[0] == isc_dpb_version1, "DPB without its version byte");
    size_t i = 1;
    while (i < dpb.size()) {
        const auto tag = static_cast<unsigned char>(dpb[i]);
        check(tag >= 1 && tag <= 70, "DPB tag out of range");
        check(i + 1 < dpb.size(), "DPB cluster without its length");
        const size_t len = static_cast<unsigned char>(dpb[i + 1]);
        check(i + 2 + len <= dpb.size(), "DPB value runs past the end");
        i += 2 + len;
    }
}

void walkTpb(const std::string& tpb, bool noLines) {
    if (noLines) {
        check(tpb.empty(), "TPB for no lines");
        return;
    }
    check(!tpb.empty() && tpb[0] == isc_tpb_version3, "TPB without its version byte");
    size_t i = 1;
    while (i < tpb.size()) {
        const auto tag = static_cast<unsigned char>(tpb[i]);
        check(tag >= 1 && tag <= 21, "TPB tag out of range");
        ++i;
        if (tag == isc_tpb_lock_read || tag == isc_tpb_lock_write) {
            check(i < tpb.size(), "table reservation without its length");
            const size_t len = static_cast<unsigned char>(tpb[i]);
            check(i + 1 + len <= tpb.size(), "table name runs past the end");
            i += 1 + len;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool transaction = in.ConsumeBool();
    const std::vector<std::string> params = lines(in);
    try {
        if (transaction)
            walkTpb(GenerateTPB(params), params.empty());
        else
            walkDpb(GenerateDPB(params));
    } catch (const EFbClientError&) {
        // A refused or unknown name, or a value too long: documented refusals.
    } catch (const std::invalid_argument&) {
        // A number that is not an integer.
    }
    return 0;
}
