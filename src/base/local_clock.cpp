#include "base/local_clock.h"

#include <chrono>
#include <ctime>

namespace zandor {

LocalClock localClock() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,           local.tm_hour,
          local.tm_min,         local.tm_sec,     static_cast<int>(millis)};
}

}  // namespace zandor
