#include "table/number_field.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

namespace zandor {

namespace {

constexpr int kSignificantDigits = 16;
constexpr int kPrintedDigits = 22;

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

// Scientific digits of a positive finite double at a precision: all digits into `digits`
// (without the point), the place of the first one as 10^exponent; returns the count.
int scientificDigits(double value, int precision, char* digits, int& exponent) {
  char buf[1100];
  const auto result =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision);
  int count = 0;
  const char* p = buf;
  for (; p < result.ptr && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') digits[count++] = *p;
  }
  exponent = 0;
  if (p < result.ptr) {
    ++p;
    if (p < result.ptr && *p == '+') ++p;
    std::from_chars(p, result.ptr, exponent);
  }
  return count;
}

// The first 16 significant digits, cut rather than rounded. Correctly rounded longer
// digits give the same first 16 as the exact expansion unless the rounding carried into
// them, which leaves only zeros behind the 16th digit; then, if the value has more exact
// digits than were printed, the exact expansion (at most 767 digits) settles it.
int cutDigits(double value, char (&cut)[kSignificantDigits]) {
  char digits[800];
  int exponent = 0;
  const int count = scientificDigits(value, kPrintedDigits - 1, digits, exponent);
  const bool tailZero =
      std::all_of(digits + kSignificantDigits, digits + count, [](char c) { return c == '0'; });
  if (tailZero && !exactWithin(value, kPrintedDigits)) {
    scientificDigits(value, 766, digits, exponent);
  }
  std::memcpy(cut, digits, kSignificantDigits);
  return exponent;
}

// |value| * 10^decimals rounded, without printing the digits, where the double arithmetic
// is certain to give the same as cutting and rounding the exact expansion: the product is
// below 10^12 (its error stays below 2^-13) and its fraction is not near one half (where
// a cut-off tail or the 4-and-nines rule could tip it).
bool quickScaled(double magnitude, std::size_t decimals, std::uint64_t* scaled) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (decimals >= std::size(kPowers)) return false;
  const double product = magnitude * kPowers[decimals];
  if (!(product < 1e12)) return false;
  const double whole = std::floor(product);
  const double fraction = product - whole;
  if (std::fabs(fraction - 0.5) < 1e-3) return false;
  *scaled = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
  return true;
}

// Adds one to decimal digits held right-aligned in buf[begin, end); returns the new begin.
std::size_t increment(char* buf, std::size_t begin, std::size_t end) {
  for (std::size_t i = end; i-- > begin;) {
    if (buf[i] != '9') {
      ++buf[i];
      return begin;
    }
    buf[i] = '0';
  }
  buf[--begin] = '1';
  return begin;
}

// The shortest decimal that reads back as the same double, when it has no more decimals
// than the field: |value| * 10^decimals as digits right-aligned in buf[.., end), so the
// field holds exactly the number that was written (1.70851, not 1.708509999999999).
bool shortestWithin(double magnitude, std::size_t decimals, char* buf, std::size_t end,
                    std::size_t& begin) {
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
  char digits[32];
  int count = 0;
  const char* p = text;
  for (; p < result.ptr && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') digits[count++] = *p;
  }
  int exponent = 0;
  if (p < result.ptr) {
    ++p;
    if (p < result.ptr && *p == '+') ++p;
    std::from_chars(p, result.ptr, exponent);
  }
  // Place of the last digit as a power of ten; it must not lie below 10^-decimals.
  const long last = static_cast<long>(exponent) - (count - 1);
  if (last < -static_cast<long>(decimals)) return false;
  const auto zeros = static_cast<std::size_t>(last + static_cast<long>(decimals));
  begin = end - zeros;
  std::memset(buf + begin, '0', zeros);
  begin -= static_cast<std::size_t>(count);
  std::memcpy(buf + begin, digits, static_cast<std::size_t>(count));
  return true;
}

}  // namespace

NumberFieldText numberToFieldText(const Number& number, int length, int decimals) {
  NumberFieldText out;
  const auto width = static_cast<std::size_t>(std::max(length, 0));
  const auto dec = static_cast<std::size_t>(std::clamp(decimals, 0, 400));
  // |number| * 10^dec as digits, right-aligned in buf[begin, end), with room to carry.
  char buf[1200];
  const std::size_t end = sizeof buf;
  std::size_t begin = end;
  bool negative = false;
  if (number.isInteger) {
    negative = number.integer < 0;
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(number.integer)
                                       : static_cast<std::uint64_t>(number.integer);
    if (magnitude != 0) {
      begin -= dec;
      std::memset(buf + begin, '0', dec);
    }
    do {
      buf[--begin] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
  } else {
    const double real = number.real;
    if (!std::isfinite(real)) {
      out.text.assign(width, '*');
      out.fits = false;
      return out;
    }
    negative = std::signbit(real);
    const double magnitude = std::fabs(real);
    std::uint64_t scaled = 0;
    if (magnitude == 0.0) {
      buf[--begin] = '0';
    } else if (quickScaled(magnitude, dec, &scaled)) {
      do {
        buf[--begin] = static_cast<char>('0' + scaled % 10);
        scaled /= 10;
      } while (scaled != 0);
    } else if (shortestWithin(magnitude, dec, buf, end, begin)) {
      // exact: nothing to round
    } else {
      char cut[kSignificantDigits];
      const int exponent = cutDigits(magnitude, cut);
      const long kept = static_cast<long>(exponent) + static_cast<long>(dec) + 1;
      // Digits at or above 10^-dec: the cut digits, then zeros where a whole number is
      // longer than 16 digits.
      if (kept > 0) {
        const auto keptDigits = static_cast<std::size_t>(kept);
        const std::size_t fromCut = std::min<std::size_t>(keptDigits, kSignificantDigits);
        begin -= keptDigits;
        std::memcpy(buf + begin, cut, fromCut);
        std::memset(buf + begin + fromCut, '0', keptDigits - fromCut);
      } else {
        buf[--begin] = '0';
      }
      bool roundUp = false;
      if (kept >= 0 && kept < kSignificantDigits) {
        const auto first = static_cast<std::size_t>(kept);
        if (cut[first] >= '5') {
          roundUp = true;
        } else if (cut[first] == '4' && first + 1 < kSignificantDigits) {
          roundUp = std::all_of(cut + first + 1, cut + kSignificantDigits,
                                [](char c) { return c == '9'; });
        }
      }
      if (roundUp) begin = increment(buf, begin, end);
    }
  }
  while (begin + 1 < end && buf[begin] == '0') ++begin;
  if (buf[begin] == '0' && begin + 1 == end) negative = false;  // no "-0.00"
  while (end - begin < dec + 1) buf[--begin] = '0';

  const std::size_t digits = end - begin;
  const std::size_t textLength = (negative ? 1 : 0) + digits + (dec > 0 ? 1 : 0);
  if (textLength > width) {
    out.text.assign(width, '*');
    out.fits = false;
    return out;
  }
  out.text.assign(width, ' ');
  char* p = out.text.data() + (width - textLength);
  if (negative) *p++ = '-';
  std::memcpy(p, buf + begin, digits - dec);
  p += digits - dec;
  if (dec > 0) {
    *p++ = '.';
    std::memcpy(p, buf + end - dec, dec);
  }
  return out;
}

}  // namespace zandor
