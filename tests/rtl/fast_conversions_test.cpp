// The quick roads of the conversions every grid cell and exported value
// takes must write exactly what the general routines write: digits of a
// double by integer arithmetic against the standard library's conversion,
// date-time patterns parsed once against the pattern read at each call.
#include "rtl/decimal.h"
#include "rtl/format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using rtl::detail::Decimal;

std::string describe(const Decimal& d) {
    return (d.neg ? "-0." : "0.") + std::string(d.digits, static_cast<std::size_t>(d.n)) + "e" +
           std::to_string(d.exp);
}

// Every precision the formatting routines may ask for.
void expectSameDigits(double v) {
    for (int precision = 1; precision <= 17; ++precision) {
        Decimal fast = rtl::detail::decimalFromDouble(v, precision);
        Decimal general = rtl::detail::decimalFromDoubleGeneral(v, precision);
        ASSERT_EQ(describe(fast), describe(general))
            << "value " << std::hexfloat << v << std::defaultfloat << " (" << v << ") at precision "
            << precision;
    }
}

double fromBits(std::uint64_t bits) {
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

TEST(DigitsOfADouble, ValuesAsTheTablesHoldThem) {
    // Row numbers over 7, times 1.5, over 1000: what the benchmark and
    // ordinary columns hold.
    for (int i = -20000; i <= 20000; i += 7) {
        expectSameDigits(i / 7.0);
        expectSameDigits(i * 1.5);
        expectSameDigits(i / 1000.0);
        expectSameDigits(i * 1000003.0);
        expectSameDigits((i * 1234.5678 + i / 7.0) / (1 + (i & 15)));
    }
}

TEST(DigitsOfADouble, PowersOfTenAndTheirNeighbours) {
    for (int e = -320; e <= 308; ++e) {
        double p = std::pow(10.0, e);
        if (p == 0 || !std::isfinite(p)) continue;
        for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, HUGE_VAL), -p, 5 * p,
                         9.999999999999999 * p, 0.5 * p})
            if (std::isfinite(v) && v != 0) expectSameDigits(v);
    }
}

TEST(DigitsOfADouble, ExactHalvesGoToTheEvenDigit) {
    // Each is exact in binary and lies exactly halfway at some precision.
    const double halves[] = {0.5,
                             1.5,
                             2.5,
                             0.125,
                             0.375,
                             0.0625,
                             1000000000000005.0,
                             1000000000000015.0,
                             9999999999999995.0,
                             999999999999999.5,
                             99999999999999.25,
                             12345678901234.5,
                             2.0000000000000004,
                             4503599627370495.5,
                             9007199254740993.0,
                             1.0e22,
                             1.0e23,
                             std::ldexp(1.0, 60),
                             std::ldexp(1.0, 70),
                             std::ldexp(3.0, -10)};
    for (double v : halves) {
        expectSameDigits(v);
        expectSameDigits(-v);
    }
}

TEST(DigitsOfADouble, HugeTinySubnormalAndRandomBitPatterns) {
    for (double v : {DBL_MAX, DBL_MIN, DBL_TRUE_MIN, 1e-300, 1e300, 1.7976931348623157e308,
                     4.9406564584124654e-324, 2.2250738585072009e-308, 1e-5, 1e-4, 1e15, 1e16, 1e17,
                     123456789012345678.0})
        expectSameDigits(v);
    std::mt19937_64 random(20261208);
    for (int i = 0; i < 20000; ++i) {
        double v = fromBits(random());
        if (std::isfinite(v) && v != 0) expectSameDigits(v);
    }
    // Magnitudes where the integer road runs, drawn more densely.
    std::uniform_real_distribution<double> exponent(-30, 40);
    std::uniform_real_distribution<double> mantissa(1, 10);
    for (int i = 0; i < 20000; ++i)
        expectSameDigits(mantissa(random) * std::pow(10.0, std::floor(exponent(random))));
}

// --- date-time patterns ------------------------------------------------

