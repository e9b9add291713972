// Value holders over descriptors built from the input: type, scale, subtype,
// length and names as a describe could report them, a data area of the
// described size filled with input bytes, then every reader, and one writer
// whose value must read back.
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

template <class F> void tolerate(F&& read) {
    try {
        read();
    } catch (const EFbClientError& e) {
        check(e.SQLCode() == 38, "a reader failed with other than an invalid conversion");
    } catch (const rtl::EConvertError&) {
        // A text that is no date-time for a date parameter.
    }
}

void readAll(TFbXSQLVAR& v) {
    (void)v.FieldKind();
    (void)v.SQLName();
    (void)v.RelName();
    (void)v.OwnName();
    (void)v.AliasName();
    (void)v.IsNull();
    tolerate([&] { (void)v.AsString(); });
    tolerate([&] { (void)v.AsLong(); });
    tolerate([&] { (void)v.AsInt64(); });
    tolerate([&] { (void)v.AsDouble(); });
    tolerate([&] { (void)v.AsCurrency(); });
    tolerate([&] { (void)v.AsDateTime(); });
    tolerate([&] { (void)v.AsQuad(); });
}

void writeAndReadBack(FuzzedDataProvider& in, TFbXSQLVAR& v) {
    switch (in.ConsumeIntegralInRange(0, 6)) {
    case 0: {
        const auto n = in.ConsumeIntegral<std::int32_t>();
        v.SetAsLong(n);
        check(v.AsLong() == n, "integer written does not read back");
        break;
    }
    case 1: {
        const auto n = in.ConsumeIntegral<std::int64_t>();
        v.SetAsInt64(n);
        check(v.AsInt64() == n, "64-bit integer written does not read back");
        break;
    }
    case 2: {
        const auto d = in.ConsumeFloatingPoint<double>();
        v.SetAsDouble(d);
        check(v.AsDouble() == d || d != d, "double written does not read back");
        break;
    }
    case 3: {
        const auto c = rtl::Currency::fromRaw(in.ConsumeIntegral<std::int64_t>());
        v.SetAsCurrency(c);
        check(v.AsCurrency() == c, "currency written does not read back");
        break;
    }
    case 4: {
        const double when = in.ConsumeFloatingPointInRange(-693593.0, 2958465.0);
        tolerate([&] { v.SetAsDateTime(when); });
        tolerate([&] { (void)v.AsDateTime(); });
        break;
    }
    case 5:
        v.SetIsNull(in.ConsumeBool());
        readAll(v);
        break;
    default: {
        const std::string text = in.ConsumeRandomLengthString(400);
        tolerate([&] { v.SetAsString(text); });
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
    for (int i = 0; i < count; ++i)
        readAll(da[i]);
    if (in.remaining_bytes() > 0) writeAndReadBack(in, da[in.ConsumeIntegralInRange(0, count - 1)]);
    return 0;
}
