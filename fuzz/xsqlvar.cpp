// Value holders over descriptors built from the input: type, scale, subtype,
// length and names as a describe could report them, a data area of the
// described size filled with input bytes, then every reader, and writers
// whose value must read back unless they refuse it as documented.
#include "db/Fb.h"
#include "db/FbIntf.h"
#include "db/FbSQL.h"
#include "db/FbUtils.h"
#include "rtl/errors.h"
#include "rtl/settings.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

const short kTypes[] = {SQL_TEXT,  SQL_VARYING,   SQL_SHORT,     SQL_LONG,
                        SQL_FLOAT, SQL_DOUBLE,    SQL_D_FLOAT,   SQL_INT64,
                        SQL_QUAD,  SQL_TIMESTAMP, SQL_TYPE_TIME, SQL_TYPE_DATE,
                        SQL_BLOB,  SQL_ARRAY,     SQL_BOOLEAN,   SQL_NULL};

void fillName(FuzzedDataProvider& in, char (&name)[32], ISC_SHORT& length) {
    const std::string s = in.ConsumeRandomLengthString(40);
    std::memset(name, 0, sizeof name);
    std::memcpy(name, s.data(), std::min(s.size(), sizeof name));
    // Mostly the true length, sometimes whatever the input says.
    length = in.ConsumeBool() ? static_cast<ISC_SHORT>(std::min(s.size(), sizeof name))
                              : in.ConsumeIntegral<ISC_SHORT>();
}

// The size of the data area that the holder gives the described entry.
size_t areaSize(const XSQLVAR& x) {
    const size_t len = x.sqllen > 0 ? static_cast<size_t>(x.sqllen) : 0;
    if ((x.sqltype & ~1) == SQL_VARYING) return len + 2;
    return len > 0 ? len : 1;
}

// The answers a holder documents instead of a value, as bits.
enum Refusal : unsigned {
    kInvalid = 1,      ///< client error 38 "Invalid data conversion"
    kUnsupported = 2,  ///< client error 4, a variant array
    kNotPermitted = 4, ///< client error 5, a variant of a kind never written
    kNoDate = 8,       ///< rtl::EConvertError, a text that is no date-time
};

// Runs `act`, failing on any answer outside `allowed`, and tells whether
// `act` went through.
template <class F> bool runs(unsigned allowed, F&& act) {
    try {
        act();
        return true;
    } catch (const EFbClientError& e) {
        const unsigned r = e.SQLCode() == 38  ? kInvalid
                           : e.SQLCode() == 4 ? kUnsupported
                           : e.SQLCode() == 5 ? kNotPermitted
                                              : 0;
        check((r & allowed) != 0, "refused with an error it does not document");
    } catch (const rtl::EConvertError&) {
        check((kNoDate & allowed) != 0, "a text refused as a date where no date is written");
    }
    return false;
}

void readAll(TFbXSQLVAR& v) {
    (void)v.FieldKind();
    (void)v.SQLName();
    (void)v.RelName();
    (void)v.OwnName();
    (void)v.AliasName();
    (void)v.IsNull();
    runs(kInvalid, [&] { (void)v.AsString(); });
    runs(kInvalid, [&] { (void)v.AsLong(); });
    runs(kInvalid, [&] { (void)v.AsInt64(); });
    runs(kInvalid, [&] { (void)v.AsDouble(); });
    runs(kInvalid, [&] { (void)v.AsCurrency(); });
    runs(kInvalid, [&] { (void)v.AsDateTime(); });
    runs(kInvalid, [&] { (void)v.AsBoolean(); });
    runs(kInvalid, [&] { (void)v.AsQuad(); });
}

// What the entries that a writer on `v` writes were described as: every
// entry named like `v`, or `v` alone when it has no name.
struct Written {
    bool boolean = false;
    bool blob = false;
    bool date = false;
    bool onlyBlobs = true;
};

Written written(TFbXSQLDA& da, const std::vector<int>& described, const TFbXSQLVAR& v) {
    Written w;
    for (int i = 0; i < da.Count(); ++i) {
        if (i != v.Index() && (v.Name().empty() || da[i].Name() != v.Name())) continue;
        const int t = described[static_cast<size_t>(i)];
        w.boolean |= t == SQL_BOOLEAN;
        w.blob |= t == SQL_BLOB;
        w.date |= t == SQL_TIMESTAMP || t == SQL_TYPE_TIME || t == SQL_TYPE_DATE;
        w.onlyBlobs &= t == SQL_BLOB;
    }
    return w;
}

// An integer writer: a BOOLEAN entry among those written refuses every
// number but 0 and 1; otherwise the number reads back.
template <class W, class R>
void writeNumber(const Written& w, std::int64_t n, W&& write, R&& read) {
    const bool refused = w.boolean && n != 0 && n != 1;
    const bool wrote = runs(refused ? kInvalid : 0u, write);
    check(wrote != refused, "a BOOLEAN entry took a number other than 0 or 1");
    if (wrote) check(read() == n, "integer written does not read back");
}

