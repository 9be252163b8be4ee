#include "table/number_field.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace zandor {

namespace {

constexpr int kSignificantDigits = 16;
constexpr int kPrintedDigits = 22;

// Scientific digits of a positive finite double: `digits` holds the leading significant
// digits, the first one standing at the place 10^exponent.
struct Scientific {
  std::string digits;
  int exponent = 0;
};

Scientific scientificDigits(double value, int precision) {
  char buf[1100];
  const auto result =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision);
  Scientific out;
  const char* p = buf;
  for (; p < result.ptr && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') out.digits += *p;
  }
  if (p < result.ptr) {
    ++p;
    if (p < result.ptr && *p == '+') ++p;
    std::from_chars(p, result.ptr, out.exponent);
  }
  return out;
}

// Whether the exact decimal expansion of a positive double has at most `limit`
// significant digits: m * 2^e with m odd has as many as m * 5^-e for e < 0.
bool exactWithin(double value, int limit) {
  int exp2 = 0;
  const double fraction = std::frexp(value, &exp2);
  auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  int e = exp2 - 53;
  while (mantissa != 0 && (mantissa & 1) == 0) {
    mantissa >>= 1;
    ++e;
  }
  if (e >= 0) return value < std::pow(10.0, limit - 1);  // a whole number
  // digits(m * 5^k) <= digits(m) + k * log10(5) + 1
  const double digits = std::log10(static_cast<double>(mantissa)) + 1 + (-e) * 0.69897 + 1;
  return digits <= limit;
}

// The first 16 significant digits, cut rather than rounded. Correctly rounded longer
// digits give the same first 16 as the exact expansion unless the rounding carried into
// them, which leaves only zeros behind the 16th digit; then, if the value has more exact
// digits than were printed, the exact expansion (at most 767 digits) settles it.
Scientific cutDigits(double value) {
  Scientific sci = scientificDigits(value, kPrintedDigits - 1);
  if (sci.digits.find_first_not_of('0', kSignificantDigits) == std::string::npos &&
      !exactWithin(value, kPrintedDigits)) {
    sci = scientificDigits(value, 766);
  }
  sci.digits.resize(kSignificantDigits);
  return sci;
}

// Adds one to a string of decimal digits.
void increment(std::string& digits) {
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
}

// |value| times 10^decimals, rounded as described in the header, as decimal digits.
std::string scaledDigitsOfReal(double magnitude, int decimals) {
  if (magnitude == 0.0) return "0";
  const Scientific sci = cutDigits(magnitude);
  const long kept = static_cast<long>(sci.exponent) + decimals + 1;  // digits at or above 10^-dec
  std::string scaled;
  if (kept > 0) {
    scaled =
        sci.digits.substr(0, static_cast<std::size_t>(std::min<long>(kept, kSignificantDigits)));
    if (kept > kSignificantDigits)
      scaled.append(static_cast<std::size_t>(kept - kSignificantDigits), '0');
  }
  bool roundUp = false;
  if (kept >= 0 && kept < kSignificantDigits) {
    const auto first = static_cast<std::size_t>(kept);
    const char dropped = sci.digits[first];
    if (dropped >= '5') {
      roundUp = true;
    } else if (dropped == '4' && first + 1 < sci.digits.size()) {
      roundUp = sci.digits.find_first_not_of('9', first + 1) == std::string::npos;
    }
  }
  if (scaled.empty()) scaled = "0";
  if (roundUp) increment(scaled);
  return scaled;
}

std::string scaledDigitsOfInteger(std::int64_t value, int decimals) {
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  if (magnitude != 0) digits.append(static_cast<std::size_t>(decimals), '0');
  return digits;
}

}  // namespace

NumberFieldText numberToFieldText(const Number& number, int length, int decimals) {
  NumberFieldText out;
  const auto width = static_cast<std::size_t>(std::max(length, 0));
  decimals = std::max(decimals, 0);
  bool negative;
  std::string scaled;
  if (number.isInteger) {
    negative = number.integer < 0;
    scaled = scaledDigitsOfInteger(number.integer, decimals);
  } else {
    if (!std::isfinite(number.real)) {
      out.text.assign(width, '*');
      out.fits = false;
      return out;
    }
    negative = std::signbit(number.real);
    scaled = scaledDigitsOfReal(std::fabs(number.real), decimals);
  }
  const auto firstNonZero = scaled.find_first_not_of('0');
  if (firstNonZero == std::string::npos) {
    negative = false;  // no "-0.00"
    scaled = "0";
  } else {
    scaled.erase(0, firstNonZero);
  }
  const auto dec = static_cast<std::size_t>(decimals);
  if (scaled.size() < dec + 1) scaled.insert(0, dec + 1 - scaled.size(), '0');
  std::string text = negative ? "-" : "";
  text.append(scaled, 0, scaled.size() - dec);
  if (dec > 0) {
    text += '.';
    text.append(scaled, scaled.size() - dec, dec);
  }
  if (text.size() > width) {
    out.text.assign(width, '*');
    out.fits = false;
    return out;
  }
  out.text.assign(width - text.size(), ' ');
  out.text += text;
  return out;
}

}  // namespace zandor
