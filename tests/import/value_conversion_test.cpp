#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "app/startup.h"
#include "base/date.h"
#include "base/encoding.h"
#include "import/import_log.h"
#include "import/value_conversion.h"
#include "state/app_state.h"
#include "support/test_support.h"

namespace zandor {
namespace {

class Opaque : public AutomationObject {
 public:
  std::string className() const override { return "Range"; }
};

class ValueConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setProgramDateSettings();
    log_ = std::make_unique<ImportLog>(dir_.file("run.log"));
  }

  Value convert(const Value& v, const std::string& type, int length = 0, long row = 7) {
    return TYPANPASSEN(state_, v, type, length, *log_, row);
  }

  // The log as UTF-8, so that expectations can be written plainly.
  std::string logText() const { return cp1252ToUtf8(test::readBytes(dir_.file("run.log"))); }

  test::TempDir dir_;
  AppState state_;
  std::unique_ptr<ImportLog> log_;
};

TEST_F(ValueConversionTest, EmptyCellStaysEmptyForEveryTargetWithoutLog) {
  for (const char* type : {"C", "N", "D", "L", "M", "X"}) {
    EXPECT_TRUE(convert(Value(), type, 10).isNil()) << type;
  }
  EXPECT_EQ(state_.nErrors, 0);
  EXPECT_EQ(logText(), "");
}

TEST_F(ValueConversionTest, NumbersBecomeTextByCuttingTheFraction) {
  EXPECT_EQ(convert(Value::integer(10001), "C", 10), Value::text("10001"));
  EXPECT_EQ(convert(Value::real(10001.75), "C", 10), Value::text("10001"));
  EXPECT_EQ(convert(Value::real(12.99), "C"), Value::text("12"));
  EXPECT_EQ(convert(Value::real(-3.7), "C"), Value::text("-3"));
  EXPECT_EQ(convert(Value::real(-0.5), "C"), Value::text("0"));
  EXPECT_EQ(convert(Value::integer(-42), "C"), Value::text("-42"));
  EXPECT_EQ(state_.nErrors, 0);
}

TEST_F(ValueConversionTest, NumbersOfUpToTwentyDigitsComeOutAsPlainDigits) {
  EXPECT_EQ(convert(Value::integer(9223372036854775807LL), "C"),
            Value::text("9223372036854775807"));
  EXPECT_EQ(convert(Value::real(1e19), "C"), Value::text("10000000000000000000"));
  EXPECT_EQ(convert(Value::real(18446744073709551616.0), "C"), Value::text("18446744073709551616"));
  EXPECT_EQ(convert(Value::real(-12345678901234567890.0), "C"),
            Value::text("-12345678901234567168"));
  EXPECT_EQ(convert(Value::real(123456789012345.67), "C"), Value::text("123456789012345"));
}

TEST_F(ValueConversionTest, DatesAndLogicalsBecomeText) {
  EXPECT_EQ(convert(Value::date(dayNumber(2012, 3, 15), 37800000), "C"), Value::text("15.03.12"));
  EXPECT_EQ(convert(Value::logical(true), "C"), Value::text("Ja"));
  EXPECT_EQ(convert(Value::logical(false), "C"), Value::text("Nein"));
  EXPECT_EQ(state_.nErrors, 0);
}

TEST_F(ValueConversionTest, TooLongTextsAreCutAndLoggedWithTheWholeText) {
  const std::string text35 =
      "Hauptstra\xdf"
      "e 12, Hinterhaus links 3.";
  ASSERT_EQ(text35.size(), 35u);
  EXPECT_EQ(convert(Value::text(text35), "C", 30, 12), Value::text(text35.substr(0, 30)));
  EXPECT_EQ(state_.nErrors, 1);
  EXPECT_EQ(logText(), "Zeile: 12 - Datenlängenfehler(35->30): " + cp1252ToUtf8(text35));

  // A date of 8 characters for a field of 6.
  EXPECT_EQ(convert(Value::date(dayNumber(2012, 3, 15)), "C", 6, 3), Value::text("15.03."));
  EXPECT_EQ(state_.nErrors, 2);
  EXPECT_NE(logText().find("\r\nZeile: 3 - Datenlängenfehler(8->6): 15.03.12"), std::string::npos);
}

TEST_F(ValueConversionTest, KeysWithoutLengthAreNeverShortenedAndTextIsKeptAsIs) {
  const std::string longKey(300, 'K');
  EXPECT_EQ(convert(Value::text(longKey), "C", 0), Value::text(longKey));
  EXPECT_EQ(convert(Value::text("  Ab c "), "C", 7), Value::text("  Ab c "));
  EXPECT_EQ(state_.nErrors, 0);
}

