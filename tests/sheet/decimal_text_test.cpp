// Numbers read by our quick path must be the very doubles std::from_chars reads, bit for bit;
// everything else must be left to from_chars.
#include "sheet/decimal_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

namespace zandor::sheet {
namespace {

TEST(PlainDecimal, ReadsExactlyWhatFromCharsReads) {
  std::mt19937_64 random(11);
  long quick = 0;
  for (int i = 0; i < 300000; ++i) {
    std::string text;
    if (random() % 4 == 0) text += '-';
    const int digits = 1 + static_cast<int>(random() % 17);
    const int pointAt = static_cast<int>(random() % static_cast<unsigned>(digits + 2)) - 1;
    for (int d = 0; d < digits; ++d) {
      if (d == pointAt) text += '.';
      // Runs of nines and zeros, where rounding is closest to a tie, now and then.
      const unsigned kind = random() % 8;
      text += static_cast<char>('0' + (kind == 0 ? 9 : kind == 1 ? 0 : random() % 10));
    }
    if (pointAt == digits) text += '.';
    double expected;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), expected);
    const std::optional<double> got = plainDecimal(text);
    if (!got) continue;
    ++quick;
    ASSERT_EQ(ec, std::errc()) << text;
    ASSERT_EQ(end, text.data() + text.size()) << text;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(*got), std::bit_cast<std::uint64_t>(expected)) << text;
  }
  EXPECT_GT(quick, 200000);  // most of them were short enough
}

TEST(PlainDecimal, AnythingButPlainDigitsIsLeftToFromChars) {
  for (const char* text : {"", "-", ".", "-.", "1e5", "1E-3", "+1", " 1", "1 ", "1.2.3", "--1",
                           "0x10", "inf", "nan", "1,5", "1234567890123456", "0.0000000000000001"}) {
    EXPECT_FALSE(plainDecimal(text)) << text;
  }
  EXPECT_EQ(plainDecimal("-0").value(), 0.0);
  EXPECT_TRUE(std::signbit(plainDecimal("-0").value()));
  EXPECT_EQ(plainDecimal("13.49").value(), 13.49);
  EXPECT_EQ(plainDecimal(".5").value(), 0.5);
  EXPECT_EQ(plainDecimal("7.").value(), 7.0);
  EXPECT_EQ(plainDecimal("999999999999999").value(), 999999999999999.0);
}

}  // namespace
}  // namespace zandor::sheet
