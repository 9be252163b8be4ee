// The memo check shared by "dbf check" and "dbf repair".
#include <iostream>

#include "base/encoding.h"
#include "base/error.h"
#include "base/paths.h"
#include "base/text.h"
#include "cli/dbf_commands.h"
#include "table/memo_check.h"
#include "table/table_error.h"

namespace zandor::cli {

namespace {

constexpr std::size_t kListedProblems = 20;

}  // namespace

bool reportMemoReferences(const std::string& tableArg, const std::string& indexArg,
                          const std::string& heading) {
  const bool cdx = upperAZ(extensionPart(indexArg)) == ".CDX";
  std::vector<std::string> problems;
  try {
    ErrorGuard guard;
    problems = checkMemoReferences(utf8ToCp1252(tableArg), cdx ? "DBFCDX" : "DBFNTX");
  } catch (const TableError& e) {
    std::cout << tableArg << ": " << cp1252ToUtf8(errorForUser(e.error())) << '\n';
    return false;
  } catch (const ErrorException& e) {
    std::cout << tableArg << ": " << cp1252ToUtf8(errorForUser(e.error())) << '\n';
    return false;
  } catch (const std::exception& e) {
    std::cout << tableArg << ": " << cp1252ToUtf8(e.what()) << '\n';
    return false;
  }
  if (problems.empty()) return true;
  std::cout << tableArg << ": " << problems.size() << ' ' << cp1252ToUtf8(heading) << '\n';
  for (std::size_t i = 0; i < problems.size() && i < kListedProblems; ++i) {
    std::cout << "  " << cp1252ToUtf8(problems[i]) << '\n';
  }
  if (problems.size() > kListedProblems) {
    std::cout << "  ... " << problems.size() - kListedProblems << " weitere\n";
  }
  return false;
}

}  // namespace zandor::cli
