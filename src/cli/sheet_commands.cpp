// zandor-cli sheet dump FILE: the cells of the active sheet as the bridge delivers them.

#include <charconv>
#include <cstdio>
#include <iostream>
#include <string>

#include "base/date.h"
#include "base/encoding.h"
#include "base/error.h"
#include "cli/command_registry.h"
#include "cli/dbf_commands.h"
#include "sheet/ole_auto.h"

namespace zandor::cli {

namespace {

// Largest used range the dump walks cell by cell.
constexpr double kMaxDumpCells = 50'000'000;

std::string numberText(const Number& n) {
  if (n.isInteger) return std::to_string(n.integer);
  char buf[512];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, n.real, std::chars_format::fixed);
  if (ec != std::errc()) return "0";
  std::string out(buf, end);
  return out == "-0" ? "0" : out;
}

std::string dateText(const Date& d) {
  const YearMonthDay ymd = calendarDate(d.day);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", ymd.year, ymd.month, ymd.day);
  std::string out = buf;
  if (d.millis != 0) {
    const int ms = d.millis;
    std::snprintf(buf, sizeof buf, " %02d:%02d:%02d.%03d", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    out += buf;
  }
  return out;
}

std::string valueText(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Text:
      return escapedForDump(cp1252ToUtf8(v.asText()));
    case Value::Kind::Number:
      return numberText(v.asNumber());
    case Value::Kind::Date:
      return dateText(v.asDate());
    case Value::Kind::Logical:
      return v.asLogical() ? ".T." : ".F.";
    case Value::Kind::Error:
      return escapedForDump(v.asErrorText());
    default:
      return "";
  }
}

double asCount(const Value& v) {
  return v.isNumber() ? v.asNumber().toDouble() : 0;
}

int dumpSheet(const std::string& file) {
  using sheet::oleRequest;
  ErrorGuard guard;
  try {
    const Value app = sheet::CreateObject("Excel.Application");
    const Value workbooks = oleRequest(app, "Workbooks");
    const Value workbook = oleRequest(workbooks, "Add", {Value::text(utf8ToCp1252(file))});
    const Value worksheet = oleRequest(app, "ActiveSheet");
    const Value used = oleRequest(worksheet, "UsedRange");
    const auto firstRow = static_cast<long>(asCount(oleRequest(used, "Row")));
    const auto firstCol = static_cast<long>(asCount(oleRequest(used, "Column")));
    const double rows = asCount(oleRequest(oleRequest(used, "Rows"), "Count"));
    const double cols = asCount(oleRequest(oleRequest(used, "Columns"), "Count"));
    if (rows * cols > kMaxDumpCells) {
      std::cerr << "Der benutzte Bereich ist zu gro\xc3\x9f (" << rows << " x " << cols
                << " Zellen).\n";
      return 1;
    }
    std::string out;
    for (long r = firstRow; r < firstRow + static_cast<long>(rows); ++r) {
      for (long c = firstCol; c < firstCol + static_cast<long>(cols); ++c) {
        const Value cell = oleRequest(worksheet, "Cells", {Value::integer(r), Value::integer(c)});
        const Value value = oleRequest(cell, "Value");
        if (value.type() == 'U') continue;
        out += std::to_string(r) + '\t' + std::to_string(c) + '\t' + value.type() + '\t' +
               valueText(value) + '\n';
        if (out.size() > (1u << 16)) {
          std::cout << out;
          out.clear();
        }
      }
    }
    std::cout << out;
    oleRequest(workbook, "Close", {Value::logical(false)});
    oleRequest(app, "Quit");
    return 0;
  } catch (const ErrorException& e) {
    std::cerr << "Fehler: " << cp1252ToUtf8(e.error().description) << '\n';
    return 1;
  }
}

const CommandRegistration registration{
    Command{"sheet", "  zandor-cli sheet dump DATEI   Zellen des aktiven Tabellenblatts ausgeben",
            [](const std::vector<std::string>& args) {
              if (args.size() != 2 || args[0] != "dump") {
                std::cerr << "Aufruf: zandor-cli sheet dump DATEI\n";
                return 2;
              }
              return dumpSheet(args[1]);
            }}};

}  // namespace

}  // namespace zandor::cli
