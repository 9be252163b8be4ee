#pragma once

#include <cstdint>
#include <string>

namespace zandor {

// One reading of the wall clock, so that a date and a time taken together always agree.
struct LocalDateTime {
  std::int32_t day = 0;     // day number as in base/date.h
  std::int32_t millis = 0;  // milliseconds since midnight
};

LocalDateTime localNow();

// Time of day as "hh.mm.ss" (24-hour clock), the form used in log file names.
std::string timeWithPoints(std::int32_t millis);

// The current time of day as "hh.mm.ss".
std::string CZEIT();

}  // namespace zandor