rtl::FormatSettings withPatterns(rtl::FormatSettings fs, const char* shortDate,
                                 const char* longTime) {
    fs.shortDateFormat = shortDate;
    fs.longTimeFormat = longTime;
    return fs;
}

std::vector<rtl::FormatSettings> settingsToTry() {
    std::vector<rtl::FormatSettings> all = {rtl::brazilianSettings(), rtl::englishSettings()};
    // Separators of other regions, names of other lengths, a 12-hour clock,
    // a pattern that names itself and one naming the other.
    rtl::FormatSettings other = rtl::englishSettings();
    other.dateSeparator = '-';
    other.timeSeparator = '.';
    other.timeAMString = "a.m.";
    other.timePMString = "p.m.";
    other.shortMonthNames[2] = "Mrz";
    other.longDayNames[0] = "Domingo feliz";
    all.push_back(withPatterns(other, "yyyy/m/d", "h:nn:ss ampm"));
    all.push_back(withPatterns(other, "ddddd", "tt"));
    all.push_back(withPatterns(rtl::brazilianSettings(), "dddddd", "t"));
    all.push_back(withPatterns(rtl::brazilianSettings(), "c", "hh:nn:ss.zzz"));
    return all;
}

const char* const datePatterns[] = {
    "",
    "c",
    "dd/mm/yyyy",
    "hh:nn:ss",
    "d/m/yy",
    "yyyy-mm-dd hh:nn:ss.zzz",
    "ddd, d mmm yyyy",
    "dddd dd mmmm yyyy",
    "ddddd",
    "dddddd",
    "t",
    "tt",
    "ddddd tt",
    "h:mm am/pm",
    "hh:mm AM/PM",
    "H:MM Am/pM",
    "h:n a/p",
    "hh:nn A/P",
    "h ampm",
    "hh:m:s z zz zzz zzzz",
    "\"dia\" dd 'de' mmmm 'unclosed",
    "yyyyyyy yyy y mmmmmm ddddddd hhh nnn sss",
    "am/pm hh",
    "a",
    "x/y:z ' ' \"\"",
    "mm",
    "hh mm",
    "hh \"lit\" mm",
    "hh:mm:ss c c",
    "CCC",
    "D/M/Y",
    "q 7 % ;",
};