void writeAndReadBack(FuzzedDataProvider& in, TFbXSQLDA& da, const std::vector<int>& described,
                      TFbXSQLVAR& v) {
    const Written w = written(da, described, v);
    switch (in.ConsumeIntegralInRange(0, 10)) {
    case 0: {
        const auto n = in.ConsumeIntegral<std::int32_t>();
        writeNumber(
            w, n, [&] { v.SetAsLong(n); }, [&] { return v.AsLong(); });
        break;
    }
    case 1: {
        const auto n = in.ConsumeIntegral<std::int64_t>();
        writeNumber(
            w, n, [&] { v.SetAsInt64(n); }, [&] { return v.AsInt64(); });
        break;
    }
    case 2: {
        const auto n = in.ConsumeIntegral<std::int16_t>();
        writeNumber(
            w, n, [&] { v.SetAsShort(n); }, [&] { return v.AsLong(); });
        break;
    }
    case 3: {
        const bool b = in.ConsumeBool();
        v.SetAsBoolean(b);
        check(v.AsBoolean() == b, "boolean written does not read back");
        break;
    }
    case 4: {
        const auto d = in.ConsumeFloatingPoint<double>();
        v.SetAsDouble(d);
        check(v.AsDouble() == d || d != d, "double written does not read back");
        break;
    }
    case 5: {
        const auto c = rtl::Currency::fromRaw(in.ConsumeIntegral<std::int64_t>());
        v.SetAsCurrency(c);
        check(v.AsCurrency() == c, "currency written does not read back");
        break;
    }
    case 6: {
        // Mostly a valid moment; out of range it is refused.
        const double when = in.ConsumeBool() ? in.ConsumeFloatingPointInRange(-693593.0, 2958465.0)
                                             : in.ConsumeFloatingPoint<double>();
        switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0:
            runs(kInvalid, [&] { v.SetAsDateTime(when); });
            break;
        case 1:
            runs(kInvalid, [&] { v.SetAsDate(when); });
            break;
        default:
            runs(kInvalid, [&] { v.SetAsTime(when); });
            break;
        }
        runs(kInvalid, [&] { (void)v.AsDateTime(); });
        break;
    }
    case 7: {
        ISC_QUAD q{in.ConsumeIntegral<ISC_LONG>(), in.ConsumeIntegral<ISC_ULONG>()};
        const bool wrote = runs(w.onlyBlobs ? 0u : kInvalid, [&] { v.SetAsQuad(q); });
        check(wrote == w.onlyBlobs, "a blob id written into an entry of another type");
        if (wrote) {
            const ISC_QUAD back = v.AsQuad();
            check(back.gds_quad_high == q.gds_quad_high && back.gds_quad_low == q.gds_quad_low,
                  "blob id written does not read back");
        }
        break;
    }
    case 8: {
        TFbVariant x =
            TFbVariant::Make(in.ConsumeIntegral<std::uint16_t>() & 0x61ff,
                             in.ConsumeIntegral<std::int64_t>(), in.ConsumeFloatingPoint<double>());
        x.Curr = rtl::Currency::fromRaw(x.Int);
        x.Str = in.ConsumeRandomLengthString(40);
        // A variant reaches one of the writers above, or is refused for its
        // kind.
        runs(kInvalid | kUnsupported | kNotPermitted | (w.date ? kNoDate : 0u),
             [&] { v.SetAsVariant(x); });
        readAll(v);
        break;
    }
    case 9:
        v.SetIsNull(in.ConsumeBool());
        readAll(v);
        break;
    default: {
        // A blob needs a statement, a date-time entry a text that is one.
        const std::string text = in.ConsumeRandomLengthString(400);
        runs((w.blob ? kInvalid : 0u) | (w.date ? kNoDate : 0u), [&] { v.SetAsString(text); });
        readAll(v);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const bool loaded = [] {
        RequireClientLibrary();
        rtl::setFormatSettings(rtl::brazilianSettings());
        return true;
    }();
    (void)loaded;

    FuzzedDataProvider in(data, size);
    const bool columns = in.ConsumeBool();
    const int count = in.ConsumeIntegralInRange(1, 4);
    TFbXSQLDA da(nullptr, columns);
    da.SetCount(count);
    XSQLDA* sqlda = da.AsXSQLDA();
    std::vector<std::string> paramNames;
    for (int i = 0; i < count; ++i) {
        XSQLVAR& x = sqlda->sqlvar[i];
        short type = in.ConsumeBool()
                         ? kTypes[in.ConsumeIntegralInRange<size_t>(0, std::size(kTypes) - 1)]
                         : in.ConsumeIntegral<short>();
        if (in.ConsumeBool()) type = static_cast<short>(type | 1);
        x.sqltype = type;
        x.sqlscale = in.ConsumeBool() ? static_cast<short>(-in.ConsumeIntegralInRange(0, 18))
                                      : in.ConsumeIntegral<short>();
        x.sqlsubtype = in.ConsumeIntegral<short>();
        x.sqllen = in.ConsumeBool() ? in.ConsumeIntegralInRange<short>(0, 64)
                                    : in.ConsumeIntegral<short>();
        fillName(in, x.sqlname, x.sqlname_length);
        fillName(in, x.relname, x.relname_length);
        fillName(in, x.ownname, x.ownname_length);
        fillName(in, x.aliasname, x.aliasname_length);
        if (!columns)
            paramNames.push_back(in.ConsumeBool() ? "P" : in.ConsumeRandomLengthString(8));
    }
    try {
        da.Initialize(paramNames);
    } catch (const EFbClientError& e) {
        check(e.SQLCode() == 35, "describe refused with other than an unknown type");
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        XSQLVAR& x = sqlda->sqlvar[i];
        check(x.sqldata != nullptr, "no data area");
        const std::string bytes = in.ConsumeBytesAsString(areaSize(x));
        std::memcpy(x.sqldata, bytes.data(), bytes.size());
        if (x.sqlind) *x.sqlind = in.ConsumeBool() ? -1 : 0;
    }
    std::vector<int> described;
    for (int i = 0; i < count; ++i) {
        described.push_back(da[i].SQLType());
        readAll(da[i]);
    }
    if (in.remaining_bytes() > 0)
        writeAndReadBack(in, da, described, da[in.ConsumeIntegralInRange(0, count - 1)]);
    return 0;
}
