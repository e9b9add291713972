// The regional settings the program starts with, the fixed sets used by
// tests, the process-wide current set, amounts as ten-thousandths and the
// Latin-1 text helpers.
#include "rtl/currency.h"
#include "rtl/errors.h"
#include "rtl/format.h"
#include "rtl/settings.h"
#include "rtl/strutil.h"
#include "tests/support/fbtest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

// glibc's newlocale never frees its parsed copy of LOCPATH; under the leak
// checker of a sanitizer build that would fail the locale tests below.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:__argz_add_sep\n";
}

namespace {

// Dates, times, separators and currency placement as Brazil writes them.
void expectBrazilianLayout(const rtl::FormatSettings& fs) {
    EXPECT_EQ(fs.shortDateFormat, "dd/mm/yyyy");
    EXPECT_EQ(fs.longTimeFormat, "hh:nn:ss");
    EXPECT_EQ(fs.dateSeparator, '/');
    EXPECT_EQ(fs.timeSeparator, ':');
    EXPECT_EQ(fs.decimalSeparator, ',');
    EXPECT_EQ(fs.thousandSeparator, '.');
    EXPECT_EQ(fs.currencyString, "R$");
    EXPECT_EQ(fs.currencyFormat, 2);
}

TEST(RegionalSettings, BrazilianSetIsFixed) {
    rtl::FormatSettings fs = rtl::brazilianSettings();
    expectBrazilianLayout(fs);
    EXPECT_EQ(fs.currencyDecimals, 2);
    EXPECT_EQ(rtl::currencyText(rtl::Currency::fromUnits(-3), 2, 12, fs), "-R$ 3,00");
}

TEST(RegionalSettings, LocalesWithoutRegionalDataGiveTheEnglishSet) {
    for (const char* name : {"C", "POSIX", "no_such_LOCALE"}) {
        rtl::FormatSettings fs = rtl::localeSettings(name);
        EXPECT_EQ(fs.shortDateFormat, "mm/dd/yyyy") << name;
        EXPECT_EQ(fs.decimalSeparator, '.') << name;
        EXPECT_EQ(fs.thousandSeparator, ',') << name;
        EXPECT_EQ(fs.currencyString, "$") << name;
    }
}

// Compiles a system locale into a folder of the test's own with localedef;
// false when this machine has no locale sources to compile from.
bool compileLocale(const fbtest::TempFolder& dir, const char* source, const char* charset,
                   const std::string& name) {
    std::string cmd = std::string("localedef -i ") + source + " -f " + charset + " '" +
                      dir.file(name) + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

class UserLocale : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("LOCPATH");
        hadLocPath_ = old != nullptr;
        if (old) oldLocPath_ = old;
        setenv("LOCPATH", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (hadLocPath_)
            setenv("LOCPATH", oldLocPath_.c_str(), 1);
        else
            unsetenv("LOCPATH");
    }
    fbtest::TempFolder dir_;

private:
    bool hadLocPath_ = false;
    std::string oldLocPath_;
};

TEST_F(UserLocale, BrazilianLocaleIsReadIntoLatin1Settings) {
    if (!compileLocale(dir_, "pt_BR", "UTF-8", "pt_BR.UTF-8"))
        GTEST_SKIP() << "no locale sources to compile pt_BR from";
    rtl::FormatSettings fs = rtl::localeSettings("pt_BR.UTF-8");
    expectBrazilianLayout(fs);
    EXPECT_EQ(fs.negCurrFormat, 9);
    EXPECT_EQ(fs.currencyDecimals, 2);
    // UTF-8 "março" arrives as Latin-1 bytes.
    EXPECT_EQ(fs.longMonthNames[2], "mar\xe7o");
    EXPECT_EQ(rtl::formatFloat("###,###,###,##0.00", 1234.5, fs), "1.234,50");
}

TEST_F(UserLocale, GermanLocaleHasDotDatesAndTheSymbolAfterTheAmount) {
    if (!compileLocale(dir_, "de_DE", "ISO-8859-1", "de_DE.ISO-8859-1"))
        GTEST_SKIP() << "no locale sources to compile de_DE from";
    rtl::FormatSettings fs = rtl::localeSettings("de_DE.ISO-8859-1");
    EXPECT_EQ(fs.shortDateFormat, "dd/mm/yyyy");
    EXPECT_EQ(fs.dateSeparator, '.');
    EXPECT_EQ(fs.decimalSeparator, ',');
    EXPECT_EQ(fs.currencyFormat, 3);
    EXPECT_EQ(rtl::dateToStr(rtl::encodeDate(2024, 3, 5), fs), "05.03.2024");
    EXPECT_EQ(fs.longMonthNames[2], "M\xe4rz");
}

TEST_F(UserLocale, AmericanLocaleUsesTheTwelveHourClock) {
    if (!compileLocale(dir_, "en_US", "UTF-8", "en_US.UTF-8"))
        GTEST_SKIP() << "no locale sources to compile en_US from";
    rtl::FormatSettings fs = rtl::localeSettings("en_US.UTF-8");
    EXPECT_EQ(fs.shortDateFormat, "mm/dd/yyyy");
    EXPECT_EQ(rtl::timeToStr(rtl::encodeTime(14, 7, 9), fs), "02:07:09 PM");
}

TEST(CurrentSettings, ReplacedAndRestoredByScope) {
    rtl::FormatSettings before = rtl::formatSettings();
    {
        rtl::ScopedFormatSettings scope(rtl::brazilianSettings());
        EXPECT_EQ(rtl::formatSettings().decimalSeparator, ',');
        EXPECT_EQ(rtl::currToStr(rtl::Currency::fromRaw(15000)), "1,5");
    }
    EXPECT_EQ(rtl::formatSettings().decimalSeparator, before.decimalSeparator);
    EXPECT_EQ(rtl::formatSettings().shortDateFormat, before.shortDateFormat);
}

TEST(Amounts, DoublesBecomeTenThousandthsRounded) {
    using rtl::Currency;
    EXPECT_EQ(Currency::fromDouble(0.1).raw(), 1000);
    EXPECT_EQ(Currency::fromDouble(123.45).raw(), 1234500);
    EXPECT_EQ(Currency::fromDouble(-0.00005).raw(), -1);
    EXPECT_EQ(Currency::fromDouble(0.00004).raw(), 0);
    EXPECT_EQ(Currency::fromRaw(1234500).toDouble(), 123.45);
    EXPECT_EQ(Currency::fromUnits(7).raw(), 70000);
    EXPECT_EQ(Currency::fromRaw(-12345).units(), -1);
    Currency out = Currency::fromRaw(5);
    EXPECT_FALSE(Currency::tryFromDouble(1e20, out));
    EXPECT_FALSE(Currency::tryFromDouble(std::nan(""), out));
    EXPECT_EQ(out.raw(), 5);
    EXPECT_THROW(Currency::fromDouble(1e20), rtl::EConvertError);
}

TEST(Amounts, ScaledIntegersAreExact) {
    using rtl::Currency;
    const struct {
        std::int64_t value;
        int decimals;
        std::int64_t raw;
    } cases[] = {
        {12345, 2, 1234500}, // NUMERIC(9,2) holding 123.45
        {12345, 0, 123450000},
        {-12345, 4, -12345},
        {-123456789, 6, -1234568}, // rounded half away from zero
        {123456789, 6, 1234568},
        {5, 5, 1},
        {4, 5, 0},
        {INT64_MAX, 18, 92234},
        {922337203685477, 0, 9223372036854770000},
    };
    for (const auto& c : cases) {
        Currency out;
        ASSERT_TRUE(Currency::tryFromScaled(c.value, c.decimals, out)) << c.value;
        EXPECT_EQ(out.raw(), c.raw) << c.value << " " << c.decimals;
    }
    Currency out;
    EXPECT_FALSE(Currency::tryFromScaled(INT64_MAX, 0, out));
    EXPECT_FALSE(Currency::tryFromScaled(1, -1, out));
    EXPECT_FALSE(Currency::tryFromScaled(1, 19, out));
    EXPECT_LT(Currency::fromRaw(-1), Currency{});
    EXPECT_EQ(Currency::fromRaw(3) + Currency::fromRaw(4), Currency::fromRaw(7));
}

TEST(TextHelpers, TrimmingRemovesBlanksAndControlCharacters) {
    EXPECT_EQ(rtl::trim("\t\r\n  x y \x01\x1f "), "x y");
    EXPECT_EQ(rtl::trim("   "), "");
    EXPECT_EQ(rtl::trim(""), "");
    // A no-break space (160) and accented letters are kept.
    EXPECT_EQ(rtl::trim("\xa0\xe9 "), "\xa0\xe9");
    EXPECT_EQ(rtl::trimLeft("  a  "), "a  ");
    EXPECT_EQ(rtl::trimRight("  a  "), "  a");
}

TEST(TextHelpers, Latin1CaseFolding) {
    EXPECT_EQ(rtl::upperCase("vl_qtde_item"), "VL_QTDE_ITEM");
    EXPECT_EQ(rtl::upperCase("a\xe7\xe3o \xf7\xff"), "A\xc7\xc3O \xf7\xff");
    EXPECT_EQ(rtl::lowerCase("A\xc7\xc3O \xd7"), "a\xe7\xe3o \xd7");
    EXPECT_TRUE(rtl::containsText("vl_qtde_item", "QTD"));
    EXPECT_TRUE(rtl::containsText("qtdItens", "QTD"));
    EXPECT_FALSE(rtl::containsText("VALOR", "QTD"));
    EXPECT_TRUE(rtl::sameText("Situa\xe7\xe3o", "SITUA\xc7\xc3O"));
    EXPECT_LT(rtl::compareText("abc", "ABD"), 0);
    EXPECT_GT(rtl::compareText("b", "A"), 0);
    EXPECT_LT(rtl::compareText("ab", "ABC"), 0);
}

} // namespace
