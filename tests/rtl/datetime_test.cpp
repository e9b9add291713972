// Dates and times as day numbers, and their text under regional patterns.
#include "rtl/errors.h"
#include "rtl/format.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using rtl::encodeDate;
using rtl::encodeTime;

TEST(DayNumbers, CountDaysFromThirtiethOfDecember1899) {
    EXPECT_EQ(encodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(encodeDate(1899, 12, 31), 1.0);
    EXPECT_EQ(encodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(encodeDate(1900, 3, 1), 61.0); // 1900 was no leap year
    EXPECT_EQ(encodeDate(2024, 1, 1), 45292.0);
    EXPECT_EQ(encodeDate(2024, 3, 5), 45356.0);
    EXPECT_EQ(encodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(encodeDate(9999, 12, 31), 2958465.0);
}

TEST(DayNumbers, EveryDayOfFourHundredYearsDecodesToWhatWasEncoded) {
    rtl::TDateTime previous = encodeDate(1799, 12, 31);
    for (int y = 1800; y < 2200; ++y)
        for (int m = 1; m <= 12; ++m)
            for (int d = 1; d <= rtl::daysInMonth(y, m); ++d) {
                rtl::TDateTime dt = encodeDate(y, m, d);
                ASSERT_EQ(dt, previous + 1) << y << "-" << m << "-" << d;
                previous = dt;
                rtl::DateParts p = rtl::decodeDate(dt);
                ASSERT_EQ(p.year, y);
                ASSERT_EQ(p.month, m);
                ASSERT_EQ(p.day, d);
            }
}

TEST(DayNumbers, InvalidPartsAreRefused) {
    rtl::TDateTime out = 123;
    EXPECT_FALSE(rtl::tryEncodeDate(2023, 2, 29, out));
    EXPECT_TRUE(rtl::tryEncodeDate(2024, 2, 29, out));
    EXPECT_FALSE(rtl::tryEncodeDate(1900, 2, 29, out));
    EXPECT_TRUE(rtl::tryEncodeDate(2000, 2, 29, out));
    EXPECT_FALSE(rtl::tryEncodeDate(0, 1, 1, out));
    EXPECT_FALSE(rtl::tryEncodeDate(10000, 1, 1, out));
    EXPECT_FALSE(rtl::tryEncodeDate(2024, 13, 1, out));
    EXPECT_FALSE(rtl::tryEncodeDate(2024, 4, 31, out));
    EXPECT_FALSE(rtl::tryEncodeDate(2024, 4, 0, out));
    EXPECT_THROW(encodeDate(2024, 2, 30), rtl::EConvertError);
    try {
        encodeTime(24, 0, 0);
        FAIL();
    } catch (const rtl::EConvertError& e) {
        EXPECT_STREQ(e.what(), "Invalid argument to time encode");
    }
    EXPECT_FALSE(rtl::tryEncodeTime(12, 60, 0, 0, out));
    EXPECT_FALSE(rtl::tryEncodeTime(12, 0, 60, 0, out));
    EXPECT_FALSE(rtl::tryEncodeTime(12, 0, 0, 1000, out));
}

TEST(DayNumbers, TimeIsTheFractionOfTheDay) {
    EXPECT_EQ(encodeTime(12, 0, 0), 0.5);
    EXPECT_EQ(encodeTime(6, 0, 0), 0.25);
    rtl::TimeParts t = rtl::decodeTime(encodeDate(2024, 3, 5) + encodeTime(14, 7, 9, 45));
    EXPECT_EQ(t.hour, 14);
    EXPECT_EQ(t.minute, 7);
    EXPECT_EQ(t.second, 9);
    EXPECT_EQ(t.msec, 45);
    // Every second of a day survives the round trip on a recent date.
    for (int s = 0; s < 86400; s += 7) {
        rtl::TimeParts p = rtl::decodeTime(45356 + encodeTime(s / 3600, s / 60 % 60, s % 60));
        ASSERT_EQ(p.hour * 3600 + p.minute * 60 + p.second, s);
        ASSERT_EQ(p.msec, 0);
    }
}

TEST(DayNumbers, DaysBeforeTheBaseSubtractTheirTime) {
    rtl::TDateTime dt = rtl::combineDateTime(encodeDate(1899, 12, 29), encodeTime(6, 0, 0));
    EXPECT_EQ(dt, -1.25);
    rtl::DateParts d;
    rtl::TimeParts t;
    rtl::decodeDateTime(dt, d, t);
    EXPECT_EQ(d.day, 29);
    EXPECT_EQ(d.month, 12);
    EXPECT_EQ(t.hour, 6);
    EXPECT_EQ(rtl::combineDateTime(encodeDate(2024, 3, 5), 0.5), 45356.5);
    EXPECT_EQ(rtl::dateOf(-1.25), -1.0);
    EXPECT_EQ(rtl::timeOf(-1.25), 0.25);
}

TEST(DayNumbers, ATimeRoundingToMidnightCarriesIntoTheNextDay) {
    rtl::DateParts d;
    rtl::TimeParts t;
    rtl::decodeDateTime(45356.9999999999, d, t);
    EXPECT_EQ(d.day, 6);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.msec, 0);
    rtl::decodeDateTime(-1.9999999999, d, t);
    EXPECT_EQ(d.day, 28);
    EXPECT_EQ(t.hour, 0);
}

TEST(DayNumbers, WeekdaysAndWholeSeconds) {
    EXPECT_EQ(rtl::dayOfWeek(encodeDate(2024, 3, 5)), 3); // Tuesday
    EXPECT_EQ(rtl::dayOfWeek(0), 7);                      // 30 Dec 1899, a Saturday
    EXPECT_EQ(rtl::dayOfWeek(-1), 6);
    rtl::TDateTime dt = encodeDate(2024, 3, 5) + encodeTime(14, 7, 9, 999);
    EXPECT_EQ(
        rtl::formatDateTime("hh:nn:ss.zzz", rtl::dropMilliseconds(dt), rtl::brazilianSettings()),
        "14:07:09.000");
    EXPECT_TRUE(rtl::isValidDateTime(dt));
    EXPECT_FALSE(rtl::isValidDateTime(1e10));
    EXPECT_FALSE(rtl::isValidDateTime(NAN));
}

struct PatternCase {
    const char* pattern;
    const char* brazil;
    const char* other; ///< "-" date separator, "." time separator, English names
};

class DateFormats : public ::testing::Test {
protected:
    rtl::FormatSettings br = rtl::brazilianSettings();
    rtl::FormatSettings other = [] {
        rtl::FormatSettings fs = rtl::englishSettings();
        fs.dateSeparator = '-';
        fs.timeSeparator = '.';
        return fs;
    }();
    rtl::TDateTime when = encodeDate(2024, 3, 5) + encodeTime(14, 7, 9, 45);
};

TEST_F(DateFormats, PatternLettersUnderTwoRegionalSets) {
    const PatternCase cases[] = {
        {"dd/mm/yyyy", "05/03/2024", "05-03-2024"},
        {"hh:nn:ss", "14:07:09", "14.07.09"},
        {"d/m/yy", "5/3/24", "5-3-24"},
        {"h:n:s", "14:7:9", "14.7.9"},
        {"hh:mm", "14:07", "14.07"},
        {"hh:nn:ss.zzz", "14:07:09.045", "14.07.09.045"},
        {"s.z", "9.45", "9.45"},
        {"h:nn am/pm", "2:07 pm", "2.07 pm"},
        {"H:NN AM/PM", "2:07 PM", "2.07 PM"},
        {"h A/P", "2 P", "2 P"},
        {"hh ampm", "02 PM", "02 PM"},
        {"ddd, dddd", "ter, ter\xe7\x61-feira", "Tue, Tuesday"},
        {"mmm mmmm", "mar mar\xe7o", "Mar March"},
        {"yyyy-mm-dd", "2024-03-05", "2024-03-05"},
        {"y yyy", "24 2024", "24 2024"},
        {"'Dia' dd", "Dia 05", "Dia 05"},
        {"\"hh\" hh", "hh 14", "hh 14"},
        {"DD/MM/YYYY", "05/03/2024", "05-03-2024"},
        {"c", "05/03/2024 14:07:09", "03-05-2024 14.07.09"},
        {"", "05/03/2024 14:07:09", "03-05-2024 14.07.09"},
        {"ddddd", "05/03/2024", "03-05-2024"},
        {"dddddd", "ter\xe7\x61-feira, 5 de mar\xe7o de 2024", "Tuesday, March 05, 2024"},
        {"t", "14:07", "14.07"},
        {"tt", "14:07:09", "14.07.09"},
    };
    for (const PatternCase& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(rtl::formatDateTime(c.pattern, when, br), c.brazil);
        EXPECT_EQ(rtl::formatDateTime(c.pattern, when, other), c.other);
    }
}

TEST_F(DateFormats, TwelveHourClockAroundMidnightAndNoon) {
    rtl::TDateTime day = encodeDate(2024, 3, 5);
    EXPECT_EQ(rtl::formatDateTime("h:nn am/pm", day + encodeTime(0, 30, 0), br), "12:30 am");
    EXPECT_EQ(rtl::formatDateTime("h:nn am/pm", day + encodeTime(12, 0, 0), br), "12:00 pm");
    EXPECT_EQ(rtl::formatDateTime("h:nn am/pm", day + encodeTime(11, 59, 0), br), "11:59 am");
    EXPECT_EQ(rtl::formatDateTime("hh:nn", day + encodeTime(0, 30, 0), br), "00:30");
}

TEST_F(DateFormats, RegionalDateAndTimeTexts) {
    rtl::TDateTime day = encodeDate(2024, 3, 5);
    EXPECT_EQ(rtl::dateToStr(day, br), "05/03/2024");
    EXPECT_EQ(rtl::dateToStr(day, other), "03-05-2024");
    EXPECT_EQ(rtl::timeToStr(encodeTime(8, 5, 3), br), "08:05:03");
    EXPECT_EQ(rtl::timeToStr(0, other), "00.00.00");
    // Midnight leaves the time out.
    EXPECT_EQ(rtl::dateTimeToStr(day, br), "05/03/2024");
    EXPECT_EQ(rtl::dateTimeToStr(day + 0.5, br), "05/03/2024 12:00:00");
    EXPECT_EQ(rtl::dateToStr(rtl::zeroDate, br), "30/12/1899");
    EXPECT_EQ(rtl::dateToStr(encodeDate(1, 1, 1), br), "01/01/0001");
    EXPECT_EQ(rtl::dateToStr(1e10, br), "");
}

TEST_F(DateFormats, AFormatThatNamesItselfStops) {
    rtl::FormatSettings fs = br;
    fs.shortDateFormat = "ddddd";
    EXPECT_NO_THROW(rtl::formatDateTime("c", when, fs));
}

} // namespace
