#include <gtest/gtest.h>

#include "base/date.h"

namespace zandor {
namespace {

class DateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setDateFormat("dd.mm.yy");
    setEpoch(1950);
  }
};

TEST_F(DateTest, DayNumbersMatchTheCalendar) {
  EXPECT_EQ(dayNumber(1899, 12, 30), kDay18991230);
  EXPECT_EQ(dayNumber(2000, 1, 1), 2451545);
  EXPECT_EQ(dayNumber(2013, 1, 22) - dayNumber(2013, 1, 1), 21);
  for (int day : {1721426, 2415019, 2451545, 2460000, 5373484}) {
    const YearMonthDay ymd = calendarDate(day);
    EXPECT_EQ(dayNumber(ymd.year, ymd.month, ymd.day), day) << day;
  }
  EXPECT_EQ(dayNumber(2012, 2, 29) + 1, dayNumber(2012, 3, 1));
  EXPECT_EQ(dayNumber(2100, 2, 29), 0);
  EXPECT_EQ(dayNumber(2000, 2, 29) + 1, dayNumber(2000, 3, 1));
  EXPECT_EQ(dayNumber(2012, 13, 1), 0);
  EXPECT_EQ(dayNumber(0, 1, 1), 0);
}

TEST_F(DateTest, TwoDigitYearsAreReadByTheEpoch) {
  EXPECT_EQ(textToDate("22.01.13"), dayNumber(2013, 1, 22));
  EXPECT_EQ(textToDate("01.02.49"), dayNumber(2049, 2, 1));
  EXPECT_EQ(textToDate("01.02.50"), dayNumber(1950, 2, 1));
  EXPECT_EQ(textToDate("01.02.00"), dayNumber(2000, 2, 1));
  EXPECT_EQ(textToDate("31.12.99"), dayNumber(1999, 12, 31));
}

TEST_F(DateTest, FourDigitYearsAndSeparatorsAreRead) {
  const int expected = dayNumber(2012, 3, 15);
  EXPECT_EQ(textToDate("15.03.2012"), expected);
  EXPECT_EQ(textToDate("15/3/2012"), expected);
  EXPECT_EQ(textToDate("15-03-2012"), expected);
  EXPECT_EQ(textToDate("15.03.2012 10:30"), expected);
  EXPECT_EQ(textToDate("  15 . 03 . 2012"), expected);
  EXPECT_EQ(textToDate("x15..03//2012"), expected);
  EXPECT_EQ(textToDate("0049.02.01"), 0);
  EXPECT_EQ(textToDate("01.02.0049"), dayNumber(2049, 2, 1));
}

TEST_F(DateTest, InvalidTextsGiveTheEmptyDate) {
  EXPECT_EQ(textToDate(""), 0);
  EXPECT_EQ(textToDate("2012-03-15"), 0);
  EXPECT_EQ(textToDate("31.02.2012"), 0);
  EXPECT_EQ(textToDate("29.02.2013"), 0);
  EXPECT_EQ(textToDate("abc"), 0);
  EXPECT_EQ(textToDate("15.03"), 0);
  EXPECT_EQ(textToDate("99999999999999999999.1.1"), 0);
  EXPECT_EQ(textToDate("29.02.2012"), dayNumber(2012, 2, 29));
}

TEST_F(DateTest, DatesAreWrittenInTheDateFormat) {
  EXPECT_EQ(dateToText(dayNumber(2013, 1, 22)), "22.01.13");
  EXPECT_EQ(dateToText(dayNumber(1950, 2, 1)), "01.02.50");
  EXPECT_EQ(dateToText(0), "  .  .  ");
  setDateFormat("dd.mm.yyyy");
  EXPECT_EQ(dateToText(dayNumber(2013, 1, 22)), "22.01.2013");
  setDateFormat("mm/dd/yy");
  EXPECT_EQ(dateToText(dayNumber(2013, 1, 22)), "01/22/13");
  EXPECT_EQ(textToDate("01/22/13"), dayNumber(2013, 1, 22));
}

TEST_F(DateTest, EightDigitFormRoundTrips) {
  EXPECT_EQ(dateToDigits(dayNumber(2012, 3, 15)), "20120315");
  EXPECT_EQ(dateToDigits(0), "        ");
  EXPECT_EQ(digitsToDate("20120315"), dayNumber(2012, 3, 15));
  EXPECT_EQ(digitsToDate("        "), 0);
  EXPECT_EQ(digitsToDate("20120230"), 0);
  EXPECT_EQ(digitsToDate("2012031"), 0);
}

TEST_F(DateTest, TimeOfDay) {
  EXPECT_EQ(timeToText(0), "00:00:00");
  EXPECT_EQ(timeToText((10 * 3600 + 30 * 60 + 5) * 1000 + 999), "10:30:05");
}

}  // namespace
}  // namespace zandor