std::vector<rtl::TDateTime> datesToTry() {
    std::vector<rtl::TDateTime> all;
    for (int i = -2000; i < 2000; ++i)
        all.push_back(45292.0 + i * 3.7 + i / 1024.0); // spread over days and hours
    for (double day : {0.0, 1.0, -1.0, -693593.0, 2958465.0, 45351.0, 36585.0, -100.0})
        for (double t : {0.0, 0.5, 0.25, 0.999999, 0.9999999999, 1.0 / 86400000.0, 0.0000057,
                         0.4999999, 11.0 / 24, 12.0 / 24 + 1.0 / 86400, 23.0 / 24 + 59.0 / 1440})
            all.push_back(day >= 0 ? day + t : day - t);
    // Years and milliseconds of every width.
    for (int year : {1, 9, 10, 99, 100, 999, 1000, 2024, 9999})
        for (int msec : {0, 5, 50, 500, 999})
            all.push_back(rtl::encodeDate(year, 6, 7) + rtl::encodeTime(9, 5, 3, msec));
    // Out of range and not numbers: both write nothing.
    for (double v :
         {-693594.0, -693594.5, 2958466.0, 2958465.99999999, 1e300, -1e300,
          std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        all.push_back(v);
    return all;
}

TEST(DateTimePatternsParsedOnce, WriteWhatTheGeneralRoutineWrites) {
    const std::vector<rtl::TDateTime> dates = datesToTry();
    for (const rtl::FormatSettings& fs : settingsToTry()) {
        for (const char* pattern : datePatterns) {
            const rtl::DateTimeFormat parsed(pattern, fs);
            for (rtl::TDateTime v : dates) {
                std::string expected = "<";
                rtl::appendFormatDateTime(expected, pattern, v, fs);
                std::string got = "<";
                parsed.append(got, v, fs);
                ASSERT_EQ(got, expected) << "pattern \"" << pattern << "\" value " << v
                                         << " short date \"" << fs.shortDateFormat << "\"";
            }
        }
    }
}

TEST(DateTimePatternsParsedOnce, LongLiteralsAndNamesPassWhole) {
    rtl::FormatSettings fs = rtl::brazilianSettings();
    fs.longMonthNames[0] = std::string(200, 'J');
    const std::string pattern = "'" + std::string(70000, 'x') + "' mmmm " + std::string(90, 'k');
    const rtl::DateTimeFormat parsed(pattern, fs);
    const rtl::TDateTime jan = rtl::encodeDate(2024, 1, 31);
    EXPECT_EQ(parsed.format(jan, fs), rtl::formatDateTime(pattern, jan, fs));
    EXPECT_EQ(parsed.format(jan, fs).size(), 70000u + 1 + 200 + 1 + 90);
}

TEST(DateTimePatternsParsedOnce, NamedPatternsAreTakenWhenParsedOthersAtEachCall) {
    rtl::FormatSettings br = rtl::brazilianSettings();
    const rtl::DateTimeFormat shortDate("ddddd", br);
    const rtl::TDateTime v = rtl::encodeDate(2024, 3, 5) + rtl::encodeTime(14, 7, 9);
    EXPECT_EQ(shortDate.format(v, br), "05/03/2024");
    rtl::FormatSettings dashes = br;
    dashes.dateSeparator = '-';
    dashes.shortDateFormat = "yyyy/mm/dd"; // not seen: taken when parsed
    EXPECT_EQ(shortDate.format(v, dashes), "05-03-2024");
    EXPECT_EQ(rtl::DateTimeFormat("c", br).format(v, br), "05/03/2024 14:07:09");
    EXPECT_EQ(rtl::DateTimeFormat("c", br).format(rtl::encodeDate(2024, 3, 5), br), "05/03/2024");
    EXPECT_EQ(rtl::DateTimeFormat().format(v, br), "");
}

TEST(RegionalSettings, ReplacingTheCurrentSetChangesItsGeneration) {
    const std::uint64_t before = rtl::formatSettingsGeneration();
    EXPECT_NE(before, 0u);
    {
        rtl::ScopedFormatSettings br(rtl::brazilianSettings());
        EXPECT_NE(rtl::formatSettingsGeneration(), before);
    }
    EXPECT_NE(rtl::formatSettingsGeneration(), before);
    const std::uint64_t after = rtl::formatSettingsGeneration();
    (void)rtl::formatSettings();
    EXPECT_EQ(rtl::formatSettingsGeneration(), after);
}

// --- number patterns ----------------------------------------------------

const char* const numberPatterns[] = {
    "",
    "###,###,###,##0.00",
    "###,###,###,##0.####",
    "0",
    "000.000",
    "#",
    "#.##",
    "0.00E+00",
    "##0.0e-0",
    "0.00;(0.00)",
    "0.00;;\"zero\"",
    "0.00;-0.00;'nada'",
    ";0.0",
    "0;",
    "\"R$ \"#,##0.00;\"R$ -\"#,##0.00;\"-\"",
    "'unclosed 0.0",
    "0.0 'pts;x' ;'neg' 0",
    "#,##0.###############",
    "x",
};

TEST(NumberPatternsParsedOnce, WriteWhatTheGeneralRoutineWrites) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.5,
                                  -0.5,
                                  1.005,
                                  2.675,
                                  -2.675,
                                  0.004,
                                  -0.004,
                                  999.995,
                                  1e15,
                                  1e20,
                                  -1e-20,
                                  1234.5,
                                  -1234.5,
                                  1e300,
                                  DBL_MAX,
                                  DBL_MIN,
                                  0.125,
                                  1.0 / 3,
                                  123456789012345678.0,
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::infinity()};
    std::mt19937_64 random(99);
    std::uniform_real_distribution<double> exponent(-8, 18);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    for (int i = 0; i < 1500; ++i)
        values.push_back(mantissa(random) * std::pow(10.0, std::floor(exponent(random))));
    std::vector<rtl::Currency> amounts;
    for (std::int64_t raw : {0LL, 1LL, -1LL, 5000LL, -5000LL, 12345678LL, -99995LL,
                             9223372036854775807LL, -9223372036854775807LL - 1})
        amounts.push_back(rtl::Currency::fromRaw(raw));
    for (int i = 0; i < 500; ++i)
        amounts.push_back(rtl::Currency::fromRaw(static_cast<std::int64_t>(random()) >> (i % 60)));

    const rtl::FormatSettings settings[] = {rtl::brazilianSettings(), rtl::englishSettings()};
    for (const rtl::FormatSettings& fs : settings) {
        for (const char* pattern : numberPatterns) {
            // Kept through a copy and an assignment, as a field keeps it.
            rtl::NumberFormat original(pattern);
            std::vector<rtl::NumberFormat> kept(3, original);
            kept.emplace_back("0.0");
            kept.back() = original;
            const rtl::NumberFormat& parsed = kept.back();
            for (double v : values) {
                std::string expected = "<", got = "<";
                rtl::appendFormatFloat(expected, pattern, v, fs);
                parsed.append(got, v, fs);
                ASSERT_EQ(got, expected) << "pattern \"" << pattern << "\" value " << v;
            }
            for (rtl::Currency c : amounts) {
                std::string expected = "<", got = "<";
                rtl::appendFormatCurr(expected, pattern, c, fs);
                kept.front().append(got, c, fs);
                ASSERT_EQ(got, expected) << "pattern \"" << pattern << "\" amount " << c.raw();
            }
        }
    }
}

