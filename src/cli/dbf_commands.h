#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/value.h"

namespace zandor::cli {

// Sub-commands of "zandor-cli dbf" (struct, dump, and those of other files); each file
// registers its own with a static DbfSubcommandRegistration.
struct DbfSubcommand {
  std::string name;
  std::string usage;  // one line for "zandor-cli help"
  std::function<int(const std::vector<std::string>& args)> run;
};

std::map<std::string, DbfSubcommand>& dbfSubcommands();

struct DbfSubcommandRegistration {
  explicit DbfSubcommandRegistration(DbfSubcommand subcommand);
};

// Tab, line feed, carriage return and backslash written as \t, \n, \r and \\.
std::string escapedForDump(std::string_view utf8);

// A value as text for the table dump: texts without trailing blanks, numbers with the
// field's decimals, dates as YYYYMMDD, logicals as T or F; converted to UTF-8 with tab,
// line feed, carriage return and backslash escaped.
std::string dumpText(char fieldType, int decimals, const Value& value);

// Checks the memo references of a table (opened with the driver the index file's extension
// asks for). Each one that cannot be read is listed, indented, under the line
// "TABLE: N HEADING"; true when all can be read.
bool reportMemoReferences(const std::string& tableArg, const std::string& indexArg,
                          const std::string& heading);

// "dbf dump FILE --index INDEX [--tag NAME]": the records in the order's sequence.
int runDumpInIndexOrder(const std::vector<std::string>& args);

}  // namespace zandor::cli
