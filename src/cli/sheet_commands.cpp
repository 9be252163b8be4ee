// zandor-cli sheet dump FILE: the cells of the active sheet as the bridge delivers them.

#include <algorithm>
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

// Largest used range the dump walks.
constexpr double kMaxDumpCells = 50'000'000;
// Cells read with one request.
constexpr double kCellsPerBlock = 65536;

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
    const auto emit = [&](long r, long c, const Value& value) {
      if (value.type() == 'U') return;
      out += std::to_string(r) + '\t' + std::to_string(c) + '\t' + value.type() + '\t' +
             valueText(value) + '\n';
      if (out.size() > (1u << 16)) {
        std::cout << out;
        out.clear();
      }
    };
    // Rows are read a block at a time, as one range: a used range that a single cell far out
    // makes huge costs a request per block, not one per empty cell.
    const long lastRow = firstRow + static_cast<long>(rows) - 1;
    const long lastCol = firstCol + static_cast<long>(cols) - 1;
    const long blockRows = std::max(1L, static_cast<long>(kCellsPerBlock / std::max(1.0, cols)));
    for (long r = firstRow; r <= lastRow; r += blockRows) {
      const long last = std::min(lastRow, r + blockRows - 1);
      const Value from =
          oleRequest(worksheet, "Cells", {Value::integer(r), Value::integer(firstCol)});
      const Value to =
          oleRequest(worksheet, "Cells", {Value::integer(last), Value::integer(lastCol)});
      const Value block = oleRequest(oleRequest(worksheet, "Range", {from, to}), "Value");
      const bool whole =
          block.isList() && block.asList().size() == static_cast<std::size_t>(last - r + 1);
      for (long i = r; i <= last; ++i) {
        const Value* row = whole ? &block.asList()[static_cast<std::size_t>(i - r)] : nullptr;
        const bool rowWhole =
            row && row->isList() && row->asList().size() == static_cast<std::size_t>(cols);
        for (long c = firstCol; c <= lastCol; ++c) {
          if (rowWhole) {
            emit(i, c, row->asList()[static_cast<std::size_t>(c - firstCol)]);
          } else {
            const Value cell =
                oleRequest(worksheet, "Cells", {Value::integer(i), Value::integer(c)});
            emit(i, c, oleRequest(cell, "Value"));
          }
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
