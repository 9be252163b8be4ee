#include "import/local_time.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "base/date.h"

namespace zandor {

LocalDateTime localNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millisPart =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  LocalDateTime result;
  result.day = dayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  result.millis = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 +
                  static_cast<std::int32_t>(millisPart);
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
