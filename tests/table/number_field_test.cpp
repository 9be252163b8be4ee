#include "table/number_field.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace zandor {
namespace {

Number real(double d) {
  return Number{false, 0, d, 10, 2};
}
Number whole(std::int64_t n) {
  return Number{true, n, 0.0, 10, 0};
}

struct Case {
  Number number;
  int length;
  int decimals;
  const char* expected;  // asterisks mean "does not fit"
};

class NumberFieldTextTest : public ::testing::TestWithParam<Case> {};

TEST_P(NumberFieldTextTest, FormatsAsStored) {
  const Case& c = GetParam();
  const NumberFieldText out = numberToFieldText(c.number, c.length, c.decimals);
  EXPECT_EQ(out.text, c.expected) << "value " << c.number.toDouble() << " N(" << c.length << ","
                                  << c.decimals << ")";
  EXPECT_EQ(out.fits, std::string(c.expected).find('*') == std::string::npos);
  EXPECT_EQ(out.text.size(), static_cast<std::size_t>(c.length));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberFieldTextTest,
    ::testing::Values(
        // plain placement: right-aligned, sign before the first digit, decimals filled
        Case{real(123.456), 8, 2, "  123.46"}, Case{whole(-5), 4, 0, "  -5"},
        Case{whole(5), 6, 2, "  5.00"}, Case{whole(0), 5, 2, " 0.00"},
        Case{real(-123.5), 6, 1, "-123.5"}, Case{real(100.0), 3, 0, "100"},
        Case{whole(123456789012345678), 20, 0, "  123456789012345678"},
        Case{whole(std::numeric_limits<std::int64_t>::min()), 20, 0, "-9223372036854775808"},
        // half up at the last kept decimal, also for negative numbers (away from zero)
        Case{real(0.125), 5, 2, " 0.13"}, Case{real(-0.125), 6, 2, " -0.13"},
        Case{real(0.5), 1, 0, "1"}, Case{real(2.5), 3, 0, "  3"}, Case{real(-2.5), 3, 0, " -3"},
        Case{real(0.30000000000000004), 5, 2, " 0.30"},
        // binary fractions just below the half: cut at 16 digits, then a 4 followed only by
        // nines counts as 5
        Case{real(1.005), 6, 2, "  1.01"}, Case{real(2.675), 6, 2, "  2.68"},
        Case{real(1.45), 4, 1, " 1.5"}, Case{real(2.0005), 10, 3, "     2.001"},
        Case{real(-1.005), 6, 2, " -1.01"},
        // a 4 followed by anything else stays rounded down
        Case{real(1.0049), 6, 2, "  1.00"}, Case{real(1.44999), 4, 1, " 1.4"},
        Case{real(0.14), 4, 1, " 0.1"},
        // no negative zero
        Case{real(-0.001), 5, 2, " 0.00"}, Case{real(-0.0), 4, 1, " 0.0"},
        // rounding that carries into a new digit
        Case{real(9.995), 5, 2, "10.00"}, Case{real(99.96), 5, 1, "100.0"},
        // more digits than a double holds: the shortest decimal that reads back as the same
        // double, then zeros, so a value keeps what it was written as
        Case{real(1234567890123456789.0), 22, 0, "   1234567890123456800"},
        Case{real(0.1234567890123456789), 20, 18, "0.123456789012345680"},
        Case{real(1.70851), 24, 15, "       1.708510000000000"}, Case{real(1e-20), 5, 2, " 0.00"},
        // exactly 7606068216287294 9999996502016, which reads back from ...295
        Case{real(76060682162872949999996502016.0), 30, 0, " 76060682162872950000000000000"},
        // too wide: asterisks
        Case{whole(12345), 4, 0, "****"}, Case{real(-1234.5), 6, 1, "******"},
        Case{real(9.995), 4, 2, "****"}, Case{whole(-10), 2, 0, "**"},
        Case{real(std::nan("")), 5, 1, "*****"},
        Case{real(std::numeric_limits<double>::infinity()), 3, 0, "***"}));

}  // namespace
}  // namespace zandor