// --- texts built through the integer digits -----------------------------

TEST(GeneralFloatText, AgreesWithTheDigitsAtEveryMagnitude) {
    // The text rebuilt from the standard library's digits by the documented
    // rule (plain up to 15 integer digits and down to 0.0001, else E).
    const rtl::FormatSettings br = rtl::brazilianSettings();
    auto reference = [&](double v) {
        Decimal d = rtl::detail::decimalFromDoubleGeneral(v, 15);
        if (d.isZero()) return std::string("0");
        std::string digits(d.digits, static_cast<std::size_t>(d.n));
        std::string s = d.neg ? "-" : "";
        if (d.exp > 15 || d.exp < -4) {
            s += digits.substr(0, 1);
            if (d.n > 1) s += "," + digits.substr(1);
            return s + "E" + std::to_string(d.exp - 1);
        }
        if (d.exp <= 0)
            return s + "0," + std::string(static_cast<std::size_t>(-d.exp), '0') + digits;
        if (d.n <= d.exp)
            return s + digits + std::string(static_cast<std::size_t>(d.exp - d.n), '0');
        return s + digits.substr(0, static_cast<std::size_t>(d.exp)) + "," +
               digits.substr(static_cast<std::size_t>(d.exp));
    };
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> exponent(-25, 25);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    for (int i = 0; i < 20000; ++i) {
        double v = mantissa(random) * std::pow(10.0, std::floor(exponent(random)));
        ASSERT_EQ(rtl::floatToStr(v, br), reference(v)) << v;
    }
    for (double v : {0.0, -0.0, 1e15, 999999999999999.4, 999999999999999.6, 1e16, 1e-4, 1e-5,
                     0.000099999999999999991, -1e-5, 0.1 + 0.2, 1.0 / 3, -2.0 / 3, DBL_MAX,
                     DBL_TRUE_MIN, -DBL_MIN})
        EXPECT_EQ(rtl::floatToStr(v, br), reference(v)) << v;
}

TEST(IntegerText, EveryWidthAndBothEnds) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0"},
        {7, "7"},
        {-7, "-7"},
        {10, "10"},
        {99999, "99999"},
        {-100000, "-100000"},
        {std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
    };
    for (const auto& [value, text] : cases) {
        std::string out = "x";
        rtl::appendIntToStr(out, value);
        EXPECT_EQ(out, std::string("x") + text);
    }
}

} // namespace
