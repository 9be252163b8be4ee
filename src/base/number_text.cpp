#include "base/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "base/text.h"

namespace zandor {

Number parseLeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isLeadingSpace(text[i])) ++i;
  std::string literal;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) literal += text[i++];
  int intDigits = 0, fracDigits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      literal += c;
      (point ? fracDigits : intDigits)++;
    } else if (c == '.' && !point) {
      literal += c;
      point = true;
    } else {
      break;
    }
  }
  Number result;
  if (intDigits + fracDigits == 0) return result;
  if (!point && intDigits <= 18) {
    result.integer = std::strtoll(literal.c_str(), nullptr, 10);
    result.width = 10;
    return result;
  }
  result.isInteger = false;
  result.real = std::strtod(literal.c_str(), nullptr);
  result.decimals = fracDigits;
  result.width = 10;
  return result;
}

std::string numberToPlainText(const Number& number) {
  if (number.isInteger) return std::to_string(number.integer);
  const double d = number.real;
  if (!std::isfinite(d)) return "0";
  char buf[400];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
  if (ec != std::errc()) return "0";
  std::string out(buf, end);
  if (out == "-0") out = "0";
  return out;
}

}  // namespace zandor
