// Date, time and timestamp columns read as text in the regional patterns in
// force at each read, and in the display format set at that moment, even
// when the same fields were read before under others.
#include "tests/dataset/dstest.h"

#include "rtl/format.h"

using dstest::Env;

namespace {

const char* kDates = "CREATE TABLE AGENDA (ID INTEGER NOT NULL PRIMARY KEY, DIA DATE, HORA TIME,"
                     " QUANDO TIMESTAMP, VALOR DOUBLE PRECISION);"
                     "INSERT INTO AGENDA VALUES (1, '2024-03-05', '13:14:15', "
                     "'2024-03-05 08:09:10', 1234.5);"
                     "INSERT INTO AGENDA VALUES (2, '1899-12-29', '00:00:00', "
                     "'2024-12-31 00:00:00', -0.125);"
                     "INSERT INTO AGENDA VALUES (3, '0001-01-01', '23:59:59', "
                     "'9999-12-31 23:59:59', 1e20);";

struct Reading {
    std::string dia, hora, quando, valor;
};

std::vector<Reading> readAll(Env& env) {
    std::vector<Reading> rows;
    env.table.First();
    while (!env.table.Eof()) {
        rows.push_back({env.table.FieldByName("DIA").AsString(),
                        env.table.FieldByName("HORA").AsString(),
                        env.table.FieldByName("QUANDO").AsString(),
                        env.table.FieldByName("VALOR").AsString()});
        env.table.Next();
    }
    return rows;
}

TEST(DateTexts, FollowTheRegionalSettingsInForceAtEachRead) {
    Env env(kDates);
    rtl::ScopedFormatSettings first(dstest::testSettings());
    env.open("AGENDA");
    std::vector<Reading> english = readAll(env);
    ASSERT_EQ(english.size(), 3u);
    EXPECT_EQ(english[0].dia, "05/03/2024");
    EXPECT_EQ(english[0].hora, "13:14:15");
    EXPECT_EQ(english[0].quando, "05/03/2024 08:09:10");
    EXPECT_EQ(english[0].valor, "1234.5");
    EXPECT_EQ(english[1].dia, "29/12/1899");
    EXPECT_EQ(english[1].hora, "00:00:00");
    EXPECT_EQ(english[1].quando, "31/12/2024") << "midnight leaves the time out";
    EXPECT_EQ(english[2].dia, "01/01/0001");
    EXPECT_EQ(english[2].quando, "31/12/9999 23:59:59");
    EXPECT_EQ(english[2].valor, "1E20");

    {
        rtl::FormatSettings other = rtl::brazilianSettings();
        other.shortDateFormat = "yyyy-mm-dd";
        other.longTimeFormat = "h.nn ampm";
        other.dateSeparator = '-';
        rtl::ScopedFormatSettings second(other);
        std::vector<Reading> changed = readAll(env);
        EXPECT_EQ(changed[0].dia, "2024-03-05");
        EXPECT_EQ(changed[0].hora, "1.14 PM");
        EXPECT_EQ(changed[0].quando, "2024-03-05 8.09 AM");
        EXPECT_EQ(changed[0].valor, "1234,5");
        EXPECT_EQ(changed[1].quando, "2024-12-31");
        EXPECT_EQ(changed[1].valor, "-0,125");
    }
    std::vector<Reading> back = readAll(env);
    EXPECT_EQ(back[0].dia, english[0].dia);
    EXPECT_EQ(back[0].quando, english[0].quando);
    EXPECT_EQ(back[2].hora, english[2].hora);
}

TEST(DateTexts, DisplayFormatTakesEffectAtOnceAndFollowsTheSettings) {
    Env env(kDates);
    rtl::ScopedFormatSettings first(dstest::testSettings());
    env.open("AGENDA");
    TField& quando = env.table.FieldByName("QUANDO");
    EXPECT_EQ(quando.DisplayText(), "05/03/2024 08:09:10");
    quando.SetDisplayFormat("ddddd");
    EXPECT_EQ(quando.DisplayText(), "05/03/2024");
    EXPECT_EQ(quando.AsString(), "05/03/2024 08:09:10") << "the value text keeps the locale's";
    {
        rtl::FormatSettings other = dstest::testSettings();
        other.shortDateFormat = "mm/dd/yy";
        rtl::ScopedFormatSettings second(other);
        EXPECT_EQ(quando.DisplayText(), "03/05/24");
    }
    quando.SetDisplayFormat("yyyy \"h\" hh");
    EXPECT_EQ(quando.DisplayText(), "2024 h 08");
    quando.SetDisplayFormat("");
    EXPECT_EQ(quando.DisplayText(), "05/03/2024 08:09:10");
    env.table.Next();
    EXPECT_EQ(quando.DisplayText(), "31/12/2024");
}

} // namespace
