// Conversions per second of the run-time routines that run on every grid
// cell and every exported value. Prints figures only.
//
//   bench_rtl_formats [--calls N] [TEXT]
//
// TEXT runs only the cases whose name contains it; --calls makes each case
// run exactly N conversions instead of for a fixed time, so that instruction
// counts (valgrind --tool=callgrind) can be compared between builds.
#include "rtl/format.h"
#include "rtl/parse.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile std::size_t sink;
const char* only = nullptr;
std::size_t fixedCalls = 0;

// Runs `body(i)` over and over for about `seconds` and prints calls/second.
template <class F> void measure(const char* name, F body, double seconds = 0.4) {
    if (only && !std::strstr(name, only)) return;
    if (fixedCalls) {
        for (std::size_t i = 0; i < fixedCalls; ++i)
            body(i);
        std::printf("%-44s %12zu conversions\n", name, fixedCalls);
        return;
    }
    using clock = std::chrono::steady_clock;
    std::size_t calls = 0;
    auto start = clock::now();
    double elapsed = 0;
    do {
        for (int k = 0; k < 1000; ++k)
            body(calls++);
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    } while (elapsed < seconds);
    std::printf("%-44s %12.0f conversions/s\n", name, static_cast<double>(calls) / elapsed);
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--calls") == 0 && i + 1 < argc)
            fixedCalls = std::strtoull(argv[++i], nullptr, 10);
        else
            only = argv[i];
    }
    const rtl::FormatSettings br = rtl::brazilianSettings();
    std::vector<double> values;
    for (int i = 0; i < 1024; ++i)
        values.push_back((i % 7 == 0 ? -1 : 1) * (i * 1234.5678 + i / 7.0) / (1 + i % 13));
    std::vector<rtl::TDateTime> dates;
    for (int i = 0; i < 1024; ++i)
        dates.push_back(40000 + i * 3.7 + i / 1024.0);
    std::vector<rtl::Currency> amounts;
    for (double v : values)
        amounts.push_back(rtl::Currency::fromDouble(v));

    std::string out;
    out.reserve(256);
    auto mask = [](std::size_t i) { return i & 1023; };

    std::printf("Run-time conversions (Brazilian settings, appending into one buffer)\n");
    measure("formatFloat ###,###,###,##0.00", [&](std::size_t i) {
        out.clear();
        rtl::appendFormatFloat(out, "###,###,###,##0.00", values[mask(i)], br);
        sink = out.size();
    });
    measure("formatFloat ###,###,###,##0.####", [&](std::size_t i) {
        out.clear();
        rtl::appendFormatFloat(out, "###,###,###,##0.####", values[mask(i)], br);
        sink = out.size();
    });
    measure("formatCurr ###,###,###,##0.00", [&](std::size_t i) {
        out.clear();
        rtl::appendFormatCurr(out, "###,###,###,##0.00", amounts[mask(i)], br);
        sink = out.size();
    });
    measure("floatToStr (general float text)", [&](std::size_t i) {
        out.clear();
        rtl::appendFloatToStr(out, values[mask(i)], br);
        sink = out.size();
    });
    measure("currToStr", [&](std::size_t i) {
        out.clear();
        rtl::appendCurrToStr(out, amounts[mask(i)], br);
        sink = out.size();
    });
    measure("currencyText (R$ 1.234,50)", [&](std::size_t i) {
        out.clear();
        rtl::appendCurrencyText(out, amounts[mask(i)], 2, 12, br);
        sink = out.size();
    });
    measure("intToStr", [&](std::size_t i) {
        out.clear();
        rtl::appendIntToStr(out, static_cast<std::int64_t>(i * 7919));
        sink = out.size();
    });
    measure("formatDateTime dd/mm/yyyy", [&](std::size_t i) {
        out.clear();
        rtl::appendFormatDateTime(out, "dd/mm/yyyy", dates[mask(i)], br);
        sink = out.size();
    });
    measure("formatDateTime hh:nn:ss", [&](std::size_t i) {
        out.clear();
        rtl::appendFormatDateTime(out, "hh:nn:ss", dates[mask(i)], br);
        sink = out.size();
    });
    measure("formatDateTime c (date and time)", [&](std::size_t i) {
        out.clear();
        rtl::appendFormatDateTime(out, "c", dates[mask(i)], br);
        sink = out.size();
    });
    const rtl::DateTimeFormat shortDate("dd/mm/yyyy", br), longTime("hh:nn:ss", br),
        dateTime("c", br);
    const rtl::NumberFormat twoDecimals("###,###,###,##0.00"), upToFour("###,###,###,##0.####");
    measure("NumberFormat ###,###,###,##0.00 (parsed once)", [&](std::size_t i) {
        out.clear();
        twoDecimals.append(out, values[mask(i)], br);
        sink = out.size();
    });
    measure("NumberFormat ###,###,###,##0.#### (parsed once)", [&](std::size_t i) {
        out.clear();
        upToFour.append(out, values[mask(i)], br);
        sink = out.size();
    });
    measure("NumberFormat currency ##0.00 (parsed once)", [&](std::size_t i) {
        out.clear();
        twoDecimals.append(out, amounts[mask(i)], br);
        sink = out.size();
    });
    measure("DateTimeFormat dd/mm/yyyy (parsed once)", [&](std::size_t i) {
        out.clear();
        shortDate.append(out, dates[mask(i)], br);
        sink = out.size();
    });
    measure("DateTimeFormat hh:nn:ss (parsed once)", [&](std::size_t i) {
        out.clear();
        longTime.append(out, dates[mask(i)], br);
        sink = out.size();
    });
    measure("DateTimeFormat c (parsed once)", [&](std::size_t i) {
        out.clear();
        dateTime.append(out, dates[mask(i)], br);
        sink = out.size();
    });

    // Texts to parse, made once.
    std::vector<std::string> floats, currs, dateTexts, dateTimeTexts, ints;
    for (std::size_t i = 0; i < 1024; ++i) {
        floats.push_back(rtl::floatToStr(values[i], br));
        currs.push_back(rtl::currToStr(amounts[i], br));
        dateTexts.push_back(rtl::dateToStr(dates[i], br));
        dateTimeTexts.push_back(rtl::formatDateTime("dd/mm/yyyy hh:nn:ss", dates[i], br));
        ints.push_back(rtl::intToStr(static_cast<std::int64_t>(i * 7919) - 4000000));
    }
    measure("strToInt",
            [&](std::size_t i) { sink = static_cast<std::size_t>(rtl::strToInt(ints[mask(i)])); });
    measure("strToFloat", [&](std::size_t i) {
        sink = static_cast<std::size_t>(rtl::strToFloat(floats[mask(i)], br));
    });
    measure("strToCurr", [&](std::size_t i) {
        sink = static_cast<std::size_t>(rtl::strToCurr(currs[mask(i)], br).raw());
    });
    measure("strToDate", [&](std::size_t i) {
        sink = static_cast<std::size_t>(rtl::strToDate(dateTexts[mask(i)], br));
    });
    measure("strToDateTime", [&](std::size_t i) {
        sink = static_cast<std::size_t>(rtl::strToDateTime(dateTimeTexts[mask(i)], br));
    });
    return 0;
}
