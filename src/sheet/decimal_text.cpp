#include "sheet/decimal_text.h"

#include <cstdint>

namespace zandor::sheet {

namespace {

constexpr int kMaxDigits = 15;
// Powers of ten up to the most places there can be; a double holds each exactly.
constexpr double kPowersOfTen[kMaxDigits + 1] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

}  // namespace

std::optional<double> plainDecimal(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  std::uint64_t digits = 0;
  int count = 0, places = 0;
  bool point = false;
  for (; p < end; ++p) {
    if (*p >= '0' && *p <= '9') {
      digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
      ++count;
      if (point) ++places;
    } else if (*p == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  // The digits as a whole number below 10^15 are exact in a double, and so is 10^places:
  // their quotient is rounded once, to the double nearest the decimal, as from_chars rounds.
  if (count == 0 || count > kMaxDigits) return std::nullopt;
  const double value = static_cast<double>(digits) / kPowersOfTen[places];
  return negative ? -value : value;
}

}  // namespace zandor::sheet
