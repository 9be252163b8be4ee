#include "table/expression.h"

#include <gtest/gtest.h>

#include "base/date.h"
#include "fake_record.h"

namespace zandor {
namespace {

class ExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setDateFormat("dd.mm.yy");
    setEpoch(1950);
    record.add({"KUNDE", 'C', 10, 0}, Value::text("4711      "));
    record.add({"NAME1", 'C', 20, 0}, Value::text("M\xfcller  GmbH        "));
    record.add({"UMSATZ", 'N', 12, 2}, Value::real(1234.5, 2, 12));
    record.add({"GEBDAT", 'D', 8, 0}, Value::date(dayNumber(1961, 3, 7)));
    record.add({"AKTIV", 'L', 1, 0}, Value::logical(true));
    record.add({"PLZ", 'C', 5, 0}, Value::text("     "));
    record.recno = 17;
  }
  Value eval(const std::string& text) { return Expression::compile(text, record).evaluate(record); }
  std::string str(const std::string& text) {
    Value v = eval(text);
    EXPECT_TRUE(v.isText()) << text;
    return v.isText() ? v.asText() : std::string();
  }
  double num(const std::string& text) {
    Value v = eval(text);
    EXPECT_TRUE(v.isNumber()) << text;
    return v.isNumber() ? v.asNumber().toDouble() : -999;
  }
  bool yes(const std::string& text) {
    Value v = eval(text);
    EXPECT_TRUE(v.isLogical()) << text;
    return v.isLogical() && v.asLogical();
  }
  test::FakeRecord record;
};

TEST_F(ExpressionTest, FieldsWithAndWithoutQualifiers) {
  EXPECT_EQ(str("KUNDE"), "4711      ");
  EXPECT_EQ(str("kunde"), "4711      ");
  EXPECT_EQ(str("kunden->Kunde"), "4711      ");
  EXPECT_EQ(str("OTHER -> KUNDE"), "4711      ");
  EXPECT_EQ(str("kunden.kunde"), "4711      ");
  EXPECT_DOUBLE_EQ(num("UMSATZ"), 1234.5);
  EXPECT_TRUE(yes("AKTIV"));
}

TEST_F(ExpressionTest, StringOperators) {
  EXPECT_EQ(str("KUNDE + PLZ"), "4711           ");
  EXPECT_EQ(str("KUNDE - PLZ"), "4711           ");
  EXPECT_EQ(str("KUNDE - 'x'"), "4711x      ");
  EXPECT_EQ(str("UPPER(NAME1)"), "M\xfcLLER  GMBH        ");  // only a-z change
  EXPECT_EQ(str("LOWER('AbC')"), "abc");
  EXPECT_EQ(str("TRIM(KUNDE)+'|'"), "4711|");
  EXPECT_EQ(str("RTRIM(KUNDE)"), "4711");
  EXPECT_EQ(str("LTRIM('  a ')"), "a ");
  EXPECT_EQ(str("ALLTRIM('  a  ')"), "a");
  EXPECT_EQ(str("LEFT(KUNDE, 2) + RIGHT('abc', 2)"), "47bc");
  EXPECT_EQ(str("SUBSTR('abcdef', 2, 3)"), "bcd");
  EXPECT_EQ(str("SUBSTR('abcdef', 4)"), "def");
  EXPECT_EQ(str("SUBSTR('abc', 9)"), "");
  EXPECT_EQ(str("PADR('ab', 4) + '|' + PADL('ab', 4, '0')"), "ab  |00ab");
  EXPECT_EQ(str("SPACE(2) + REPLICATE('ab', 3)"), "  ababab");
  EXPECT_DOUBLE_EQ(num("LEN(NAME1)"), 20);
  EXPECT_DOUBLE_EQ(num("AT('ll', 'hello')"), 3);
}

TEST_F(ExpressionTest, NumbersAndConversions) {
  EXPECT_DOUBLE_EQ(num("1 + 2 * 3"), 7);
  EXPECT_DOUBLE_EQ(num("(1 + 2) * 3"), 9);
  EXPECT_DOUBLE_EQ(num("-UMSATZ + 0.5"), -1234);
  EXPECT_DOUBLE_EQ(num("2 ** 3 + 2 ^ 2"), 12);
  EXPECT_DOUBLE_EQ(num("7 % 4"), 3);
  EXPECT_DOUBLE_EQ(num("7 / 2"), 3.5);
  EXPECT_EQ(str("STR(UMSATZ)"), "     1234.50");  // the field's width and decimals
  EXPECT_EQ(str("STR(UMSATZ, 8)"), "    1235");
  EXPECT_EQ(str("STR(UMSATZ, 8, 1)"), "  1234.5");
  EXPECT_EQ(str("STR(123456, 3)"), "***");
  EXPECT_EQ(str("STRZERO(42, 5)"), "00042");
  EXPECT_DOUBLE_EQ(num("VAL('12.5abc')"), 12.5);
  EXPECT_DOUBLE_EQ(num("ABS(-3) + INT(2.7) + ROUND(2.345, 2)"), 7.35);
  EXPECT_DOUBLE_EQ(num("MAX(3, 9) - MIN(3, 9)"), 6);
  EXPECT_DOUBLE_EQ(num("RECNO()"), 17);
  EXPECT_EQ(str("TRANSFORM(UMSATZ, '99999.9')"), " 1234.5");
  EXPECT_EQ(str("TRANSFORM('abc', '@!')"), "ABC");
  EXPECT_EQ(str("IIF(AKTIV, 'J', 'N')"), "J");
}

