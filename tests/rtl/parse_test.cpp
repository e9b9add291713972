// Text typed by the user or read from the database, converted back to
// numbers, amounts, dates and times with the regional formats.
#include "rtl/errors.h"
#include "rtl/format.h"
#include "rtl/parse.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using rtl::encodeDate;
using rtl::encodeTime;

// The message of the EConvertError raised by `f`, or "" when none was raised.
template <class F> std::string errorOf(F f) {
    try {
        f();
    } catch (const rtl::EConvertError& e) {
        return e.what();
    }
    return "";
}

TEST(IntegerText, DecimalAndHexadecimalWithinRange) {
    const struct {
        const char* text;
        std::int32_t value;
    } good[] = {{"123", 123},
                {" -45 ", -45},
                {"+7", 7},
                {"$FF", 255},
                {"0x10", 16},
                {"\t0012\r\n", 12},
                {"-$a", -10},
                {"2147483647", 2147483647},
                {"-2147483648", INT32_MIN}};
    for (const auto& c : good)
        EXPECT_EQ(rtl::strToInt(c.text), c.value) << c.text;

    const char* bad[] = {"",  " ", "abc", "12a", "1 2", "1.0", "1,0", "2147483648", "-2147483649",
                         "+", "-", "$",   "0x",  "--1", "$G"};
    for (const char* t : bad) {
        std::int32_t out = 99;
        EXPECT_FALSE(rtl::tryStrToInt(t, out)) << t;
        EXPECT_EQ(out, 99);
    }
    EXPECT_EQ(errorOf([] { rtl::strToInt("abc"); }), "'abc' is not a valid integer value");
    EXPECT_EQ(errorOf([] { rtl::strToInt(""); }), "'' is not a valid integer value");
}

