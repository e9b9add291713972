// The quick roads of the conversions every grid cell and exported value
// takes: digits of a double by integer arithmetic must match the standard
// library's conversion; date-time and number patterns, whether kept
// compiled by their user or passed to the general routines at each call,
// must write the texts recorded here, a few spelled out and the rest of a
// wide sweep held by a digest.
#include "rtl/decimal.h"
#include "rtl/format.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
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

// Each pattern's texts at three sample values under the Brazilian settings,
// and the digest of its texts over datesToTry() under each of
// settingsToTry(), in that order.
struct DateCase {
    const char* pattern;
    std::array<const char*, 3> brazil;
    std::array<std::uint64_t, 6> sweep;
};

const DateCase dateCases[] = {
    {"",
     {"05/03/2024 14:07:09", "31/12/1999", "02/01/0009 09:05:03"},
     {0x01a9e9fcf2cd7af5u, 0xead899b481197593u, 0xd91c0fa4caed1874u, 0x2a4d6597f4621101u,
      0xa01bb76fcddf61a6u, 0xb43f180e6597a8c3u}},
    {"c",
     {"05/03/2024 14:07:09", "31/12/1999", "02/01/0009 09:05:03"},
     {0x01a9e9fcf2cd7af5u, 0xead899b481197593u, 0xd91c0fa4caed1874u, 0x2a4d6597f4621101u,
      0xa01bb76fcddf61a6u, 0xb43f180e6597a8c3u}},
    {"dd/mm/yyyy",
     {"05/03/2024", "31/12/1999", "02/01/0009"},
     {0x854a700da3a858e1u, 0x854a700da3a858e1u, 0xa379659a19b5da59u, 0xa379659a19b5da59u,
      0x854a700da3a858e1u, 0x854a700da3a858e1u}},
    {"hh:nn:ss",
     {"14:07:09", "00:00:00", "09:05:03"},
     {0x7770e95f5d69b4bfu, 0x7770e95f5d69b4bfu, 0x418bca273871f987u, 0x418bca273871f987u,
      0x7770e95f5d69b4bfu, 0x7770e95f5d69b4bfu}},
    {"d/m/yy",
     {"5/3/24", "31/12/99", "2/1/09"},
     {0x9025ae955453eb39u, 0x9025ae955453eb39u, 0x4aabc093b0b28441u, 0x4aabc093b0b28441u,
      0x9025ae955453eb39u, 0x9025ae955453eb39u}},
    {"yyyy-mm-dd hh:nn:ss.zzz",
     {"2024-03-05 14:07:09.045", "1999-12-31 00:00:00.000", "0009-01-02 09:05:03.005"},
     {0xfd7bf46eb39352dfu, 0xfd7bf46eb39352dfu, 0x356bdeb375c3ef5fu, 0x356bdeb375c3ef5fu,
      0xfd7bf46eb39352dfu, 0xfd7bf46eb39352dfu}},
    {"ddd, d mmm yyyy",
     {"ter, 5 mar 2024", "sex, 31 dez 1999", "sex, 2 jan 0009"},
     {0xa768c56e84ec1a62u, 0x9639d2468b77b89bu, 0x1a02b914a62e664fu, 0x1a02b914a62e664fu,
      0xa768c56e84ec1a62u, 0xa768c56e84ec1a62u}},
    {"dddd dd mmmm yyyy",
     {"ter\xe7"
      "a-feira 05 mar\xe7"
      "o 2024",
      "sexta-feira 31 dezembro 1999", "sexta-feira 02 janeiro 0009"},
     {0x34e63d8cad387e02u, 0x4ed7617d1ef9e1d8u, 0x017ddbff399f3a09u, 0x017ddbff399f3a09u,
      0x34e63d8cad387e02u, 0x34e63d8cad387e02u}},
    {"ddddd",
     {"05/03/2024", "31/12/1999", "02/01/0009"},
     {0x854a700da3a858e1u, 0x5465a5fa6a6b612bu, 0xab2913e7ab25af69u, 0x009efed0d902ed83u,
      0x0d4096b5a06dd188u, 0xa348ffcfa365eed9u}},
    {"dddddd",
     {"ter\xe7"
      "a-feira, 5 de mar\xe7"
      "o de 2024",
      "sexta-feira, 31 de dezembro de 1999", "sexta-feira, 2 de janeiro de 0009"},
     {0x0d4096b5a06dd188u, 0x55c781e29d3af952u, 0x301d8ae18d98b8b7u, 0x301d8ae18d98b8b7u,
      0x0d4096b5a06dd188u, 0x0d4096b5a06dd188u}},
    {"t",
     {"14:07", "00:00", "09:05"},
     {0x39877884a10af0abu, 0x39877884a10af0abu, 0x2ce02d1afae1f7dfu, 0x2ce02d1afae1f7dfu,
      0x39877884a10af0abu, 0x39877884a10af0abu}},
    {"tt",
     {"14:07:09", "00:00:00", "09:05:03"},
     {0x7770e95f5d69b4bfu, 0x7770e95f5d69b4bfu, 0xc6e0ba9e6cb9b562u, 0x009efed0d902ed83u,
      0x39877884a10af0abu, 0x3d920402a1263223u}},
    {"ddddd tt",
     {"05/03/2024 14:07:09", "31/12/1999 00:00:00", "02/01/0009 09:05:03"},
     {0x13c1011074589b83u, 0x5684cf0f9aa96649u, 0x264e97cd65121de0u, 0x443232b35bf2aec1u,
      0x86dad6159a8244fau, 0x18ff9e5aff61c755u}},
    {"h:mm am/pm",
     {"2:07 pm", "12:00 am", "9:05 am"},
     {0x553d79a43aef6bfau, 0x553d79a43aef6bfau, 0x6d6d4bf805aaff9eu, 0x6d6d4bf805aaff9eu,
      0x553d79a43aef6bfau, 0x553d79a43aef6bfau}},
    {"hh:mm AM/PM",
     {"02:07 PM", "12:00 AM", "09:05 AM"},
     {0x4c4c355ed4ff8eeau, 0x4c4c355ed4ff8eeau, 0x5a09aedd6dd970a6u, 0x5a09aedd6dd970a6u,
      0x4c4c355ed4ff8eeau, 0x4c4c355ed4ff8eeau}},
    {"H:MM Am/pM",
     {"2:07 pM", "12:00 Am", "9:05 Am"},
     {0xa1edf02399dafd9au, 0xa1edf02399dafd9au, 0xffbf2fce8020d6beu, 0xffbf2fce8020d6beu,
      0xa1edf02399dafd9au, 0xa1edf02399dafd9au}},
    {"h:n a/p",
     {"2:7 p", "12:0 a", "9:5 a"},
     {0x9b2bb37c3aa5a6c9u, 0x9b2bb37c3aa5a6c9u, 0x9d54ed72f9ecb145u, 0x9d54ed72f9ecb145u,
      0x9b2bb37c3aa5a6c9u, 0x9b2bb37c3aa5a6c9u}},
    {"hh:nn A/P",
     {"02:07 P", "12:00 A", "09:05 A"},
     {0x287b9afa05d69729u, 0x287b9afa05d69729u, 0x45c8a6bba59d816du, 0x45c8a6bba59d816du,
      0x287b9afa05d69729u, 0x287b9afa05d69729u}},
    {"h ampm",
     {"2 PM", "12 AM", "9 AM"},
     {0x10f932f785b7a8f6u, 0x10f932f785b7a8f6u, 0x129a79f3a44750d0u, 0x129a79f3a44750d0u,
      0x10f932f785b7a8f6u, 0x10f932f785b7a8f6u}},
    {"hh:m:s z zz zzz zzzz",
     {"14:7:9 45 4545 045 04545", "00:0:0 0 00 000 0000", "09:5:3 5 55 005 0055"},
     {0xc4352b25689b06d9u, 0xc4352b25689b06d9u, 0x4a9bc44272de16e9u, 0x4a9bc44272de16e9u,
      0xc4352b25689b06d9u, 0xc4352b25689b06d9u}},
    {"\"dia\" dd 'de' mmmm 'unclosed",
     {"dia 05 de mar\xe7"
      "o unclosed",
      "dia 31 de dezembro unclosed", "dia 02 de janeiro unclosed"},
     {0xe6b0f8128c6dc0fau, 0xf896bd8ee7b82371u, 0xf896bd8ee7b82371u, 0xf896bd8ee7b82371u,
      0xe6b0f8128c6dc0fau, 0xe6b0f8128c6dc0fau}},
    {"yyyyyyy yyy y mmmmmm ddddddd hhh nnn sss",
     {"2024 2024 24 mar\xe7"
      "o03 ter\xe7"
      "a-feira, 5 de mar\xe7"
      "o de 20245 1414 077 099",
      "1999 1999 99 dezembro12 sexta-feira, 31 de dezembro de 199931 000 000 000",
      "0009 0009 09 janeiro01 sexta-feira, 2 de janeiro de 00092 099 055 033"},
     {0x7e443d1c59cb84eau, 0x8d57c4b1882241ebu, 0x825fce709edd4144u, 0x825fce709edd4144u,
      0x7e443d1c59cb84eau, 0x7e443d1c59cb84eau}},
    {"am/pm hh",
     {"pm 02", "am 12", "am 09"},
     {0xff0404eaa4293678u, 0xff0404eaa4293678u, 0xff0404eaa4293678u, 0xff0404eaa4293678u,
      0xff0404eaa4293678u, 0xff0404eaa4293678u}},
    {"a",
     {"a", "a", "a"},
     {0xd41da414ce142910u, 0xd41da414ce142910u, 0xd41da414ce142910u, 0xd41da414ce142910u,
      0xd41da414ce142910u, 0xd41da414ce142910u}},
    {"x/y:z ' ' \"\"",
     {"x/24:45   ", "x/99:0   ", "x/09:5   "},
     {0x132ee7235fddfe97u, 0x132ee7235fddfe97u, 0x90df89729c16d179u, 0x90df89729c16d179u,
      0x132ee7235fddfe97u, 0x132ee7235fddfe97u}},
    {"mm",
     {"03", "12", "01"},
     {0x405a85e3435a14a7u, 0x405a85e3435a14a7u, 0x405a85e3435a14a7u, 0x405a85e3435a14a7u,
      0x405a85e3435a14a7u, 0x405a85e3435a14a7u}},
    {"hh mm",
     {"14 07", "00 00", "09 05"},
     {0x2fb1d6a5d351fef5u, 0x2fb1d6a5d351fef5u, 0x2fb1d6a5d351fef5u, 0x2fb1d6a5d351fef5u,
      0x2fb1d6a5d351fef5u, 0x2fb1d6a5d351fef5u}},
    {"hh \"lit\" mm",
     {"14 lit 07", "00 lit 00", "09 lit 05"},
     {0x93424f880fe2e2f0u, 0x93424f880fe2e2f0u, 0x93424f880fe2e2f0u, 0x93424f880fe2e2f0u,
      0x93424f880fe2e2f0u, 0x93424f880fe2e2f0u}},
    {"hh:mm:ss c c",
     {"14:07:09 05/03/2024 14:07:09 05/03/2024 14:07:09", "00:00:00 31/12/1999 31/12/1999",
      "09:05:03 02/01/0009 09:05:03 02/01/0009 09:05:03"},
     {0xc80f68755595e7ebu, 0x95189fd51c98804fu, 0x5e46142089ce2095u, 0xec6c094ef8583e7fu,
      0x91dd8a334f66eec9u, 0x8b9f6143e596642bu}},
    {"CCC",
     {"05/03/2024 14:07:0905/03/2024 14:07:0905/03/2024 14:07:09", "31/12/199931/12/199931/12/1999",
      "02/01/0009 09:05:0302/01/0009 09:05:0302/01/0009 09:05:03"},
     {0x861a5128eda53d19u, 0xf85a602121290837u, 0xb3b5868c3aeec94cu, 0x5696c22cd9acfd69u,
      0x985b3d830ffa6962u, 0x59cc264e1f9df063u}},
    {"D/M/Y",
     {"5/3/24", "31/12/99", "2/1/09"},
     {0x9025ae955453eb39u, 0x9025ae955453eb39u, 0x4aabc093b0b28441u, 0x4aabc093b0b28441u,
      0x9025ae955453eb39u, 0x9025ae955453eb39u}},
    {"q 7 % ;",
     {"q 7 % ;", "q 7 % ;", "q 7 % ;"},
     {0x3d6ab3224498f691u, 0x3d6ab3224498f691u, 0x3d6ab3224498f691u, 0x3d6ab3224498f691u,
      0x3d6ab3224498f691u, 0x3d6ab3224498f691u}},
};

