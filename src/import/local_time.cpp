#include "import/local_time.h"

#include <cstdio>

#include "base/date.h"
#include "base/local_clock.h"

namespace zandor {

LocalDateTime localNow() {
  const LocalClock now = localClock();
  LocalDateTime result;
  result.day = dayNumber(now.year, now.month, now.day);
  result.millis = ((now.hour * 60 + now.minute) * 60 + now.second) * 1000 + now.millis;
  return result;
}

std::string timeWithPoints(std::int32_t millis) {
  if (millis < 0) millis = 0;
  const int seconds = millis / 1000;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", seconds / 3600 % 100, seconds / 60 % 60,
                seconds % 60);
  return buf;
}

std::string CZEIT() {
  return timeWithPoints(localNow().millis);
}

}  // namespace zandor
