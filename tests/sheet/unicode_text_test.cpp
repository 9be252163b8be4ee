// UTF-8 to UTF-16 steps over ASCII runs eight bytes at a time; whatever stands in or after
// such a step (two-, three- and four-byte sequences, malformed bytes) must come out the same.
#include "sheet/unicode_text.h"

#include <gtest/gtest.h>

#include <string>

namespace zandor::sheet {
namespace {

TEST(Utf8ToUtf16, EverySequenceAtEveryPositionAroundTheAsciiSteps) {
  struct Special {
    std::string utf8;
    std::u16string utf16;
  };
  const Special specials[] = {
      {"\xc3\xa4", u"\u00e4"},              // two bytes
      {"\xe2\x82\xac", u"\u20ac"},          // three bytes
      {"\xf0\x9f\x98\x80", u"\U0001F600"},  // four bytes: a surrogate pair
      {"\xff", u"\uFFFD"},                  // malformed
      {"\xc2\x80", u"\u0080"},              // the first and last two-byte sequences
      {"\xdf\xbf", u"\u07ff"},
      {"\xc0\x80", u"\uFFFD\uFFFD"},  // overlong: each byte malformed
      {"\xc3", u"\uFFFD"},            // a lead byte without its continuation
  };
  for (std::size_t length = 0; length <= 20; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      for (const Special& special : specials) {
        std::string utf8;
        std::u16string expected;
        for (std::size_t i = 0; i < length; ++i) {
          if (i == at) {
            utf8 += special.utf8;
            expected += special.utf16;
          }
          utf8 += static_cast<char>('A' + i % 26);
          expected += static_cast<char16_t>(u'A' + i % 26);
        }
        if (at == length) {
          utf8 += special.utf8;
          expected += special.utf16;
        }
        std::u16string out = u"vor";
        appendUtf8AsUtf16(out, utf8);
        EXPECT_EQ(out, u"vor" + expected) << length << " " << at;
        EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(expected)), expected);
      }
    }
  }
}

}  // namespace
}  // namespace zandor::sheet
