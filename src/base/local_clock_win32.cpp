#include "base/local_clock.h"

#include <windows.h>

namespace zandor {

LocalClock localClock() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace zandor