TEST_F(ExpressionTest, Dates) {
  EXPECT_EQ(str("DTOS(GEBDAT)"), "19610307");
  EXPECT_EQ(str("DTOC(GEBDAT)"), "07.03.61");
  EXPECT_EQ(str("DTOS(GEBDAT + 30)"), "19610406");
  EXPECT_DOUBLE_EQ(num("YEAR(GEBDAT) * 10000 + MONTH(GEBDAT) * 100 + DAY(GEBDAT)"), 19610307);
  EXPECT_TRUE(yes("CTOD('07.03.61') = GEBDAT"));
  EXPECT_TRUE(yes("STOD('19610307') == GEBDAT"));
  EXPECT_TRUE(yes("EMPTY(CTOD(''))"));
  EXPECT_DOUBLE_EQ(num("GEBDAT - STOD('19610301')"), 6);
  EXPECT_TRUE(eval("DATE()").isDate());
}

TEST_F(ExpressionTest, LogicAndComparisons) {
  EXPECT_TRUE(yes(".T. .AND. .NOT. .F."));
  EXPECT_TRUE(yes("!.F. .and. (.f. .or. AKTIV)"));
  EXPECT_FALSE(yes(".NOT. AKTIV"));
  EXPECT_TRUE(yes("KUNDE = '47'"));    // begins with
  EXPECT_FALSE(yes("KUNDE == '47'"));  // exact
  EXPECT_TRUE(yes("TRIM(KUNDE) == '4711'"));
  EXPECT_TRUE(yes("KUNDE <> '48' .AND. KUNDE # '48' .AND. KUNDE != '48'"));
  EXPECT_TRUE(yes("UMSATZ > 1000 .AND. UMSATZ <= 1234.5 .AND. UMSATZ >= 1234.5"));
  EXPECT_TRUE(yes("'ll' $ 'hello'"));
  EXPECT_TRUE(yes("EMPTY(PLZ) .AND. !EMPTY(KUNDE)"));
  EXPECT_TRUE(yes("TRIM(UPPER(NAME1)) = 'M'"));
  EXPECT_FALSE(yes("DELETED()"));
  record.isDeleted = true;
  EXPECT_TRUE(yes("DELETED()"));
  EXPECT_TRUE(yes("{^1961-03-07} == GEBDAT"));
}

TEST_F(ExpressionTest, CompiledOnceEvaluatedPerRecord) {
  Expression e = Expression::compile("UPPER(KUNDE) + STR(UMSATZ, 6)", record);
  EXPECT_EQ(e.evaluate(record).asText(), "4711        1235");
  record.set(0, Value::text("ab        "));
  record.set(2, Value::integer(7));
  EXPECT_EQ(e.evaluate(record).asText(), "AB             7");
}

TEST_F(ExpressionTest, BadExpressionsAreErrorsNotCrashes) {
  for (const char* bad : {"", "   ", "KUNDE +", "UPPER(KUNDE", "NOSUCHFIELD", "NOFUNC(KUNDE)",
                          "UPPER()", "SUBSTR(KUNDE)", "'open", "KUNDE ) (", "1 2", "@",
                          "IIF(.T., 1)", "{^2024-1}", "a->", "((((((((((", "KUNDE->"}) {
    EXPECT_THROW(Expression::compile(bad, record), ExpressionError) << bad;
  }
  std::string deep(5000, '(');
  EXPECT_THROW(Expression::compile(deep + "1", record), ExpressionError);
  // Type errors surface when evaluating.
  for (const char* bad : {"KUNDE + 1", "UPPER(UMSATZ)", "DTOS(KUNDE)", "AKTIV .AND. 1", "1 / 0",
                          "IIF(KUNDE, 1, 2)", "KUNDE < 3", "-KUNDE"}) {
    Expression e = Expression::compile(bad, record);
    EXPECT_THROW(e.evaluate(record), ExpressionError) << bad;
  }
}

}  // namespace
}  // namespace zandor
