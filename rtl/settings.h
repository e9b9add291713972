#pragma once
// Regional settings: how dates, times, numbers and currency amounts are
// written and read. One process-wide current set, read from the user's
// locale on first use; tests install a fixed set.
#include <array>
#include <cstdint>
#include <string>

namespace rtl {

struct FormatSettings {
    /// Date pattern in format-pattern letters (see formatDateTime), e.g. "dd/mm/yyyy".
    /// Its order of d, m and y also tells the parser the order of the parts.
    std::string shortDateFormat = "mm/dd/yyyy";
    std::string longDateFormat = "dddd, mmmm dd, yyyy";
    std::string shortTimeFormat = "hh:nn";
    std::string longTimeFormat = "hh:nn:ss";
    char dateSeparator = '/';
    char timeSeparator = ':';
    char decimalSeparator = '.';
    /// '\0' means digits are never grouped.
    char thousandSeparator = ',';
    std::string currencyString = "$";
    /// Position of the symbol for positive amounts: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
    int currencyFormat = 0;
    /// Layout for negative amounts, 0..15:
    ///  0 ($1)   1 -$1   2 $-1   3 $1-   4 (1$)   5 -1$   6 1-$   7 1$-
    ///  8 -1 $   9 -$ 1 10 1 $- 11 $ 1- 12 $ -1 13 1- $ 14 ($ 1) 15 (1 $)
    int negCurrFormat = 1;
    /// Decimals of the regional currency text when the caller gives none.
    int currencyDecimals = 2;
    std::string timeAMString = "AM";
    std::string timePMString = "PM";
    /// Index 0 is January. Latin-1 text.
    std::array<std::string, 12> shortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> longMonthNames{"January",   "February", "March",    "April",
                                               "May",       "June",     "July",     "August",
                                               "September", "October",  "November", "December"};
    /// Index 0 is Sunday. Latin-1 text.
    std::array<std::string, 7> shortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> longDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                            "Thursday", "Friday", "Saturday"};
    /// Two-digit years are read within this many years before the current
    /// year and the rest after it (0 = always the current century).
    int twoDigitYearCenturyWindow = 50;
};

/// The current process-wide settings. On first use they are read from the
/// user's locale (localeSettings("")). Not thread-safe: the program converts
/// on its one user-interface thread.
const FormatSettings& formatSettings();

/// A number that changes whenever the current settings are replaced (never
/// 0), so that what was derived from them can be kept until then.
std::uint64_t formatSettingsGeneration();

/// Replaces the current settings and returns the previous ones.
FormatSettings setFormatSettings(const FormatSettings& fs);

/// A fixed Brazilian-Portuguese set: "dd/mm/yyyy", "hh:nn:ss", '/', ':',
/// decimal ',', thousands '.', "R$" before the amount with a blank
/// (currencyFormat 2, negative "-R$ 1", i.e. 9), 2 decimals, Portuguese
/// month and day names in Latin-1.
FormatSettings brazilianSettings();

/// A fixed English (United States) style set with "." decimals and ","
/// thousands: "mm/dd/yyyy", "hh:nn:ss", "$1", negative "-$1".
FormatSettings englishSettings();

/// The settings of the named POSIX locale ("" = the user's locale from the
/// environment), read with nl_langinfo/localeconv without touching the
/// process's global locale. Texts are converted to Latin-1. Falls back to
/// englishSettings() values for anything the locale leaves unset, and
/// entirely when the locale cannot be loaded or is "C"/"POSIX".
FormatSettings localeSettings(const char* localeName = "");

/// Installs `fs` as the current settings for the lifetime of the object and
/// restores the previous ones on destruction. For tests and short scopes.
class ScopedFormatSettings {
public:
    explicit ScopedFormatSettings(const FormatSettings& fs) : previous_(setFormatSettings(fs)) {}
    ~ScopedFormatSettings() { setFormatSettings(previous_); }
    ScopedFormatSettings(const ScopedFormatSettings&) = delete;
    ScopedFormatSettings& operator=(const ScopedFormatSettings&) = delete;

private:
    FormatSettings previous_;
};

} // namespace rtl