TEST_F(ValueConversionTest, ListsAndObjectsCannotBecomeText) {
  EXPECT_EQ(convert(Value::list({Value::integer(1)}), "C", 10, 5), Value::text(""));
  EXPECT_EQ(convert(Value::object(std::make_shared<Opaque>()), "C", 10, 6), Value::text(""));
  EXPECT_EQ(state_.nErrors, 2);
  EXPECT_EQ(logText(),
            "Zeile: 5 - Umwandlung unmöglich 1: C A\r\nZeile: 6 - Umwandlung unmöglich 1: C O");
}

TEST_F(ValueConversionTest, MatchingTypesPassUnchanged) {
  const Value number = Value::real(123456.789, 3);
  EXPECT_EQ(convert(number, "N", 4).asNumber().real, 123456.789);
  const Value dateTime = Value::date(dayNumber(2012, 3, 15), 1000);
  EXPECT_EQ(convert(dateTime, "D"), dateTime);
  EXPECT_EQ(convert(Value::logical(false), "L"), Value::logical(false));
  EXPECT_EQ(state_.nErrors, 0);
}

TEST_F(ValueConversionTest, TextsAndDatesBecomeNumbersSilently) {
  EXPECT_EQ(convert(Value::text("12.50"), "N").asNumber().toDouble(), 12.5);
  EXPECT_EQ(convert(Value::text("12,50"), "N").asNumber().toDouble(), 12.0);
  EXPECT_EQ(convert(Value::text("1.234,56"), "N").asNumber().toDouble(), 1.234);
  EXPECT_EQ(convert(Value::text("abc"), "N").asNumber().toDouble(), 0.0);
  EXPECT_EQ(convert(Value::text(" \t-7kg "), "N").asNumber().toDouble(), -7.0);
  EXPECT_EQ(convert(Value::date(dayNumber(2012, 3, 15), 5000), "N"), Value::integer(20120315));
  EXPECT_EQ(state_.nErrors, 0);
  EXPECT_EQ(logText(), "");
}

TEST_F(ValueConversionTest, LogicalsListsAndObjectsCannotBecomeNumbers) {
  EXPECT_EQ(convert(Value::logical(true), "N", 10, 9), Value::integer(0));
  EXPECT_EQ(state_.nErrors, 1);
  EXPECT_EQ(logText(), "Zeile: 9 - Umwandlung unmöglich 2: N L");
}

TEST_F(ValueConversionTest, TextsAreReadAsDatesWithTheEpoch) {
  const Value expected = Value::date(dayNumber(2012, 3, 15));
  for (const char* text :
       {"15.03.2012", "15/3/2012", "15-03-2012", "15.03.2012 10:30", "15.3.12"}) {
    EXPECT_EQ(convert(Value::text(text), "D"), expected) << text;
  }
  EXPECT_EQ(convert(Value::text("01.02.50"), "D"), Value::date(dayNumber(1950, 2, 1)));
  EXPECT_EQ(convert(Value::text("01.02.49"), "D"), Value::date(dayNumber(2049, 2, 1)));
  for (const char* text : {"2012-03-15", "", "31.02.2012", "irgendwann"}) {
    EXPECT_EQ(convert(Value::text(text), "D"), Value::date(0)) << text;
  }
  EXPECT_EQ(state_.nErrors, 0);
  EXPECT_EQ(logText(), "");
}

TEST_F(ValueConversionTest, OtherValuesForDatesGiveTheFirstOfJanuary1900) {
  EXPECT_EQ(convert(Value::integer(20120315), "D", 8, 4), Value::date(dayNumber(1900, 1, 1)));
  EXPECT_EQ(convert(Value::logical(true), "D", 8, 5), Value::date(dayNumber(1900, 1, 1)));
  EXPECT_EQ(state_.nErrors, 2);
  EXPECT_EQ(logText(),
            "Zeile: 4 - Umwandlung unmöglich 2: D N\r\nZeile: 5 - Umwandlung unmöglich 2: D L");
}

TEST_F(ValueConversionTest, TruthWordsAreReadTrueListFirst) {
  for (const char* text : {"ja", "Wahr", "true", "1", ".t.", "Richtig", "10", "  T", "Jein"}) {
    EXPECT_EQ(convert(Value::text(text), "L"), Value::logical(true)) << text;
  }
  for (const char* text : {"nein", "falsch", "0", ".f.", "Unwahr", "01", "\r\nF", "Nope"}) {
    EXPECT_EQ(convert(Value::text(text), "L"), Value::logical(false)) << text;
  }
  EXPECT_EQ(state_.nErrors, 0);
}

