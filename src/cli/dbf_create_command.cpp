// zandor-cli dbf create: a new empty table, for examples and scripts.
#include <iostream>

#include "base/encoding.h"
#include "cli/dbf_commands.h"
#include "table/table_create.h"
#include "table/table_error.h"

namespace zandor::cli {

namespace {

// NAME:TYPE:LENGTH[:DECIMALS]
bool parseField(const std::string& text, NewField& field) {
  std::vector<std::string> parts;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t colon = text.find(':', pos);
    parts.push_back(text.substr(pos, colon - pos));
    if (colon == std::string::npos) break;
    pos = colon + 1;
  }
  if (parts.size() < 3 || parts.size() > 4 || parts[0].empty() || parts[1].size() != 1) {
    return false;
  }
  try {
    field.name = parts[0];
    field.type = parts[1][0];
    field.length = std::stoi(parts[2]);
    field.decimals = parts.size() == 4 ? std::stoi(parts[3]) : 0;
  } catch (const std::exception&) {
    return false;
  }
  return field.length > 0 && field.decimals >= 0;
}

int createCommand(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::cerr << "Aufruf: zandor-cli dbf create DATEI NAME:TYP:L\xc3\xa4nge[:Dezimalen]...\n";
    return 2;
  }
  std::vector<NewField> fields;
  for (std::size_t i = 1; i < args.size(); ++i) {
    NewField field;
    if (!parseField(args[i], field)) {
      std::cerr << "Feldangabe nicht verstanden: " << args[i] << '\n';
      return 2;
    }
    fields.push_back(field);
  }
  try {
    createTable(utf8ToCp1252(args[0]), fields);
  } catch (const TableError& e) {
    std::cerr << cp1252ToUtf8(errorForUser(e.error())) << '\n';
    return 1;
  }
  return 0;
}

const DbfSubcommandRegistration kCreate(
    {"create", "  dbf create DATEI NAME:TYP:LAENGE[:DEZIMALEN]...   legt eine leere Tabelle an",
     createCommand});

}  // namespace

}  // namespace zandor::cli