std::array<rtl::TDateTime, 3> sampleDates() {
    return {rtl::encodeDate(2024, 3, 5) + rtl::encodeTime(14, 7, 9, 45),
            rtl::encodeDate(1999, 12, 31),
            rtl::combineDateTime(rtl::encodeDate(9, 1, 2), rtl::encodeTime(9, 5, 3, 5))};
}

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

// FNV-1a over texts, each closed by a line feed: one number standing for
// the thousands of texts of a sweep.
class Digest {
public:
    void add(std::string_view text) {
        for (unsigned char c : text)
            mix(c);
        mix('\n');
    }
    std::uint64_t value() const { return h_; }

private:
    void mix(unsigned char c) {
        h_ ^= c;
        h_ *= 0x100000001b3u;
    }
    std::uint64_t h_ = 0xcbf29ce484222325u;
};

TEST(DateTimePatternsParsedOnce, WriteWhatTheGeneralRoutineWrites) {
    const std::vector<rtl::TDateTime> dates = datesToTry();
    const std::vector<rtl::FormatSettings> settings = settingsToTry();
    const std::array<rtl::TDateTime, 3> samples = sampleDates();
    for (const DateCase& c : dateCases) {
        const rtl::DateTimeFormat brazil(c.pattern, settings[0]);
        for (std::size_t k = 0; k < samples.size(); ++k) {
            EXPECT_EQ(rtl::formatDateTime(c.pattern, samples[k], settings[0]), c.brazil[k])
                << "pattern \"" << c.pattern << "\" sample " << k;
            EXPECT_EQ(brazil.format(samples[k], settings[0]), c.brazil[k])
                << "pattern \"" << c.pattern << "\" sample " << k;
        }
        for (std::size_t s = 0; s < settings.size(); ++s) {
            const rtl::FormatSettings& fs = settings[s];
            const rtl::DateTimeFormat parsed(c.pattern, fs);
            Digest general, once;
            for (rtl::TDateTime v : dates) {
                std::string text = "<";
                rtl::appendFormatDateTime(text, c.pattern, v, fs);
                general.add(text);
                text = "<";
                parsed.append(text, v, fs);
                once.add(text);
            }
            EXPECT_EQ(general.value(), c.sweep[s])
                << "pattern \"" << c.pattern << "\" settings " << s;
            EXPECT_EQ(once.value(), c.sweep[s]) << "pattern \"" << c.pattern << "\" settings " << s;
        }
    }
}

