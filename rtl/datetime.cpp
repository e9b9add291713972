#include "rtl/datetime.h"
#include "rtl/errors.h"

#include <cmath>
#include <ctime>

namespace rtl {

namespace {

// Days between 1970-01-01 and 1899-12-30, the base of the numbering.
constexpr std::int64_t unixEpochSerial = 25569;
constexpr std::int64_t msPerDayInt = 86400000;
// 0001-01-01 and 9999-12-31 as day numbers.
constexpr double minSerial = -693593.0;
constexpr double maxSerial = 2958465.0;

// Proleptic Gregorian day count relative to 1970-01-01 (Hinnant's
// algorithm), exact for every year the type covers.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Inlined into each decoder: a call costs as much as the arithmetic.
[[gnu::always_inline]] inline void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// Splits a date-time into its day number and milliseconds of the day,
// carrying a time that rounds up to a whole day into the day.
void split(TDateTime dt, std::int64_t& day, std::int64_t& ms) {
    double whole = std::trunc(dt);
    double frac = std::fabs(dt - whole);
    day = static_cast<std::int64_t>(whole);
    // Half away from zero like llround, without the library call: the
    // difference of a non-negative double and its truncation is exact.
    const double x = frac * msPerDay;
    ms = static_cast<std::int64_t>(x);
    if (x - static_cast<double>(ms) >= 0.5) ++ms;
    if (ms >= msPerDayInt) {
        ms -= msPerDayInt;
        // A negative day moves further back: -1 minus a whole day is day -2.
        day += dt < 0 ? -1 : 1;
    }
}

} // namespace

bool isLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int daysInMonth(int year, int month) {
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

bool tryEncodeDate(int year, int month, int day, TDateTime& out) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month))
        return false;
    out = static_cast<double>(
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        unixEpochSerial);
    return true;
}

TDateTime encodeDate(int year, int month, int day) {
    TDateTime r;
    if (!tryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
    return r;
}

bool tryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999)
        return false;
    out = ((hour * 3600000.0) + (minute * 60000.0) + (second * 1000.0) + msec) / msPerDay;
    return true;
}

TDateTime encodeTime(int hour, int minute, int second, int msec) {
    TDateTime r;
    if (!tryEncodeTime(hour, minute, second, msec, r))
        throw EConvertError("Invalid argument to time encode");
    return r;
}

TDateTime combineDateTime(TDateTime date, TDateTime time) {
    date = std::trunc(date);
    time = std::fabs(time - std::trunc(time));
    return date >= 0 ? date + time : date - time;
}

namespace {

void timeFromMs(std::int64_t ms, TimeParts& time) {
    time.hour = static_cast<int>(ms / 3600000);
    time.minute = static_cast<int>(ms / 60000 % 60);
    time.second = static_cast<int>(ms / 1000 % 60);
    time.msec = static_cast<int>(ms % 1000);
}

} // namespace

void decodeDateTime(TDateTime dt, DateParts& date, TimeParts& time) {
    std::int64_t day, ms;
    split(dt, day, ms);
    civilFromDays(day - unixEpochSerial, date.year, date.month, date.day);
    timeFromMs(ms, time);
}

// Each half alone skips the arithmetic of the other (a column of times is
// written without working out a calendar date per row).
DateParts decodeDate(TDateTime dt) {
    std::int64_t day, ms;
    split(dt, day, ms);
    DateParts d;
    civilFromDays(day - unixEpochSerial, d.year, d.month, d.day);
    return d;
}

TimeParts decodeTime(TDateTime dt) {
    std::int64_t day, ms;
    split(dt, day, ms);
    TimeParts t;
    timeFromMs(ms, t);
    return t;
}

bool isValidDateTime(TDateTime dt) {
    return std::isfinite(dt) && dt > minSerial - 1.0 && dt < maxSerial + 1.0;
}

TDateTime dateOf(TDateTime dt) {
    return std::trunc(dt);
}

TDateTime timeOf(TDateTime dt) {
    return std::fabs(dt - std::trunc(dt));
}

int dayOfWeek(TDateTime dt) {
    // Day 0 (30 Dec 1899) was a Saturday.
    std::int64_t day, ms;
    split(dt, day, ms);
    std::int64_t w = (day + 6) % 7;
    if (w < 0) w += 7;
    return static_cast<int>(w) + 1;
}

TDateTime dropMilliseconds(TDateTime dt) {
    std::int64_t day, ms;
    split(dt, day, ms);
    double t = static_cast<double>(ms / 1000 * 1000) / msPerDay;
    double d = static_cast<double>(day);
    return d >= 0 ? d + t : d - t;
}

TDateTime now() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    std::time_t secs = ts.tv_sec;
    std::tm tm{};
    localtime_r(&secs, &tm);
    TDateTime d = encodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    int sec = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    return d + encodeTime(tm.tm_hour, tm.tm_min, sec, static_cast<int>(ts.tv_nsec / 1000000));
}

int currentYear() {
    std::time_t secs = std::time(nullptr);
    std::tm tm{};
    localtime_r(&secs, &tm);
    return tm.tm_year + 1900;
}

} // namespace rtl
