// Conversions per second of the value holders, per SQL kind: a column value
// read as text (what the grid and the export do for every cell) and the
// numeric/date readers the dataset uses, and a typed text written into a
// parameter (what replication does). No database needed: the descriptors
// are filled by hand as a describe would fill them.
#include "db/FbSQL.h"
#include "rtl/settings.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace {

struct Kind {
    const char* label;
    short type;
    short scale;
    short len;
    const char* text; ///< a typical typed text for this kind
};

const Kind kinds[] = {
    {"CHAR(20)", SQL_TEXT, 0, 20, "Maria da Silva"},
    {"VARCHAR(40)", SQL_VARYING, 0, 40, "Rua das Flores, 123"},
    {"SMALLINT", SQL_SHORT, 0, 2, "-1234"},
    {"INTEGER", SQL_LONG, 0, 4, "123456"},
    {"BIGINT", SQL_INT64, 0, 8, "9000000000"},
    {"NUMERIC(9,2)", SQL_LONG, -2, 4, "1234,56"},
    {"NUMERIC(18,4)", SQL_INT64, -4, 8, "1234,5678"},
    {"NUMERIC(18,6)", SQL_INT64, -6, 8, "1,234567"},
    {"DOUBLE", SQL_DOUBLE, 0, 8, "3,14159"},
    {"FLOAT", SQL_FLOAT, 0, 4, "2,5"},
    {"TIMESTAMP", SQL_TIMESTAMP, 0, 8, "05/03/2024 10:20:30"},
    {"DATE", SQL_TYPE_DATE, 0, 4, "05/03/2024"},
    {"TIME", SQL_TYPE_TIME, 0, 4, "10:20:30"},
};
constexpr int kindCount = sizeof kinds / sizeof kinds[0];

double perSecond(int iterations, const std::function<void()>& body) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i)
        body();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return iterations / took.count();
}

void describe(TFbXSQLDA& da) {
    da.SetCount(kindCount);
    for (int i = 0; i < kindCount; ++i) {
        XSQLVAR* x = da[i].Data();
        x->sqltype = static_cast<short>(kinds[i].type | 1);
        x->sqlscale = kinds[i].scale;
        x->sqllen = kinds[i].len;
        x->aliasname_length = 0;
    }
    da.Initialize();
}

} // namespace

int main() {
    RequireClientLibrary();
    rtl::setFormatSettings(rtl::brazilianSettings());
    constexpr int n = 200000;

    // Columns holding a value, as a fetch leaves them: written through the
    // parameter path first, then re-described so the stored bytes match the
    // column type.
    TFbXSQLDA columns(nullptr, true);
    describe(columns);
    TFbXSQLDA params(nullptr, false);
    describe(params);
    for (int i = 0; i < kindCount; ++i) {
        TFbXSQLVAR& c = columns[i];
        XSQLVAR* x = c.Data();
        switch (kinds[i].type) {
        case SQL_TEXT:
            std::memset(x->sqldata, ' ', static_cast<size_t>(x->sqllen));
            std::memcpy(x->sqldata, kinds[i].text, std::strlen(kinds[i].text));
            break;
        case SQL_VARYING: {
            const short len = static_cast<short>(std::strlen(kinds[i].text));
            std::memcpy(x->sqldata, &len, 2);
            std::memcpy(x->sqldata + 2, kinds[i].text, static_cast<size_t>(len));
            break;
        }
        case SQL_SHORT: {
            short v = -1234;
            std::memcpy(x->sqldata, &v, sizeof v);
            break;
        }
        case SQL_LONG: {
            int v = 123456;
            std::memcpy(x->sqldata, &v, sizeof v);
            break;
        }
        case SQL_INT64: {
            long long v = 12345678901LL;
            std::memcpy(x->sqldata, &v, sizeof v);
            break;
        }
        case SQL_DOUBLE: {
            double v = 3.14159;
            std::memcpy(x->sqldata, &v, sizeof v);
            break;
        }
        case SQL_FLOAT: {
            float v = 2.5f;
            std::memcpy(x->sqldata, &v, sizeof v);
            break;
        }
        default: {
            // Dates and times: let the parameter writer encode them, then
            // copy the encoded bytes into the column.
            TFbXSQLVAR& p = params[i];
            p.SetAsDateTime(rtl::encodeDate(2024, 3, 5) + rtl::encodeTime(10, 20, 30, 0));
            if (kinds[i].type == SQL_TIMESTAMP) {
                std::memcpy(x->sqldata, p.Data()->sqldata, 8);
            } else {
                p.SetAsDate(rtl::encodeDate(2024, 3, 5));
                if (kinds[i].type == SQL_TYPE_TIME) p.SetAsTime(rtl::encodeTime(10, 20, 30, 0));
                std::memcpy(x->sqldata, p.Data()->sqldata, 4);
            }
            break;
        }
        }
    }
    describe(params);

    std::printf("%-14s %-22s %14s %14s %14s\n", "kind", "text of the value", "AsString/s",
                "typed read/s", "SetAsString/s");
    for (int i = 0; i < kindCount; ++i) {
        TFbXSQLVAR& c = columns[i];
        TFbXSQLVAR& p = params[i];
        std::string sample = c.AsString();
        volatile size_t sink = 0;
        double toText = perSecond(n, [&] { sink = sink + c.AsString().size(); });
        double typed = 0;
        switch (kinds[i].type) {
        case SQL_TEXT:
        case SQL_VARYING:
            typed = toText;
            break;
        case SQL_SHORT:
        case SQL_LONG:
        case SQL_INT64:
            if (kinds[i].scale == 0)
                typed = perSecond(n, [&] { sink = sink + static_cast<size_t>(c.AsInt64()); });
            else if (kinds[i].scale < -4)
                typed = perSecond(n, [&] { sink = sink + static_cast<size_t>(c.AsDouble()); });
            else
                typed =
                    perSecond(n, [&] { sink = sink + static_cast<size_t>(c.AsCurrency().raw()); });
            break;
        case SQL_DOUBLE:
        case SQL_FLOAT:
            typed = perSecond(n, [&] { sink = sink + static_cast<size_t>(c.AsDouble()); });
            break;
        default:
            typed = perSecond(n, [&] { sink = sink + static_cast<size_t>(c.AsDateTime()); });
            break;
        }
        const std::string text = kinds[i].text;
        double fromText = perSecond(n, [&] { p.SetAsString(text); });
        std::printf("%-14s %-22s %14.0f %14.0f %14.0f\n", kinds[i].label, sample.c_str(), toText,
                    typed, fromText);
    }
    std::printf("(%d iterations per figure; Brazilian regional settings)\n", n);
    return 0;
}
