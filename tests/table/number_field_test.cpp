#include "table/number_field.h"

#include <gtest/gtest.h>

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
        // more digits than a double holds: 16 significant digits, then zeros
        Case{real(1234567890123456789.0), 22, 0, "   1234567890123456000"},
        Case{real(0.1234567890123456789), 20, 18, "0.123456789012345600"},
        Case{real(1e-20), 5, 2, " 0.00"},
        // too wide: asterisks
        Case{whole(12345), 4, 0, "****"}, Case{real(-1234.5), 6, 1, "******"},
        Case{real(9.995), 4, 2, "****"}, Case{whole(-10), 2, 0, "**"},
        Case{real(std::nan("")), 5, 1, "*****"},
        Case{real(std::numeric_limits<double>::infinity()), 3, 0, "***"}));

}  // namespace
}  // namespace zandor