TEST(DateTimePatternsParsedOnce, LongLiteralsAndNamesPassWhole) {
    rtl::FormatSettings fs = rtl::brazilianSettings();
    fs.longMonthNames[0] = std::string(200, 'J');
    const std::string pattern = "'" + std::string(70000, 'x') + "' mmmm " + std::string(90, 'k');
    const rtl::DateTimeFormat parsed(pattern, fs);
    const rtl::TDateTime jan = rtl::encodeDate(2024, 1, 31);
    const std::string expected =
        std::string(70000, 'x') + " " + std::string(200, 'J') + " " + std::string(90, 'k');
    EXPECT_EQ(parsed.format(jan, fs), expected);
    EXPECT_EQ(rtl::formatDateTime(pattern, jan, fs), expected);
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

// The general routines keep the programs of recent patterns per thread: the
// same pattern under settings naming other patterns, more patterns than are
// kept, and several threads at once must each still get their own texts.
TEST(CompiledPatterns, KeptPerThreadAndPerNamedPattern) {
    const rtl::FormatSettings br = rtl::brazilianSettings();
    rtl::FormatSettings iso = br;
    iso.shortDateFormat = "yyyy/mm/dd";
    iso.longTimeFormat = "hh'h'nn";
    iso.dateSeparator = '-';
    const rtl::TDateTime v = rtl::encodeDate(2024, 3, 5) + rtl::encodeTime(14, 7, 9);
    const rtl::NumberFormat shared("#,##0.00 'kg'");

    std::atomic<int> wrong{0};
    auto work = [&](int seed) {
        for (int round = 0; round < 300; ++round) {
            const int k = (round + seed) % 20; // more patterns than are kept
            const std::string key = std::to_string(k);
            const bool other = (round + seed) % 3 == 0;
            const rtl::FormatSettings& fs = other ? iso : br;
            if (rtl::formatDateTime("c", v, fs) !=
                (other ? "2024-03-05 14h07" : "05/03/2024 14:07:09"))
                ++wrong;
            if (rtl::formatDateTime("'" + key + "' ddddd", v, fs) !=
                key + (other ? " 2024-03-05" : " 05/03/2024"))
                ++wrong;
            if (rtl::formatFloat("'" + key + "' 0.0", 2.25, br) != key + " 2,3") ++wrong;
            std::string text;
            shared.append(text, 1234.5 + k, br);
            if (text != "1." + std::to_string(234 + k) + ",50 kg") ++wrong;
        }
    };
    work(0);
    EXPECT_EQ(wrong.load(), 0) << "one thread";
    std::vector<std::thread> threads;
    for (int t = 1; t <= 4; ++t)
        threads.emplace_back(work, t);
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0) << "four threads";
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

// Each pattern's texts at sampleNumbers() and at the amount -9.9995 under
// the Brazilian settings, and the digest of its texts over the sweep of
// numbers and amounts under the Brazilian and the English settings.
struct NumberCase {
    const char* pattern;
    std::array<const char*, 5> brazil;
    std::array<std::uint64_t, 2> sweep;
};

const NumberCase numberCases[] = {
    {"",
     {"1234567,891", "-0,5", "0", "1E20", "-9,9995"},
     {0x288e132ab16da33du, 0x21212193d5bd52ffu}},
    {"###,###,###,##0.00",
     {"1.234.567,89", "-0,50", "0,00", "100.000.000.000.000.000.000,00", "-10,00"},
     {0xad993876060f36f2u, 0xb628c4788f0142ecu}},
    {"###,###,###,##0.####",
     {"1.234.567,891", "-0,5", "0", "100.000.000.000.000.000.000", "-9,9995"},
     {0x007b5c847981f839u, 0x4a48e1d30ed8619fu}},
    {"0",
     {"1234568", "-1", "0", "100000000000000000000", "-10"},
     {0x338f8d54090708c8u, 0x338f8d54090708c8u}},
    {"000.000",
     {"1234567,891", "-000,500", "000,000", "100000000000000000000,000", "-010,000"},
     {0x8e2225bc4a64e0e3u, 0x9d6fb0c205e7510fu}},
    {"#",
     {"1234568", "-1", "", "100000000000000000000", "-10"},
     {0x319706a7845c5f1eu, 0x319706a7845c5f1eu}},
    {"#.##",
     {"1234567,89", "-,5", "", "100000000000000000000", "-10"},
     {0xd41a5909944eb8fcu, 0x99b8b0ca7d6d95cau}},
    {"0.00E+00",
     {"1,23E+06", "-5,00E-01", "0,00E+00", "1,00E+20", "-1,00E+01"},
     {0x9056218efa12af44u, 0x5cfa917ff3cb9e98u}},
    {"##0.0e-0",
     {"123,5e4", "-500,0e-3", "000,0e0", "100,0e18", "-100,0e-1"},
     {0xdbf53093a0b355a6u, 0xe433154412422a22u}},
    {"0.00;(0.00)",
     {"1234567,89", "(0,50)", "0,00", "100000000000000000000,00", "(10,00)"},
     {0x3155c64dab35cb5eu, 0xe2b9e2e7e9fd2f86u}},
    {"0.00;;\"zero\"",
     {"1234567,89", "-0,50", "zero", "100000000000000000000,00", "-10,00"},
     {0xa75219cbe1ea1ee6u, 0xe1fc724a2fdd3d76u}},
    {"0.00;-0.00;'nada'",
     {"1234567,89", "-0,50", "nada", "100000000000000000000,00", "-10,00"},
     {0x7441cfaecd93d962u, 0x663c317a5be17aa2u}},
    {";0.0",
     {"1234567,891", "0,5", "0", "1E20", "10,0"},
     {0xdbfe18996dbdd878u, 0xf84de07b8bec46a4u}},
    {"0;",
     {"1234568", "-1", "0", "100000000000000000000", "-10"},
     {0x338f8d54090708c8u, 0x338f8d54090708c8u}},
    {"\"R$ \"#,##0.00;\"R$ -\"#,##0.00;\"-\"",
     {"R$ 1.234.567,89", "R$ -0,50", "-", "R$ 100.000.000.000.000.000.000,00", "R$ -10,00"},
     {0x989a32db512709ecu, 0x747b1f7150e7e29au}},
    {"'unclosed 0.0",
     {"unclosed 0.0", "-unclosed 0.0", "unclosed 0.0", "unclosed 0.0", "-unclosed 0.0"},
     {0x1f22f99511b8c432u, 0x1f22f99511b8c432u}},
    {"0.0 'pts;x' ;'neg' 0",
     {"1234567,9 pts;x ", "neg 1", "0,0 pts;x ", "100000000000000000000,0 pts;x ", "neg 10"},
     {0xd06501659052f452u, 0x413b16ccfd4f1542u}},
    {"#,##0.###############",
     {"1.234.567,891", "-0,5", "0", "100.000.000.000.000.000.000", "-9,9995"},
     {0x31ba5e4bb932f386u, 0x9be27eb7258e9beau}},
    {"x", {"x", "-x", "x", "x", "-x"}, {0x4ce961301fe2687au, 0x4ce961301fe2687au}},
};

const double sampleNumbers[] = {1234567.891, -0.5, 0.0, 1e20};
const rtl::Currency sampleAmount = rtl::Currency::fromRaw(-99995);

// A mantissa in [-10, 10) scaled by 10^-8 .. 10^17, drawn from the
// generator's raw output and made by exact or correctly rounded operations
// only, so that every standard library yields the same values.
double randomNumber(std::mt19937_64& random) {
    const double mantissa = static_cast<double>(random() >> 11) * 0x1p-53 * 20 - 10;
    const int e = static_cast<int>(random() % 26) - 8;
    double scale = 1; // powers of ten up to 10^22 are exact
    for (int k = 0; k < (e < 0 ? -e : e); ++k)
        scale *= 10;
    return e < 0 ? mantissa / scale : mantissa * scale;
}

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
    for (int i = 0; i < 1500; ++i)
        values.push_back(randomNumber(random));
    std::vector<rtl::Currency> amounts;
    for (std::int64_t raw : {0LL, 1LL, -1LL, 5000LL, -5000LL, 12345678LL, -99995LL,
                             9223372036854775807LL, -9223372036854775807LL - 1})
        amounts.push_back(rtl::Currency::fromRaw(raw));
    for (int i = 0; i < 500; ++i)
        amounts.push_back(rtl::Currency::fromRaw(static_cast<std::int64_t>(random()) >> (i % 60)));

    const rtl::FormatSettings settings[] = {rtl::brazilianSettings(), rtl::englishSettings()};
    for (const NumberCase& c : numberCases) {
        const rtl::NumberFormat brazil(c.pattern);
        for (std::size_t k = 0; k < 5; ++k) {
            std::string general, once;
            if (k < 4) {
                general = rtl::formatFloat(c.pattern, sampleNumbers[k], settings[0]);
                brazil.append(once, sampleNumbers[k], settings[0]);
            } else {
                general = rtl::formatCurr(c.pattern, sampleAmount, settings[0]);
                brazil.append(once, sampleAmount, settings[0]);
            }
            EXPECT_EQ(general, c.brazil[k]) << "pattern \"" << c.pattern << "\" sample " << k;
            EXPECT_EQ(once, c.brazil[k]) << "pattern \"" << c.pattern << "\" sample " << k;
        }
        for (std::size_t s = 0; s < 2; ++s) {
            const rtl::FormatSettings& fs = settings[s];
            // Kept through a copy and an assignment, as a field keeps it.
            rtl::NumberFormat original(c.pattern);
            std::vector<rtl::NumberFormat> kept(3, original);
            kept.emplace_back("0.0");
            kept.back() = original;
            const rtl::NumberFormat& parsed = kept.back();
            Digest general, once;
            for (double v : values) {
                std::string text = "<";
                rtl::appendFormatFloat(text, c.pattern, v, fs);
                general.add(text);
                text = "<";
                parsed.append(text, v, fs);
                once.add(text);
            }
            for (rtl::Currency amount : amounts) {
                std::string text = "<";
                rtl::appendFormatCurr(text, c.pattern, amount, fs);
                general.add(text);
                text = "<";
                kept.front().append(text, amount, fs);
                once.add(text);
            }
            EXPECT_EQ(general.value(), c.sweep[s])
                << "pattern \"" << c.pattern << "\" settings " << s;
            EXPECT_EQ(once.value(), c.sweep[s]) << "pattern \"" << c.pattern << "\" settings " << s;
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
