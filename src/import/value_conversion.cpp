#include "import/value_conversion.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "base/date.h"
#include "base/number_text.h"
#include "base/text.h"
#include "import/import_log.h"
#include "state/app_state.h"

namespace zandor {

namespace {

std::string rowPrefix(long row) {
  return "Zeile: " + std::to_string(row) + " - ";
}

std::string impossible(long row, int which, const std::string& target, const Value& value) {
  return rowPrefix(row) + "Umwandlung unm\xf6glich " + std::to_string(which) + ": " + target + " " +
         value.type();
}

// Where a conversion's problems go: one log entry and one more error each, or, for a
// conversion made ahead (convertQuietly), only the note that there was one.
struct Problems {
  AppState* state = nullptr;
  ImportLog* log = nullptr;
  bool any = false;
};

void report(Problems& problems, const std::string& entry) {
  problems.any = true;
  if (!problems.log) return;
  problems.log->add(entry);
  ++problems.state->nErrors;
}

bool beginsWithAny(std::string_view text, std::initializer_list<std::string_view> prefixes) {
  for (std::string_view p : prefixes) {
    if (beginsWith(text, p)) return true;
  }
  return false;
}

Value toText(Problems& problems, Value&& value, const std::string& target, int length, long row) {
  std::string text;
  switch (value.kind()) {
    case Value::Kind::Text:
      // A text that fits is taken as it is, not copied.
      if (length <= 0 || value.asText().size() <= static_cast<std::size_t>(length))
        return std::move(value);
      text = value.asText();
      break;
    case Value::Kind::Number: {
      const std::optional<std::string> digits = wholeNumberText(value.asNumber());
      if (!digits) {
        report(problems, impossible(row, 1, target, value));
        return Value::text("");
      }
      text = *digits;
      break;
    }
    case Value::Kind::Date:
      text = dateToText(value.asDate().day);
      break;
    case Value::Kind::Logical:
      text = value.asLogical() ? "Ja" : "Nein";
      break;
    default:
      report(problems, impossible(row, 1, target, value));
      return Value::text("");
  }
  if (length > 0 && text.size() > static_cast<std::size_t>(length)) {
    report(problems, rowPrefix(row) + "Datenl\xe4ngenfehler(" + std::to_string(text.size()) + "->" +
                         std::to_string(length) + "): " + text);
    text.resize(static_cast<std::size_t>(length));
  }
  return Value::text(std::move(text));
}

Value toNumber(Problems& problems, const Value& value, const std::string& target, long row) {
  if (value.isText()) return Value::number(parseLeadingNumber(trimmed(value.asText())));
  if (value.isDate()) {
    // The date's yyyymmdd form read as a number; the empty date gives 0.
    const std::int32_t day = value.asDate().day;
    if (day <= 0) return Value::integer(0);
    const YearMonthDay ymd = calendarDate(day);
    return Value::integer(static_cast<std::int64_t>(ymd.year) * 10000 + ymd.month * 100 + ymd.day);
  }
  report(problems, impossible(row, 2, target, value));
  return Value::integer(0);
}

Value toDate(Problems& problems, const Value& value, const std::string& target, long row) {
  if (value.isText()) return Value::date(textToDate(value.asText()));
  report(problems, impossible(row, 2, target, value));
  return Value::date(dayNumber(1900, 1, 1));
}

Value toLogical(Problems& problems, const Value& value, const std::string& target, long row) {
  if (value.isText()) {
    const std::string word = trimmed(value.asText());
    const std::string upper = upperAZ(word);
    // The true list is tested first: "NEIN" never gets there, but "1..." and "J..." do.
    if (beginsWithAny(upper, {"W", "WAHR", "T", "TRUE", "RICHTIG", ".T.", "1", "J"})) {
      return Value::logical(true);
    }
    if (beginsWithAny(upper, {"F", "UNWAHR", "FALSE", "FALSCH", ".F.", "0", "N"})) {
      return Value::logical(false);
    }
    report(problems, rowPrefix(row) + word + " enth\xe4lt keinen sinnvollen Wahrheitswert\r\n" +
                         "Inhalt wird auf .f. gesetzt");
    return Value::logical(false);
  }
  if (value.isNumber()) return Value::logical(!value.asNumber().isZero());
  report(problems, impossible(row, 3, target, value) + "\r\nInhalt wird auf .f. gesetzt");
  return Value::logical(false);
}

}  // namespace

std::optional<std::string> wholeNumberText(const Number& number) {
  if (number.isInteger) return std::to_string(number.integer);
  const double whole = std::trunc(number.real);
  if (!std::isfinite(whole)) return std::nullopt;
  // Within 64 bits the integer path is exact and never yields "-0".
  if (std::fabs(whole) < 9.0e18) return std::to_string(static_cast<std::int64_t>(whole));
  // Beyond that, every digit the double holds, never an exponent.
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.0f", whole);
  return std::string(buf);
}

namespace {

Value convert(Problems& problems, Value value, const std::string& targetType, int length,
              long row) {
  if (value.isNil()) return Value();
  if (targetType == "C") return toText(problems, std::move(value), targetType, length, row);
  if (targetType.size() == 1 && targetType[0] == value.type()) return value;
  if (targetType == "N") return toNumber(problems, value, targetType, row);
  if (targetType == "D") return toDate(problems, value, targetType, row);
  if (targetType == "L") return toLogical(problems, value, targetType, row);
  return value;
}

}  // namespace

Value TYPANPASSEN(AppState& state, Value value, const std::string& targetType, int length,
                  ImportLog& log, long row) {
  Problems problems{&state, &log};
  return convert(problems, std::move(value), targetType, length, row);
}

std::optional<Value> convertQuietly(Value value, const std::string& targetType, int length) {
  Problems problems;
  Value converted = convert(problems, std::move(value), targetType, length, 0);
  if (problems.any) return std::nullopt;
  return converted;
}

}  // namespace zandor
