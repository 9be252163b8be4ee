#include "mapping/column_headings.h"

#include <cmath>
#include <cstdio>

#include "base/date.h"
#include "base/text.h"
#include "mapping/table_helpers.h"

namespace zandor {

ColumnRow noMappingRow() {
  return {Value::integer(0), Value::text("(ohne Zuordnung)"), Value::text("0")};
}

std::optional<std::string> headingText(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Text:
      return value.asText();
    case Value::Kind::Number: {
      const double d = value.asNumber().toDouble();
      if (!std::isfinite(d)) return std::nullopt;
      char buf[400];
      std::snprintf(buf, sizeof buf, "%.2f", d);
      return trimBlanks(buf);
    }
    case Value::Kind::Date: {
      const Date& date = value.asDate();
      const std::string time = timeToText(date.millis);
      if (date.day <= 0) return time;
      return dateToText(date.day) + " " + time;
    }
    case Value::Kind::Logical:
      return std::string(".T.");
    default:
      return std::string();
  }
}

std::string columnNumberHeading(int column) {
  return padLeft(std::to_string(column), 10);
}

ColumnTable columnTableFromFirstRow(int lastColumn, const FirstRowReader& readCell) {
  ColumnTable table{noMappingRow()};
  for (int n = 1; n <= lastColumn; ++n) {
    const std::optional<Value> first = readCell(n);
    if (!first || first->isEmpty()) break;
    std::optional<std::string> heading;
    if (const std::optional<Value> again = readCell(n)) heading = headingText(*again);
    table.push_back({Value::integer(n), Value::text(heading ? *heading : columnNumberHeading(n)),
                     Value::text(EXCELSPALTE(n))});
  }
  return table;
}

}  // namespace zandor
