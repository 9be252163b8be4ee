#include <gtest/gtest.h>

#include "base/encoding.h"
#include "base/number_text.h"
#include "base/text.h"
#include "base/value.h"

namespace zandor {
namespace {

TEST(TextRules, TrimmingRemovesControlsInFrontButOnlyBlanksBehind) {
  EXPECT_EQ(trimmed(" \t\r\n abc \t "), "abc \t");
  EXPECT_EQ(trimmed("abc   "), "abc");
  EXPECT_EQ(trimmed(" \t\r\n"), "");
  EXPECT_EQ(trimRight("  a b  "), "  a b");
  EXPECT_EQ(trimBlanks("  a b  "), "a b");
}

TEST(TextRules, UpperCaseTouchesOnlyAtoZ) {
  EXPECT_EQ(upperAZ("abc xyz \xe4\xf6\xfc \xdf 1"), "ABC XYZ \xe4\xf6\xfc \xdf 1");
  EXPECT_TRUE(equalsIgnoreCaseAZ("Kunde", "KUNDE"));
  EXPECT_FALSE(equalsIgnoreCaseAZ("\xe4", "\xc4"));
  EXPECT_FALSE(equalsIgnoreCaseAZ("KUNDE", "KUNDEN"));
}

TEST(TextRules, PrefixAndExactComparisonDiffer) {
  EXPECT_TRUE(beginsWith("1000", "100"));
  EXPECT_TRUE(beginsWith("100", ""));
  EXPECT_FALSE(beginsWith("10", "100"));
  EXPECT_NE(std::string("1000"), std::string("100"));
  EXPECT_EQ(padRight("ABCDEFGHIJ", 5), "ABCDE");
  EXPECT_EQ(padRight("AB", 5), "AB   ");
  EXPECT_EQ(padLeft("7", 3), "  7");
}

TEST(ValueTest, TypeCodes) {
  EXPECT_EQ(Value().type(), 'U');
  EXPECT_EQ(Value::text("x").type(), 'C');
  EXPECT_EQ(Value::integer(1).type(), 'N');
  EXPECT_EQ(Value::real(1.5).type(), 'N');
  EXPECT_EQ(Value::date(2451545, 1000).type(), 'D');
  EXPECT_EQ(Value::logical(true).type(), 'L');
  EXPECT_EQ(Value::list({}).type(), 'A');
  EXPECT_EQ(Value::object(nullptr).type(), 'O');
}

TEST(ValueTest, EmptyValueRule) {
  EXPECT_TRUE(Value().isEmpty());
  EXPECT_TRUE(Value::text("").isEmpty());
  EXPECT_TRUE(Value::text(" \t\r\n ").isEmpty());
  EXPECT_FALSE(Value::text(" x").isEmpty());
  EXPECT_TRUE(Value::integer(0).isEmpty());
  EXPECT_TRUE(Value::real(0.0).isEmpty());
  EXPECT_FALSE(Value::real(0.001).isEmpty());
  EXPECT_TRUE(Value::logical(false).isEmpty());
  EXPECT_FALSE(Value::logical(true).isEmpty());
  EXPECT_TRUE(Value::date(0, 0).isEmpty());
  EXPECT_FALSE(Value::date(0, 1).isEmpty());  // a time alone is not empty
  EXPECT_FALSE(Value::date(2451545).isEmpty());
  EXPECT_FALSE(Value::list({Value()}).isEmpty());
}

TEST(ValueTest, NumbersCompareByValue) {
  EXPECT_EQ(Value::integer(12), Value::real(12.0));
  EXPECT_NE(Value::integer(12), Value::text("12"));
  EXPECT_EQ(Value::list({Value::integer(1), Value::text("a")}),
            Value::list({Value::integer(1), Value::text("a")}));
}

TEST(NumberText, LeadingNumbersAreReadUpToTheFirstOtherCharacter) {
  EXPECT_EQ(parseLeadingNumber("12abc").integer, 12);
  EXPECT_TRUE(parseLeadingNumber("12abc").isInteger);
  EXPECT_EQ(parseLeadingNumber("abc").integer, 0);
  EXPECT_EQ(parseLeadingNumber("").toDouble(), 0.0);
  EXPECT_EQ(parseLeadingNumber("  -3").integer, -3);
  EXPECT_DOUBLE_EQ(parseLeadingNumber("12.50").toDouble(), 12.5);
  EXPECT_EQ(parseLeadingNumber("12.50").decimals, 2);
  EXPECT_DOUBLE_EQ(parseLeadingNumber("12,50").toDouble(), 12.0);
  EXPECT_DOUBLE_EQ(parseLeadingNumber("1.234,56").toDouble(), 1.234);
  EXPECT_DOUBLE_EQ(parseLeadingNumber("1.2.3").toDouble(), 1.2);
  EXPECT_DOUBLE_EQ(parseLeadingNumber("12345678901234567890").toDouble(), 12345678901234567890.0);
}

TEST(NumberText, PlainTextHasNoBlanksAndNoNeedlessDecimals) {
  EXPECT_EQ(numberToPlainText(Number{}), "0");
  EXPECT_EQ(numberToPlainText(parseLeadingNumber("1")), "1");
  EXPECT_EQ(numberToPlainText(Number{false, 0, 12.5, 10, 2}), "12.5");
  EXPECT_EQ(numberToPlainText(Number{false, 0, 3.0, 10, 2}), "3");
  EXPECT_EQ(numberToPlainText(Number{false, 0, -0.0, 10, 2}), "0");
  EXPECT_EQ(numberToPlainText(Number{true, -42, 0, 10, 0}), "-42");
  EXPECT_EQ(numberToPlainText(Number{false, 0, 1e20, 20, 2}), "100000000000000000000");
}

TEST(Encoding, Cp1252RoundTripsThroughUtf8AndUtf16) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
  EXPECT_EQ(utf16ToCp1252(cp1252ToUtf16(all)), all);
  EXPECT_EQ(cp1252ToUtf8("Gr\xfc\xdf \x80"), "Grüß €");
  EXPECT_EQ(utf8ToCp1252("Datenlängenfehler"), "Datenl\xe4ngenfehler");
}

// The conversions step over runs of ASCII several units at a time; a character outside
// ASCII anywhere in or after such a step must still be converted as one.
TEST(Encoding, NonAsciiAtEveryPositionAroundTheAsciiSteps) {
  // ä, €, ÿ, an unassigned byte, and † (U+2020: only its high byte says it is no ASCII).
  const std::string cp1252Specials[] = {"\xe4", "\x80", "\xff", "\x81", "\x86"};
  for (std::size_t length = 0; length <= 20; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      for (const std::string& special : cp1252Specials) {
        std::string text(length, 'a');
        for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
        text.insert(at, special);
        const std::u16string wide = cp1252ToUtf16(text);
        ASSERT_EQ(wide.size(), text.size());
        EXPECT_EQ(wide[at], cp1252ToUtf16(special)[0]) << length << " " << at;
        EXPECT_EQ(utf16ToCp1252(wide), text) << length << " " << at;
        EXPECT_EQ(cp1252ToUtf8(utf8ToCp1252(cp1252ToUtf8(text))), cp1252ToUtf8(text));
      }
    }
  }
}

