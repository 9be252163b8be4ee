#pragma once

namespace zandor {

// One reading of the local wall clock.
struct LocalClock {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millis = 0;
};

LocalClock localClock();

}  // namespace zandor
