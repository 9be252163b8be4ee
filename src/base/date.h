#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zandor {

// Day numbers are Julian day numbers: 2415019 is 30.12.1899, 0 means "no date".
constexpr std::int32_t kDay18991230 = 2415019;

struct YearMonthDay {
  int year = 0;
  int month = 0;
  int day = 0;
};

bool isValidDate(int year, int month, int day);
// Day number of a calendar date (years 1 to 9999); 0 when the date is not valid.
std::int32_t dayNumber(int year, int month, int day);
// Calendar date of a day number; all zero for day number 0 or below.
YearMonthDay calendarDate(std::int32_t day);

// Process-wide date format ("dd.mm.yy", "mm/dd/yyyy", ...) and epoch. They start as the
// runtime's own defaults and are fixed once at start-up.
void setDateFormat(std::string format);
const std::string& dateFormat();
void setEpoch(int epoch);
int epoch();

// A two-digit year placed by the epoch; other years unchanged.
int yearByEpoch(int year);

// Date as text in the date format; the empty date keeps only the separators.
std::string dateToText(std::int32_t day);
// Text read as a date in the order of the date format; 0 when it is no valid date.
std::int32_t textToDate(std::string_view text);

// Eight digits YYYYMMDD, or 8 blanks for the empty date.
std::string dateToDigits(std::int32_t day);
// YYYYMMDD back to a day number; 0 when blank or not a valid date.
std::int32_t digitsToDate(std::string_view digits);

// Time of day "hh:mm:ss" from milliseconds of the day.
std::string timeToText(std::int32_t millis);

}  // namespace zandor
