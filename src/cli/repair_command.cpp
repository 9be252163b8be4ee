// "zandor-cli dbf repair": makes a table and its index files agree again after a program
// ended in the middle of appending (killed, power lost).
#include <iostream>

#include "base/encoding.h"
#include "cli/dbf_commands.h"
#include "table/index_build.h"
#include "table/table_repair.h"

namespace zandor::cli {

namespace {

int runRepair(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::cerr << "Aufruf: zandor-cli dbf repair DATEI INDEX...\n";
    return 2;
  }
  const std::string table = utf8ToCp1252(args[0]);
  // Nothing is written when an index file holds keys we could not rebuild as its writer does.
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (const auto feature = unsupportedIndexFeature(table, utf8ToCp1252(args[i]))) {
      std::cerr << args[i] << ": " << cp1252ToUtf8("nicht unterst\xfctzt: " + *feature) << '\n';
      return 1;
    }
    // Nor when an index file may not be written: the table would be mended, its index not.
    if (const auto refusal = indexWriteRefusal(utf8ToCp1252(args[i]))) {
      std::cerr << args[i] << ": " << cp1252ToUtf8(*refusal) << '\n';
      return 1;
    }
  }
  TableRepair repair;
  try {
    repair = repairTable(table);
  } catch (const TableRepairError& e) {
    std::cerr << cp1252ToUtf8(e.what()) << '\n';
    return 1;
  }
  std::cout << args[0] << ": ";
  if (repair.countAfter != repair.countBefore) {
    std::cout << "Satzzahl " << repair.countBefore << " -> " << repair.countAfter;
  } else {
    std::cout << "Satzzahl " << repair.countAfter << " stimmt";
  }
  if (repair.bytesCut > 0) {
    std::cout << ", " << repair.bytesCut << " Byte hinter dem letzten Satz abgeschnitten";
  }
  if (repair.tornRecordCut) {
    std::cout << cp1252ToUtf8(", darunter ein unvollst\xe4ndig geschriebener Satz");
  }
  std::cout << '\n';

  bool ok = true;
  for (std::size_t i = 1; i < args.size(); ++i) {
    try {
      reindexFile(table, utf8ToCp1252(args[i]));
      std::cout << args[i] << ": neu aufgebaut\n";
    } catch (const std::exception& e) {
      std::cout << args[i] << ": " << cp1252ToUtf8("nicht neu aufgebaut: ")
                << cp1252ToUtf8(e.what()) << '\n';
      ok = false;
      continue;
    }
    const std::vector<std::string> problems = checkIndex(table, utf8ToCp1252(args[i]));
    if (!problems.empty()) {
      ok = false;
      std::cout << args[i] << ": " << problems.size() << " Fehler nach dem Neuaufbau\n";
      for (const std::string& p : problems) std::cout << "  " << cp1252ToUtf8(p) << '\n';
    }
  }
  // A damaged memo file is nothing a rebuild could mend: said, and the repair not done.
  if (!reportMemoReferences(args[0], args[1], "Memo-Verweise nicht lesbar, nicht repariert")) {
    ok = false;
  }
  return ok ? 0 : 1;
}

const DbfSubcommandRegistration kRepair({"repair", "zandor-cli dbf repair DATEI INDEX...",
                                         runRepair});

}  // namespace

}  // namespace zandor::cli