TEST(Encoding, CharactersOutside1252BecomeQuestionMarks) {
  EXPECT_EQ(utf8ToCp1252("Ω→"), "??");
  EXPECT_EQ(utf8ToCp1252("a\xff"
                         "b"),
            "a?b");                           // invalid lead byte
  EXPECT_EQ(utf8ToCp1252("a\xc3"), "a?");     // cut sequence
  EXPECT_EQ(utf8ToCp1252("\xc0\xaf"), "??");  // overlong
  EXPECT_EQ(utf8ToCp1252("😀"), "?");
  EXPECT_EQ(utf16ToCp1252(u"a\U0001F600b"), "a?b");  // surrogate pair is one character
  EXPECT_EQ(utf16ToCp1252(std::u16string(1, char16_t(0xD800))), "?");
}

// Finds what a chosen file name would lose: every 1252 character passes, the first other
// one is named, however many bytes it takes.
TEST(Encoding, FirstCharacterOutside1252) {
  EXPECT_EQ(firstCharacterOutsideCp1252(cp1252ToUtf8(
                "M\xe4rz \x80\x8a\x9e\x9f\xff ? \x81\x9d.xlsx")),  // unassigned bytes round-trip
            0u);
  EXPECT_EQ(firstCharacterOutsideCp1252(""), 0u);
  EXPECT_EQ(firstCharacterOutsideCp1252("Łódź"), U'Ł');
  EXPECT_EQ(firstCharacterOutsideCp1252("Köln→Łódź"), U'→');
  EXPECT_EQ(firstCharacterOutsideCp1252("Ordner/😀.csv"), U'😀');
  EXPECT_EQ(firstCharacterOutsideCp1252("a\xc3"), 0xFFFDu);  // cut sequence
  EXPECT_EQ(firstCharacterOutsideCp1252("\xc0\xaf"), 0xFFFDu);
}

}  // namespace
}  // namespace zandor
