#include "cli/dbf_commands.h"

#include <iostream>

#include "base/date.h"
#include "base/encoding.h"
#include "base/error.h"
#include "base/text.h"
#include "base/value.h"
#include "cli/command_registry.h"
#include "table/number_field.h"
#include "table/work_areas.h"

namespace zandor::cli {

std::string escapedForDump(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::map<std::string, DbfSubcommand>& dbfSubcommands() {
  static std::map<std::string, DbfSubcommand> registry;
  return registry;
}

DbfSubcommandRegistration::DbfSubcommandRegistration(DbfSubcommand subcommand) {
  dbfSubcommands()[subcommand.name] = std::move(subcommand);
}

namespace {

std::string plainText(char fieldType, int decimals, const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Text:
      return trimRight(value.asText());
    case Value::Kind::Number: {
      const Number& n = value.asNumber();
      const int dec = fieldType == 'N' || fieldType == 'F' ? decimals
                      : n.isInteger                        ? 0
                                                           : n.decimals;
      return trimBlanks(numberToFieldText(n, 40, dec).text);
    }
    case Value::Kind::Date: {
      std::string text = trimBlanks(dateToDigits(value.asDate().day));
      if (value.asDate().millis != 0) text += " " + timeToText(value.asDate().millis);
      return text;
    }
    case Value::Kind::Logical:
      return value.asLogical() ? "T" : "F";
    default:
      return {};
  }
}

// Opens the table read-only and shared under its own alias, so a dump never changes it.
// A table that cannot be opened (held by another program, unreadable) is named with the
// reason on standard error.
bool openForReading(WorkAreas& areas, const std::string& file) {
  try {
    ErrorGuard guard;
    // File names on the command line are UTF-8; inside the program they are 1252 text.
    return areas.DBUSEAREA(true, "", utf8ToCp1252(file), "DBFDUMP", true, true);
  } catch (const ErrorException& e) {
    std::cerr << cp1252ToUtf8(errorForUser(e.error())) << '\n';
    return false;
  }
}

int runStruct(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::cerr << "Aufruf: zandor-cli dbf struct DATEI\n";
    return 2;
  }
  WorkAreas areas;
  if (!openForReading(areas, args[0])) return 1;
  for (const FieldInfo& f : areas.current()->fields()) {
    std::cout << cp1252ToUtf8(f.name) << '\t' << f.type << '\t' << f.length << '\t' << f.decimals
              << '\t' << f.flags << '\n';
  }
  return 0;
}

int runDump(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--index") return runDumpInIndexOrder(args);
  }
  if (args.size() != 1) {
    std::cerr << "Aufruf: zandor-cli dbf dump DATEI [--index INDEX [--tag NAME]]\n";
    return 2;
  }
  WorkAreas areas;
  if (!openForReading(areas, args[0])) return 1;
  WorkArea& area = *areas.current();
  const auto& fields = area.fields();
  for (std::uint32_t r = 1; r <= area.recCount(); ++r) {
    area.goTo(r);
    std::string line = std::to_string(r);
    line += '\t';
    line += area.deleted() ? "*" : " ";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      line += '\t';
      const Value v = area.fieldValue(static_cast<int>(i));
      line += escapedForDump(cp1252ToUtf8(plainText(fields[i].type, fields[i].decimals, v)));
    }
    std::cout << line << '\n';
  }
  return 0;
}

int runDbf(const std::vector<std::string>& args) {
  if (args.empty() || !dbfSubcommands().contains(args[0])) {
    std::cerr << "Aufruf:\n";
    for (const auto& [name, sub] : dbfSubcommands()) std::cerr << "  " << sub.usage << '\n';
    return 2;
  }
  return dbfSubcommands()[args[0]].run(std::vector<std::string>(args.begin() + 1, args.end()));
}

const DbfSubcommandRegistration kStruct({"struct", "zandor-cli dbf struct DATEI", runStruct});
const DbfSubcommandRegistration kDump({"dump",
                                       "zandor-cli dbf dump DATEI [--index INDEX [--tag NAME]]",
                                       runDump});
const CommandRegistration kDbf({"dbf",
                                "zandor-cli dbf struct DATEI\n"
                                "zandor-cli dbf dump DATEI",
                                runDbf});

}  // namespace

std::string dumpText(char fieldType, int decimals, const Value& value) {
  return escapedForDump(cp1252ToUtf8(plainText(fieldType, decimals, value)));
}

}  // namespace zandor::cli
