#include "sheet/serial_date.h"

#include <charconv>
#include <cmath>

#include "base/date.h"

namespace zandor::sheet {

namespace {

// Reads exactly n digits at i.
bool digits(std::string_view s, std::size_t& i, int n, int* out) {
  if (i + n > s.size()) return false;
  int v = 0;
  for (int k = 0; k < n; ++k) {
    const char c = s[i + k];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  i += n;
  *out = v;
  return true;
}

bool timeOfDay(std::string_view s, std::size_t& i, double* fraction) {
  int h, m, sec = 0;
  if (!digits(s, i, 2, &h) || i >= s.size() || s[i] != ':') return false;
  ++i;
  if (!digits(s, i, 2, &m)) return false;
  double frac = 0;
  if (i < s.size() && s[i] == ':') {
    ++i;
    if (!digits(s, i, 2, &sec)) return false;
    if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
      double scale = 0.1;
      ++i;
      while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        frac += (s[i] - '0') * scale;
        scale /= 10;
        ++i;
      }
    }
  }
  if (h > 24 || m > 59 || sec > 60) return false;
  *fraction = ((h * 60.0 + m) * 60.0 + sec + frac) / 86400.0;
  return true;
}

bool zoneOrEnd(std::string_view s, std::size_t i) {
  return i == s.size() || s[i] == 'Z' || s[i] == '+' || s[i] == '-';
}

}  // namespace

bool serialFromDate(int year, int month, int day, double* serial) {
  const std::int32_t n = dayNumber(year, month, day);
  if (n == 0) return false;
  *serial = static_cast<double>(n - kDay18991230);
  return true;
}

bool serialFromIso(std::string_view s, double* serial) {
  std::size_t i = 0;
  double fraction = 0;
  if (s.size() >= 3 && s[2] == ':') {
    if (!timeOfDay(s, i, &fraction) || !zoneOrEnd(s, i)) return false;
    *serial = fraction;
    return true;
  }
  int y, m, d;
  if (!digits(s, i, 4, &y) || i >= s.size() || s[i++] != '-' || !digits(s, i, 2, &m) ||
      i >= s.size() || s[i++] != '-' || !digits(s, i, 2, &d))
    return false;
  double day;
  if (!serialFromDate(y, m, d, &day)) return false;
  if (i < s.size() && (s[i] == 'T' || s[i] == ' ')) {
    ++i;
    if (!timeOfDay(s, i, &fraction)) return false;
  }
  if (!zoneOrEnd(s, i)) return false;
  *serial = day + fraction;
  return true;
}

bool serialFromDuration(std::string_view s, double* serial) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && s[i] == '-') negative = true, ++i;
  if (i >= s.size() || s[i++] != 'P') return false;
  double seconds = 0;
  bool inTime = false, any = false;
  while (i < s.size()) {
    if (s[i] == 'T') {
      inTime = true;
      ++i;
      continue;
    }
    double v;
    auto [end, ec] = std::from_chars(s.data() + i, s.data() + s.size(), v);
    if (ec != std::errc() || end == s.data() + s.size()) return false;
    i = static_cast<std::size_t>(end - s.data());
    const char unit = s[i++];
    if (unit == 'D' && !inTime)
      seconds += v * 86400;
    else if (unit == 'H' && inTime)
      seconds += v * 3600;
    else if (unit == 'M' && inTime)
      seconds += v * 60;
    else if (unit == 'S' && inTime)
      seconds += v;
    else
      return false;
    any = true;
  }
  if (!any) return false;
  *serial = (negative ? -seconds : seconds) / 86400.0;
  return true;
}

double automationSerial(double stored, bool date1904) {
  if (date1904) return stored + 1462;
  if (stored >= 1 && stored < 60) return stored + 1;
  return stored;
}

bool isDateFormatCode(std::string_view code) {
  auto sameWord = [&](std::string_view word) {
    if (code.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if ((code[i] | 0x20) != (word[i] | 0x20)) return false;
    }
    return true;
  };
  if (sameWord("general") || sameWord("standard")) return false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    switch (c) {
      case '"': {
        const std::size_t close = code.find('"', i + 1);
        if (close == std::string_view::npos) return false;
        i = close;
        break;
      }
      case '\\':
      case '_':
      case '*':
        ++i;
        break;
      case '[': {
        const std::size_t close = code.find(']', i + 1);
        if (close == std::string_view::npos) return false;
        const std::string_view inner = code.substr(i + 1, close - i - 1);
        bool elapsed = !inner.empty();
        for (char k : inner) {
          const char l = static_cast<char>(k | 0x20);
          if (l != 'h' && l != 'm' && l != 's') elapsed = false;
        }
        if (elapsed) return true;
        i = close;
        break;
      }
      default: {
        const char l = static_cast<char>(c | 0x20);
        if (l == 'd' || l == 'm' || l == 'y' || l == 'h' || l == 's') return true;
      }
    }
  }
  return false;
}

bool isDateFormat(int id, std::string_view code) {
  if (!code.empty()) return isDateFormatCode(code);
  return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
         (id >= 50 && id <= 58);
}

}  // namespace zandor::sheet