TEST(IntegerText, SixtyFourBitLimits) {
    EXPECT_EQ(rtl::strToInt64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(rtl::strToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(rtl::strToInt64("$7FFFFFFFFFFFFFFF"), INT64_MAX);
    EXPECT_EQ(errorOf([] { rtl::strToInt64("9223372036854775808"); }),
              "'9223372036854775808' is not a valid integer value");
    EXPECT_EQ(errorOf([] { rtl::strToInt64("99999999999999999999"); }),
              "'99999999999999999999' is not a valid integer value");
}

class RegionalParsing : public ::testing::Test {
protected:
    rtl::FormatSettings br = rtl::brazilianSettings();
    rtl::FormatSettings en = rtl::englishSettings();
};

TEST_F(RegionalParsing, FloatsUseOnlyTheRegionalDecimalSeparator) {
    const struct {
        const char* text;
        const rtl::FormatSettings* fs;
        double value;
    } good[] = {
        {"1234,5", &br, 1234.5},  {"1234.5", &en, 1234.5}, {"-1,5E3", &br, -1500},
        {" 2,5 ", &br, 2.5},      {",5", &br, 0.5},        {"5,", &br, 5},
        {"1e-400", &en, 0},       {"+0,1", &br, 0.1},      {"1E+2", &en, 100},
        {"0,0000001", &br, 1e-7},
    };
    for (const auto& c : good)
        EXPECT_EQ(rtl::strToFloat(c.text, *c.fs), c.value) << c.text;

    const struct {
        const char* text;
        const rtl::FormatSettings* fs;
    } bad[] = {{"1234.5", &br}, {"1234,5", &en}, {"1.234,5", &br}, {"1,234.5", &en}, {"abc", &br},
               {"", &br},       {",", &br},      {"1e", &en},      {"1e400", &en},   {"inf", &en},
               {"nan", &en},    {"0x10", &en},   {"1 000", &br},   {"--1", &en},     {"1e+", &en}};
    for (const auto& c : bad) {
        double out = 99;
        EXPECT_FALSE(rtl::tryStrToFloat(c.text, out, *c.fs)) << c.text;
        EXPECT_EQ(out, 99);
    }
    EXPECT_EQ(errorOf([&] { rtl::strToFloat("x", br); }),
              "'x' is not a valid floating point value");
}

TEST_F(RegionalParsing, GeneralFloatTextReadsBackToTheSameDouble) {
    const double values[] = {0.1, 1234.5, -1.5e-10, 1e100, 123456789012345.0, 0.333333333333333};
    for (double v : values) {
        EXPECT_EQ(rtl::strToFloat(rtl::floatToStr(v, br), br), v);
        EXPECT_EQ(rtl::strToFloat(rtl::floatToStr(v, en), en), v);
    }
}

TEST_F(RegionalParsing, AmountsAreReadExactlyIntoTenThousandths) {
    const struct {
        const char* text;
        std::int64_t raw;
    } good[] = {
        {"123,45", 1234500},
        {"0,1", 1000},
        {"0,00005", 1}, // half a ten-thousandth rounds away from zero
        {"-0,00005", -1},
        {"0,00004", 0},
        {"0,123456", 1235},
        {"1,5E2", 1500000},
        {"1E-4", 1},
        {"  -7 ", -70000},
        {"922337203685477,5807", INT64_MAX},
        {"-922337203685477,5808", INT64_MIN},
        {"000123,4", 1234000},
        {"0", 0},
    };
    for (const auto& c : good)
        EXPECT_EQ(rtl::strToCurr(c.text, br).raw(), c.raw) << c.text;

    const char* bad[] = {
        "922337203685477,5808", "12345678901234567890", "1E20", "abc", "", "12.5", "1,2,3"};
    for (const char* t : bad) {
        rtl::Currency out = rtl::Currency::fromRaw(99);
        EXPECT_FALSE(rtl::tryStrToCurr(t, out, br)) << t;
        EXPECT_EQ(out.raw(), 99);
    }
    EXPECT_EQ(rtl::strToCurr("123.45", en).raw(), 1234500);
    EXPECT_EQ(errorOf([&] { rtl::strToCurr("1E20", br); }),
              "'1E20' is not a valid floating point value");
}

TEST_F(RegionalParsing, GroupedNumbersTakeThousandsSeparatorsBetweenGroupsOfThree) {
    const struct {
        const char* text;
        const rtl::FormatSettings* fs;
        std::int64_t raw; // ten-thousandths; 0 with `ok` false
        bool ok;
    } cases[] = {
        {"1.234,5", &br, 12345000, true}, {" -1.234.567,25 ", &br, -12345672500, true},
        {"1234,5", &br, 12345000, true},  {"1,234.5", &en, 12345000, true},
        {"999,5", &br, 9995000, true},    {"1.23,5", &br, 0, false},
        {"1234.567,5", &br, 0, false},    {".234,5", &br, 0, false},
        {"1..234,5", &br, 0, false},      {"1.234.", &br, 0, false},
        {"1,234.5", &br, 0, false},       {"abc", &br, 0, false},
    };
    for (const auto& c : cases) {
        rtl::Currency amount = rtl::Currency::fromRaw(99);
        double number = 99;
        EXPECT_EQ(rtl::tryStrToCurrGrouped(c.text, amount, *c.fs), c.ok) << c.text;
        EXPECT_EQ(rtl::tryStrToFloatGrouped(c.text, number, *c.fs), c.ok) << c.text;
        EXPECT_EQ(amount.raw(), c.ok ? c.raw : 99) << c.text;
        EXPECT_EQ(number, c.ok ? static_cast<double>(c.raw) / 10000 : 99) << c.text;
    }
}

TEST_F(RegionalParsing, CurrencyTextReadsBackExactly) {
    const std::int64_t raws[] = {0, 1, -1, 1234500, 99999999, INT64_MAX, INT64_MIN};
    for (std::int64_t r : raws) {
        rtl::Currency c = rtl::Currency::fromRaw(r);
        EXPECT_EQ(rtl::strToCurr(rtl::currToStr(c, br), br), c);
        EXPECT_EQ(rtl::strToCurr(rtl::currToStr(c, en), en), c);
    }
}

TEST_F(RegionalParsing, DatesFollowTheOrderOfTheShortDateFormat) {
    const rtl::TDateTime march5 = encodeDate(2024, 3, 5);
    EXPECT_EQ(rtl::strToDate("05/03/2024", br), march5);
    EXPECT_EQ(rtl::strToDate("03/05/2024", en), march5);
    EXPECT_EQ(rtl::strToDate(" 5 / 3 / 2024 ", br), march5);
    EXPECT_EQ(rtl::strToDate("5/3/24", br), march5);
    rtl::FormatSettings iso = br;
    iso.shortDateFormat = "yyyy-mm-dd";
    iso.dateSeparator = '-';
    EXPECT_EQ(rtl::strToDate("2024-03-05", iso), march5);
    EXPECT_EQ(rtl::strToDate("0005-01-01", iso), encodeDate(5, 1, 1));
    // Day and month alone: the current year.
    EXPECT_EQ(rtl::strToDate("5/3", br), encodeDate(rtl::currentYear(), 3, 5));

    const char* bad[] = {
        "31/02/2024",  "abc",        "",           "05.03.2024",  "05/03/2024 10:00", "5",
        "05/03/2024/", "05/13/2024", "00/03/2024", "05/03/12345", "05/03/-1"};
    for (const char* t : bad) {
        rtl::TDateTime out = 7;
        EXPECT_FALSE(rtl::tryStrToDate(t, out, br)) << t;
        EXPECT_EQ(out, 7);
    }
    EXPECT_EQ(errorOf([&] { rtl::strToDate("31/02/2024", br); }),
              "'31/02/2024' is not a valid date");
}

TEST_F(RegionalParsing, TwoDigitYearsFallWithinTheCenturyWindow) {
    const int now = rtl::currentYear();
    for (int yy : {0, 1, 24, 49, 50, 75, 76, 99}) {
        std::string text = "01/01/" + std::string(yy < 10 ? "0" : "") + std::to_string(yy);
        int year = rtl::decodeDate(rtl::strToDate(text, br)).year;
        EXPECT_EQ(year % 100, yy) << text;
        EXPECT_GE(year, now - 50) << text;
        EXPECT_LT(year, now + 50) << text;
    }
    // Four digits are taken as written.
    EXPECT_EQ(rtl::decodeDate(rtl::strToDate("01/01/0024", br)).year, 24);
}

TEST_F(RegionalParsing, TimesWithSecondsMillisecondsAndAmPm) {
    EXPECT_EQ(rtl::strToTime("14:07:09", br), encodeTime(14, 7, 9));
    EXPECT_EQ(rtl::strToTime("14:07", br), encodeTime(14, 7, 0));
    EXPECT_EQ(rtl::strToTime(" 2:07 PM ", en), encodeTime(14, 7, 0));
    EXPECT_EQ(rtl::strToTime("12:00 am", en), 0.0);
    EXPECT_EQ(rtl::strToTime("12:30 PM", en), encodeTime(12, 30, 0));
    EXPECT_EQ(rtl::strToTime("PM 3:00", en), encodeTime(15, 0, 0));
    EXPECT_EQ(rtl::strToTime("3 p", en), encodeTime(15, 0, 0));
    EXPECT_EQ(rtl::strToTime("14:07:09,5", br), encodeTime(14, 7, 9, 500));
    EXPECT_EQ(rtl::strToTime("14:07:09.045", br), encodeTime(14, 7, 9, 45));
    rtl::FormatSettings dots = en;
    dots.timeSeparator = '.';
    EXPECT_EQ(rtl::strToTime("14.07.09", dots), encodeTime(14, 7, 9));

    const char* bad[] = {"25:00", "14", "14:60",  "14:07:60", "13:00 PM",
                         "abc",   "",   "14:07x", "14::07",   "1:2:3:4"};
    for (const char* t : bad) {
        rtl::TDateTime out = 7;
        EXPECT_FALSE(rtl::tryStrToTime(t, out, en)) << t;
        EXPECT_EQ(out, 7);
    }
    EXPECT_EQ(errorOf([&] { rtl::strToTime("25:00", br); }), "'25:00' is not a valid time");
}

TEST_F(RegionalParsing, DateAndTimeTogether) {
    const rtl::TDateTime march5 = encodeDate(2024, 3, 5);
    EXPECT_EQ(rtl::strToDateTime("05/03/2024 14:07:09", br), march5 + encodeTime(14, 7, 9));
    EXPECT_EQ(rtl::strToDateTime("05/03/2024", br), march5);
    EXPECT_EQ(rtl::strToDateTime("  05/03/2024   08:00  ", br), march5 + encodeTime(8, 0, 0));
    EXPECT_EQ(rtl::strToDateTime("14:07", br), encodeTime(14, 7, 0));
    EXPECT_EQ(rtl::strToDateTime("03/05/2024 2:07 PM", en), march5 + encodeTime(14, 7, 0));
    // Before the base date the time is subtracted from the day number.
    EXPECT_EQ(rtl::strToDateTime("29/12/1899 06:00", br), -1.25);
    // What the grid shows reads back to the same value.
    rtl::TDateTime when = march5 + encodeTime(23, 59, 59);
    EXPECT_EQ(rtl::strToDateTime(rtl::dateTimeToStr(when, br), br), when);
    EXPECT_EQ(rtl::strToDateTime(rtl::dateTimeToStr(when, en), en), when);

    EXPECT_EQ(errorOf([&] { rtl::strToDateTime("05/03/2024x", br); }),
              "'05/03/2024x' is not a valid date and time");
    EXPECT_EQ(errorOf([&] { rtl::strToDateTime("x", br); }), "'x' is not a valid date and time");
    EXPECT_EQ(errorOf([&] { rtl::strToDateTime("05/03/2024 25:00", br); }),
              "'05/03/2024 25:00' is not a valid date and time");
}

} // namespace
