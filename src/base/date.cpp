#include "base/date.h"

#include <cstdio>

namespace zandor {

namespace {

std::string gDateFormat = "mm/dd/yy";
int gEpoch = 1900;

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// The order in which day, month and year stand in the date format, as 'd', 'm', 'y'.
std::string partOrder() {
  std::string order;
  for (char c : gDateFormat) {
    char lower = static_cast<char>(c | 0x20);
    if ((lower == 'd' || lower == 'm' || lower == 'y') && order.find(lower) == std::string::npos) {
      order += lower;
    }
  }
  return order.size() == 3 ? order : "dmy";
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool isValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= daysInMonth(year, month);
}

std::int32_t dayNumber(int year, int month, int day) {
  if (!isValidDate(year, month, day)) return 0;
  // Gregorian calendar to Julian day number (Fliegel and Van Flandern).
  const int a = (14 - month) / 12;
  const int y = year + 4800 - a;
  const int m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

YearMonthDay calendarDate(std::int32_t day) {
  if (day <= 0) return {};
  const std::int64_t a = static_cast<std::int64_t>(day) + 32044;
  const std::int64_t b = (4 * a + 3) / 146097;
  const std::int64_t c = a - 146097 * b / 4;
  const std::int64_t d = (4 * c + 3) / 1461;
  const std::int64_t e = c - 1461 * d / 4;
  const std::int64_t m = (5 * e + 2) / 153;
  YearMonthDay result;
  result.day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  result.month = static_cast<int>(m + 3 - 12 * (m / 10));
  result.year = static_cast<int>(100 * b + d - 4800 + m / 10);
  return result;
}

void setDateFormat(std::string format) {
  gDateFormat = std::move(format);
}
const std::string& dateFormat() {
  return gDateFormat;
}
void setEpoch(int epoch) {
  gEpoch = epoch;
}
int epoch() {
  return gEpoch;
}

int yearByEpoch(int year) {
  if (year >= 100) return year;
  int placed = gEpoch / 100 * 100 + year;
  if (placed < gEpoch) placed += 100;
  return placed;
}

std::string dateToText(std::int32_t day) {
  const YearMonthDay ymd = calendarDate(day);
  const bool empty = day <= 0;
  std::string out;
  for (std::size_t i = 0; i < gDateFormat.size();) {
    const char lower = static_cast<char>(gDateFormat[i] | 0x20);
    std::size_t run = 1;
    while (i + run < gDateFormat.size() && (gDateFormat[i + run] | 0x20) == lower) ++run;
    int value = -1;
    std::size_t digits = run;
    if (lower == 'd') {
      value = ymd.day;
      digits = 2;
    } else if (lower == 'm') {
      value = ymd.month;
      digits = 2;
    } else if (lower == 'y') {
      value = run >= 4 ? ymd.year : ymd.year % 100;
      digits = run >= 4 ? 4 : 2;
    }
    if (value < 0) {
      out.append(gDateFormat, i, run);
    } else if (empty) {
      out.append(digits, ' ');
    } else {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%0*d", static_cast<int>(digits), value);
      out += buf;
    }
    i += run;
  }
  return out;
}

std::int32_t textToDate(std::string_view text) {
  long long parts[3] = {0, 0, 0};
  bool seen[3] = {false, false, false};  // a part without any digit makes no date
  int part = 0;
  bool inPart = false;  // digits of the current part have been read
  for (char c : text) {
    if (isDigit(c)) {
      if (part > 2) break;
      if (parts[part] < 100000) parts[part] = parts[part] * 10 + (c - '0');
      seen[part] = true;
      inPart = true;
      continue;
    }
    if (parts[0] > 0 && parts[1] > 0 && parts[2] > 0) break;
    if (c == ' ') continue;
    if (inPart) {
      ++part;
      inPart = false;
      if (part > 2) break;
    }
  }
  if (!seen[0] || !seen[1] || !seen[2]) return 0;
  const std::string order = partOrder();
  int day = 0, month = 0, year = 0;
  for (int i = 0; i < 3; ++i) {
    const int v = static_cast<int>(parts[i]);
    if (order[i] == 'd') day = v;
    if (order[i] == 'm') month = v;
    if (order[i] == 'y') year = v;
  }
  return dayNumber(yearByEpoch(year), month, day);
}

std::string dateToDigits(std::int32_t day) {
  if (day <= 0) return std::string(8, ' ');
  const YearMonthDay ymd = calendarDate(day);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", ymd.year, ymd.month, ymd.day);
  return buf;
}

std::int32_t digitsToDate(std::string_view digits) {
  if (digits.size() != 8) return 0;
  int v[8];
  for (int i = 0; i < 8; ++i) {
    if (!isDigit(digits[i])) return 0;
    v[i] = digits[i] - '0';
  }
  return dayNumber(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5], v[6] * 10 + v[7]);
}

std::string timeToText(std::int32_t millis) {
  if (millis < 0) millis = 0;
  const int seconds = millis / 1000;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", seconds / 3600 % 100, seconds / 60 % 60,
                seconds % 60);
  return buf;
}

}  // namespace zandor