TEST_F(ValueConversionTest, TextsWithoutTruthValueAreLoggedOnTwoLines) {
  for (const char* text : {"x", "-1", "Yes", "   "}) {
    EXPECT_EQ(convert(Value::text(text), "L", 1, 3), Value::logical(false)) << text;
  }
  EXPECT_EQ(state_.nErrors, 4);
  EXPECT_EQ(
      logText(),
      "Zeile: 3 - x enthält keinen sinnvollen Wahrheitswert\r\nInhalt wird auf .f. gesetzt\r\n"
      "Zeile: 3 - -1 enthält keinen sinnvollen Wahrheitswert\r\nInhalt wird auf .f. gesetzt\r\n"
      "Zeile: 3 - Yes enthält keinen sinnvollen Wahrheitswert\r\nInhalt wird auf .f. gesetzt\r\n"
      "Zeile: 3 -  enthält keinen sinnvollen Wahrheitswert\r\nInhalt wird auf .f. gesetzt");
}

TEST_F(ValueConversionTest, NumbersAreTruthValuesAndDatesAreNot) {
  EXPECT_EQ(convert(Value::integer(0), "L"), Value::logical(false));
  EXPECT_EQ(convert(Value::real(-0.25), "L"), Value::logical(true));
  EXPECT_EQ(state_.nErrors, 0);
  EXPECT_EQ(convert(Value::date(dayNumber(2012, 3, 15)), "L", 1, 8), Value::logical(false));
  EXPECT_EQ(state_.nErrors, 1);
  EXPECT_EQ(logText(), "Zeile: 8 - Umwandlung unmöglich 3: L D\r\nInhalt wird auf .f. gesetzt");
}

TEST_F(ValueConversionTest, MemoAndUnknownTypesPassEverythingUnchanged) {
  const std::string longText(500, 'm');
  EXPECT_EQ(convert(Value::text(longText), "M", 10), Value::text(longText));
  EXPECT_EQ(convert(Value::real(1.5), "M", 10), Value::real(1.5));
  EXPECT_EQ(convert(Value::logical(true), "Q", 1), Value::logical(true));
  EXPECT_EQ(state_.nErrors, 0);
}

TEST(WholeNumberText, RefusesWhatHasNoDigits) {
  EXPECT_FALSE(wholeNumberText(Number{false, 0, std::numeric_limits<double>::infinity()}));
  EXPECT_FALSE(wholeNumberText(Number{false, 0, std::nan("")}));
}

// The conversion made ahead on the reading thread must give exactly what TYPANPASSEN gives
// wherever TYPANPASSEN writes nothing to the log, and nothing wherever it writes something.
TEST_F(ValueConversionTest, QuietConversionAgreesWithTheLoggedOneOrDeclines) {
  const std::vector<Value> values = {
      Value(),
      Value::text("Hauptstra\xdf"
                  "e 12"),
      Value::text("  17.5 kg"),
      Value::text("31.12.2024"),
      Value::text("kein Datum"),
      Value::text("Ja"),
      Value::text("vielleicht"),
      Value::text(std::string(40, 'x')),
      Value::integer(10001),
      Value::real(-3.7),
      Value::real(std::numeric_limits<double>::infinity()),
      Value::date(dayNumber(2012, 3, 15)),
      Value::date(0),
      Value::logical(true),
      Value::list({Value::integer(1)}),
      Value::object(std::make_shared<Opaque>()),
  };
  int declined = 0, agreed = 0;
  for (const char* type : {"C", "N", "D", "L", "M", ""}) {
    for (int length : {0, 5, 30}) {
      for (const Value& v : values) {
        const int errorsBefore = state_.nErrors;
        const Value logged = convert(v, type, length);
        const bool wroteLog = state_.nErrors != errorsBefore;
        const std::optional<Value> quiet = convertQuietly(v, type, length);
        if (wroteLog) {
          EXPECT_FALSE(quiet) << type << " " << length << " " << v.type();
          ++declined;
        } else {
          ASSERT_TRUE(quiet) << type << " " << length << " " << v.type();
          EXPECT_EQ(*quiet, logged) << type << " " << length << " " << v.type();
          ++agreed;
        }
      }
    }
  }
  // Both kinds were met, so neither branch of the comparison went untested.
  EXPECT_GT(declined, 10);
  EXPECT_GT(agreed, 10);
}

}  // namespace
}  // namespace zandor
