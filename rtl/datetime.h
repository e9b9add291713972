#pragma once
// Dates and times as one double: the whole part counts days since
// 30 December 1899 (day 0), the fraction is the time of day (0.5 = noon).
// Days before the base are negative; their time of day is still a positive
// fraction subtracted from the day number, so -1.25 is 29 December 1899 06:00.
#include <cstdint>

namespace rtl {

using TDateTime = double;

/// Day 0 of the numbering: 30 December 1899.
inline constexpr TDateTime zeroDate = 0.0;
inline constexpr double msPerDay = 86400000.0;

struct DateParts {
    int year = 1899; ///< 1..9999
    int month = 12;  ///< 1..12
    int day = 30;    ///< 1..days of the month
};

struct TimeParts {
    int hour = 0;   ///< 0..23
    int minute = 0; ///< 0..59
    int second = 0; ///< 0..59
    int msec = 0;   ///< 0..999
};

bool isLeapYear(int year);
/// Days of `month` (1..12) in `year`; 0 for a month out of range.
int daysInMonth(int year, int month);

/// False (and `out` unchanged) when the parts are out of range
/// (year 1..9999, month 1..12, day 1..days of the month).
bool tryEncodeDate(int year, int month, int day, TDateTime& out);
/// Throws EConvertError "Invalid argument to date encode" for invalid parts.
TDateTime encodeDate(int year, int month, int day);

/// False when hour 0..23, minute 0..59, second 0..59, msec 0..999 do not hold.
bool tryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out);
/// Throws EConvertError "Invalid argument to time encode" for invalid parts.
TDateTime encodeTime(int hour, int minute, int second, int msec = 0);

/// A day number and a time of day combined: the time is added to days from
/// the base on and subtracted from days before it.
TDateTime combineDateTime(TDateTime date, TDateTime time);

/// Both halves of a date-time, the time rounded to the nearest millisecond
/// (a time that rounds up to 24:00 carries into the next day). The parts
/// of values outside years 1..9999 are unspecified: check isValidDateTime
/// first when the value comes from outside.
void decodeDateTime(TDateTime dt, DateParts& date, TimeParts& time);
DateParts decodeDate(TDateTime dt);
TimeParts decodeTime(TDateTime dt);

/// True when dt lies within 1 January 0001 and 31 December 9999 23:59:59.999.
bool isValidDateTime(TDateTime dt);

/// The day part (time dropped) and the time part (always 0 <= t < 1).
TDateTime dateOf(TDateTime dt);
TDateTime timeOf(TDateTime dt);

/// 1 = Sunday .. 7 = Saturday.
int dayOfWeek(TDateTime dt);

/// `dt` with its fraction of a second dropped (whole seconds kept, as the
/// database values are read).
TDateTime dropMilliseconds(TDateTime dt);

/// The local date and time of the machine clock.
TDateTime now();
/// The current year of the machine clock (local time).
int currentYear();

} // namespace rtl