namespace zandor {
namespace {

// The rule spelled out: the shortest decimal that reads back as the value when the field
// has room for all its decimals; otherwise the exact decimal expansion, digit by digit.
std::string referenceText(double value, int length, int decimals) {
  char buf[1200];
  {
    // Fewest significant digits (scientific), spelled out in fixed notation.
    auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
    const std::string sci(buf, r.ptr);
    const auto e = sci.find('e');
    std::string mantissa = sci.substr(0, e);
    mantissa.erase(std::remove(mantissa.begin(), mantissa.end(), '.'), mantissa.end());
    const long exponent = std::stol(sci.substr(e + 1));
    std::string shortest;
    if (exponent >= 0) {
      const auto whole = static_cast<std::size_t>(exponent) + 1;
      if (mantissa.size() <= whole) {
        shortest = mantissa + std::string(whole - mantissa.size(), '0');
      } else {
        shortest = mantissa.substr(0, whole) + "." + mantissa.substr(whole);
      }
    } else {
      shortest = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + mantissa;
    }
    const auto point = shortest.find('.');
    const std::size_t have = point == std::string::npos ? 0 : shortest.size() - point - 1;
    if (have <= static_cast<std::size_t>(decimals)) {
      if (point == std::string::npos && decimals > 0) shortest += '.';
      shortest += std::string(static_cast<std::size_t>(decimals) - have, '0');
      shortest.erase(0, std::min(shortest.find_first_not_of('0'), shortest.size()));
      if (shortest.empty() || shortest[0] == '.') shortest.insert(shortest.begin(), '0');
      const bool zero = shortest.find_first_not_of("0.") == std::string::npos;
      const std::string text = (value < 0 && !zero ? "-" : "") + shortest;
      if (text.size() > static_cast<std::size_t>(length))
        return std::string(static_cast<std::size_t>(length), '*');
      return std::string(static_cast<std::size_t>(length) - text.size(), ' ') + text;
    }
  }
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed, 1100);
  std::string fixed(buf, r.ptr);
  const auto point = fixed.find('.');
  std::string digits = fixed.substr(0, point) + fixed.substr(point + 1);
  const long intLen = static_cast<long>(point);
  const auto first = digits.find_first_not_of('0');
  if (first == std::string::npos) digits.assign(intLen + decimals + 1, '0');
  // cut after 16 significant digits
  const std::size_t cut = std::min(digits.size(), (first == std::string::npos ? 0 : first) + 16);
  for (std::size_t i = cut; i < digits.size(); ++i) digits[i] = '0';
  std::string kept = digits.substr(0, static_cast<std::size_t>(intLen + decimals));
  const std::string rest = digits.substr(static_cast<std::size_t>(intLen + decimals),
                                         cut > static_cast<std::size_t>(intLen + decimals)
                                             ? cut - static_cast<std::size_t>(intLen + decimals)
                                             : 0);
  bool up =
      !rest.empty() && (rest[0] >= '5' || (rest[0] == '4' && rest.size() > 1 &&
                                           rest.find_first_not_of('9', 1) == std::string::npos));
  if (up) {
    std::size_t i = kept.size();
    while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
    if (i == 0)
      kept.insert(kept.begin(), '1');
    else
      ++kept[i - 1];
  }
  std::string intPart = kept.substr(0, kept.size() - static_cast<std::size_t>(decimals));
  const std::string decPart = kept.substr(kept.size() - static_cast<std::size_t>(decimals));
  intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size()));
  if (intPart.empty()) intPart = "0";
  const bool zero = (intPart + decPart).find_first_not_of('0') == std::string::npos;
  std::string text = (value < 0 && !zero ? "-" : "") + intPart + (decimals ? "." + decPart : "");
  if (text.size() > static_cast<std::size_t>(length))
    return std::string(static_cast<std::size_t>(length), '*');
  return std::string(static_cast<std::size_t>(length) - text.size(), ' ') + text;
}

TEST(NumberFieldTextTest, AgreesWithTheExactExpansionOnManyValues) {
  std::uint64_t state = 88172645463325252ull;
  const auto next = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (int i = 0; i < 200000; ++i) {
    const int decimals = static_cast<int>(next() % 6);
    double value;
    switch (i % 4) {
      case 0:  // prices with a few decimals, the common case
        value =
            static_cast<double>(static_cast<std::int64_t>(next() % 20000001) - 10000000) / 1000.0;
        break;
      case 1:  // halves and near-halves
        value = (static_cast<double>(next() % 2000000) + 0.5) / std::pow(10.0, decimals);
        break;
      case 2:  // anything with a moderate exponent
        value = std::ldexp(static_cast<double>(next() >> 11), -static_cast<int>(next() % 70));
        break;
      default:  // whole numbers held as floating point, some beyond 16 digits
        value = i % 8 == 3
                    ? static_cast<double>(next() % 1000000000000ull)
                    : std::ldexp(static_cast<double>(next() >> 11), static_cast<int>(next() % 30));
        break;
    }
    const NumberFieldText out = numberToFieldText(Number{false, 0, value, 10, 2}, 40, decimals);
    ASSERT_EQ(out.text, referenceText(value, 40, decimals)) << value << " dec " << decimals;
  }
}

}  // namespace
}  // namespace zandor
