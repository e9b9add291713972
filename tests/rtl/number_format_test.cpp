// Numbers to text as the grid and the export show them, under a Brazilian
// set (decimal ',', thousands '.') and an English one (decimal '.',
// thousands ','), so a hard-coded separator shows up as a failure.
#include "rtl/format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <limits>

namespace {

struct Case {
    const char* pattern;
    double value;
    const char* brazil;
    const char* english;
};

class NumberFormats : public ::testing::Test {
protected:
    rtl::FormatSettings br = rtl::brazilianSettings();
    rtl::FormatSettings en = rtl::englishSettings();
};

const char* const twoDecimals = "###,###,###,##0.00";
const char* const upToFour = "###,###,###,##0.####";

TEST_F(NumberFormats, GridPatternsGroupThousandsAndRoundHalfAwayFromZero) {
    const Case cases[] = {
        {twoDecimals, 0, "0,00", "0.00"},
        {twoDecimals, 0.5, "0,50", "0.50"},
        {twoDecimals, 1234.5, "1.234,50", "1,234.50"},
        {twoDecimals, -1234.5, "-1.234,50", "-1,234.50"},
        {twoDecimals, 1234567.891, "1.234.567,89", "1,234,567.89"},
        {twoDecimals, 123456789012.34, "123.456.789.012,34", "123,456,789,012.34"},
        {twoDecimals, 100, "100,00", "100.00"},
        {twoDecimals, 999, "999,00", "999.00"},
        {twoDecimals, 1000, "1.000,00", "1,000.00"},
        // halves as written in decimal round up, whatever the binary value
        {twoDecimals, 0.005, "0,01", "0.01"},
        {twoDecimals, 1.005, "1,01", "1.01"},
        {twoDecimals, 2.675, "2,68", "2.68"},
        {twoDecimals, -2.675, "-2,68", "-2.68"},
        {twoDecimals, 0.004, "0,00", "0.00"},
        {twoDecimals, 999.995, "1.000,00", "1,000.00"},
        // a negative value that rounds to zero carries no sign
        {twoDecimals, -0.004, "0,00", "0.00"},
        {twoDecimals, 1e15, "1.000.000.000.000.000,00", "1,000,000,000,000,000.00"},
        {twoDecimals, 1e20, "100.000.000.000.000.000.000,00", "100,000,000,000,000,000,000.00"},
        // fifteen significant digits are kept, further places show zeros
        {twoDecimals, 123456789012345678.0, "123.456.789.012.346.000,00",
         "123,456,789,012,346,000.00"},
        {twoDecimals, 1e-20, "0,00", "0.00"},
        {twoDecimals, -1e-20, "0,00", "0.00"},
        {upToFour, 0, "0", "0"},
        {upToFour, 1234, "1.234", "1,234"},
        {upToFour, 1234.5, "1.234,5", "1,234.5"},
        {upToFour, -1234.5, "-1.234,5", "-1,234.5"},
        {upToFour, 0.12345, "0,1235", "0.1235"},
        {upToFour, 1.23456789, "1,2346", "1.2346"},
        {upToFour, 1000000, "1.000.000", "1,000,000"},
        {upToFour, 2.50001, "2,5", "2.5"},
        {upToFour, 0.00004, "0", "0"},
        {upToFour, -0.00004, "0", "0"},
        {upToFour, 0.99999, "1", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " " + std::to_string(c.value));
        EXPECT_EQ(rtl::formatFloat(c.pattern, c.value, br), c.brazil);
        EXPECT_EQ(rtl::formatFloat(c.pattern, c.value, en), c.english);
    }
}

TEST_F(NumberFormats, PatternLettersSectionsExponentsAndLiterals) {
    const Case cases[] = {
        {"000", 5, "005", "005"},
        {"0", 2.5, "3", "3"},
        {"0", -2.5, "-3", "-3"},
        {"#", 0, "", ""},
        {"#,##0", 1234567, "1.234.567", "1,234,567"},
        {"0,000", 5, "0.005", "0,005"},
        {"00-00", 1234, "12-34", "12-34"},
        {"00-00", 123456, "1234-56", "1234-56"},
        {"0.0", 0.05, "0,1", "0.1"},
        {".00", 0.5, ",50", ".50"},
        {"0.00%", 12.5, "12,50%", "12.50%"},
        {"\"R$ \"#,##0.00", 1234.5, "R$ 1.234,50", "R$ 1,234.50"},
        {"'Total: '0", 7, "Total: 7", "Total: 7"},
        {"0 \"kg\"", 3, "3 kg", "3 kg"},
        // sections: positive; negative; zero
        {"#,##0.00;(#,##0.00)", -5, "(5,00)", "(5.00)"},
        {"#,##0.00;(#,##0.00)", 5, "5,00", "5.00"},
        {"0.00;(0.00);'zero'", 0, "zero", "zero"},
        {"0.00;(0.00);'zero'", -0.001, "zero", "zero"},
        {"0.00;;'zero'", -3, "-3,00", "-3.00"},
        {"0;\"neg\";", 0, "0", "0"},
        {"\"a;b\"0", 1, "a;b1", "a;b1"},
        // scientific notation
        {"0.00E+00", 12345, "1,23E+04", "1.23E+04"},
        {"0.00E+00", 0.00012345, "1,23E-04", "1.23E-04"},
        {"0.00E-00", 12345, "1,23E04", "1.23E04"},
        {"0.###E-0", 0.000123, "1,23E-4", "1.23E-4"},
        {"0.###e+0", 1234, "1,234e+3", "1.234e+3"},
        {"00.0E+0", 12345, "12,3E+3", "12.3E+3"},
        {"0.00E+00", 0, "0,00E+00", "0.00E+00"},
        {"0.0E+0", 9.96, "1,0E+1", "1.0E+1"},
        {"0.0E+0", -9.96, "-1,0E+1", "-1.0E+1"},
        // an empty pattern is the general float text
        {"", 1234.5, "1234,5", "1234.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " " + std::to_string(c.value));
        EXPECT_EQ(rtl::formatFloat(c.pattern, c.value, br), c.brazil);
        EXPECT_EQ(rtl::formatFloat(c.pattern, c.value, en), c.english);
    }
}

TEST_F(NumberFormats, NonFiniteValuesHaveFixedTexts) {
    EXPECT_EQ(rtl::formatFloat(twoDecimals, std::numeric_limits<double>::quiet_NaN(), br), "NAN");
    EXPECT_EQ(rtl::formatFloat(twoDecimals, std::numeric_limits<double>::infinity(), br), "INF");
    EXPECT_EQ(rtl::floatToStr(-std::numeric_limits<double>::infinity(), br), "-INF");
}

TEST_F(NumberFormats, CurrencyPatternsUseTheExactAmount) {
    using rtl::Currency;
    // 1.0050 exactly; 0.125 exactly: ties round away from zero
    EXPECT_EQ(rtl::formatCurr(twoDecimals, Currency::fromRaw(10050), br), "1,01");
    EXPECT_EQ(rtl::formatCurr(twoDecimals, Currency::fromRaw(-1250), en), "-0.13");
    EXPECT_EQ(rtl::formatCurr(upToFour, Currency::fromRaw(12345678901234567), br),
              "1.234.567.890.123,4567");
    EXPECT_EQ(rtl::formatCurr(twoDecimals, Currency::fromRaw(INT64_MAX), en),
              "922,337,203,685,477.58");
    EXPECT_EQ(rtl::formatCurr(twoDecimals, Currency::fromRaw(INT64_MIN), br),
              "-922.337.203.685.477,58");
    EXPECT_EQ(rtl::formatCurr(upToFour, Currency{}, br), "0");
}

struct GeneralCase {
    double value;
    const char* brazil;
    const char* english;
};

TEST_F(NumberFormats, GeneralFloatTextKeepsFifteenDigitsAndSwitchesToExponents) {
    const GeneralCase cases[] = {
        {0, "0", "0"},
        {-0.0, "0", "0"},
        {1.5, "1,5", "1.5"},
        {-1234.5, "-1234,5", "-1234.5"},
        {100, "100", "100"},
        {0.1, "0,1", "0.1"},
        {0.1 + 0.2, "0,3", "0.3"},
        {1.0 / 3, "0,333333333333333", "0.333333333333333"},
        {2.0 / 3, "0,666666666666667", "0.666666666666667"},
        {123456789012345, "123456789012345", "123456789012345"},
        {999999999999999.9, "1E15", "1E15"},
        {1e15, "1E15", "1E15"},
        {1234567890123456, "1,23456789012346E15", "1.23456789012346E15"},
        {-2.5e20, "-2,5E20", "-2.5E20"},
        {1e100, "1E100", "1E100"},
        {0.0001, "0,0001", "0.0001"},
        {0.00001, "0,00001", "0.00001"},
        {0.0000123, "0,0000123", "0.0000123"},
        {0.00000999, "9,99E-6", "9.99E-6"},
        {0.000001, "1E-6", "1E-6"},
        {-1.5e-10, "-1,5E-10", "-1.5E-10"},
        {123.456, "123,456", "123.456"},
        {DBL_MAX, "1,79769313486232E308", "1.79769313486232E308"},
        {5e-324, "4,94065645841247E-324", "4.94065645841247E-324"},
    };
    for (const GeneralCase& c : cases) {
        SCOPED_TRACE(c.english);
        EXPECT_EQ(rtl::floatToStr(c.value, br), c.brazil);
        EXPECT_EQ(rtl::floatToStr(c.value, en), c.english);
    }
}

TEST_F(NumberFormats, CurrencyTextIsExactWithUpToFourDecimals) {
    using rtl::Currency;
    const struct {
        std::int64_t raw;
        const char* brazil;
        const char* english;
    } cases[] = {
        {1234500, "123,45", "123.45"},
        {1000000, "100", "100"},
        {1, "0,0001", "0.0001"},
        {-5000, "-0,5", "-0.5"},
        {0, "0", "0"},
        {12345678, "1234,5678", "1234.5678"},
        {INT64_MAX, "922337203685477,5807", "922337203685477.5807"},
        {INT64_MIN, "-922337203685477,5808", "-922337203685477.5808"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rtl::currToStr(Currency::fromRaw(c.raw), br), c.brazil);
        EXPECT_EQ(rtl::currToStr(Currency::fromRaw(c.raw), en), c.english);
    }
}

TEST_F(NumberFormats, RegionalCurrencyTextPlacesTheSymbolAndKeepsTwoDecimals) {
    using rtl::Currency;
    const struct {
        double value;
        const char* brazil;
        const char* english;
    } cases[] = {
        {1234.5, "R$ 1.234,50", "$1,234.50"},
        {-1234.5, "-R$ 1.234,50", "-$1,234.50"},
        {0, "R$ 0,00", "$0.00"},
        {0.005, "R$ 0,01", "$0.01"},
        {-0.001, "R$ 0,00", "$0.00"},
        {1234567.891, "R$ 1.234.567,89", "$1,234,567.89"},
        // twelve significant digits at most
        {12345678901234.56, "R$ 12.345.678.901.200,00", "$12,345,678,901,200.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.english);
        EXPECT_EQ(rtl::currencyText(c.value, 2, 12, br), c.brazil);
        EXPECT_EQ(rtl::currencyText(c.value, 2, 12, en), c.english);
        Currency cur;
        ASSERT_TRUE(Currency::tryFromDouble(c.value, cur));
        EXPECT_EQ(rtl::currencyText(cur, 2, 12, br), c.brazil);
    }
}

TEST_F(NumberFormats, EveryNegativeCurrencyLayout) {
    const char* expected[16] = {"($1.00)", "-$1.00",  "$-1.00",   "$1.00-",  "(1.00$)", "-1.00$",
                                "1.00-$",  "1.00$-",  "-1.00 $",  "-$ 1.00", "1.00 $-", "$ 1.00-",
                                "$ -1.00", "1.00- $", "($ 1.00)", "(1.00 $)"};
    rtl::FormatSettings fs = en;
    for (int layout = 0; layout < 16; ++layout) {
        fs.negCurrFormat = layout;
        EXPECT_EQ(rtl::currencyText(rtl::Currency::fromUnits(-1), 2, 12, fs), expected[layout])
            << layout;
    }
    const char* positive[4] = {"$1.00", "1.00$", "$ 1.00", "1.00 $"};
    for (int layout = 0; layout < 4; ++layout) {
        fs.currencyFormat = layout;
        EXPECT_EQ(rtl::currencyText(rtl::Currency::fromUnits(1), 2, 12, fs), positive[layout]);
    }
}

TEST_F(NumberFormats, NoThousandsSeparatorMeansNoGrouping) {
    rtl::FormatSettings fs = br;
    fs.thousandSeparator = '\0';
    EXPECT_EQ(rtl::formatFloat(twoDecimals, 1234567.5, fs), "1234567,50");
    EXPECT_EQ(rtl::currencyText(1234567.5, 2, 12, fs), "R$ 1234567,50");
}

TEST_F(NumberFormats, IntegerTextHasNoGrouping) {
    EXPECT_EQ(rtl::intToStr(0), "0");
    EXPECT_EQ(rtl::intToStr(1234567), "1234567");
    EXPECT_EQ(rtl::intToStr(-42), "-42");
    EXPECT_EQ(rtl::intToStr(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(rtl::intToStr(INT64_MAX), "9223372036854775807");
}

TEST_F(NumberFormats, AppendingFormsAddToTheBuffer) {
    std::string out = "x=";
    rtl::appendFormatFloat(out, twoDecimals, 1.5, br);
    out += ';';
    rtl::appendFloatToStr(out, 2.25, br);
    out += ';';
    rtl::appendIntToStr(out, -7);
    out += ';';
    rtl::appendCurrToStr(out, rtl::Currency::fromRaw(15000), br);
    EXPECT_EQ(out, "x=1,50;2,25;-7;1,5");
}

TEST_F(NumberFormats, DefaultsFollowTheCurrentSettings) {
    rtl::ScopedFormatSettings scope(br);
    EXPECT_EQ(rtl::floatToStr(1.5), "1,5");
    {
        rtl::ScopedFormatSettings inner(en);
        EXPECT_EQ(rtl::formatFloat(twoDecimals, 1234.5), "1,234.50");
    }
    EXPECT_EQ(rtl::formatFloat(twoDecimals, 1234.5), "1.234,50");
}

} // namespace
