// The index sub-commands of "zandor-cli dbf": dump in index order, seek, check, reindex
// and index creation.
#include <iostream>

#include "base/date.h"
#include "base/encoding.h"
#include "base/error.h"
#include "base/number_text.h"
#include "base/paths.h"
#include "base/text.h"
#include "cli/dbf_commands.h"
#include "table/index_build.h"
#include "table/work_areas.h"

namespace zandor::cli {

namespace {

// Opens the table read-only (with the driver the index file needs) and adds the index.
bool openWithIndex(WorkAreas& areas, const std::string& table, const std::string& index) {
  const bool cdx = upperAZ(extensionPart(index)) == ".CDX";
  // File names on the command line are UTF-8; inside the program they are 1252 text.
  if (!areas.DBUSEAREA(true, cdx ? "DBFCDX" : "DBFNTX", utf8ToCp1252(table), "DBFINDEX", true,
                       true)) {
    return false;
  }
  return areas.ORDLISTADD(utf8ToCp1252(index));
}

// Runs a command body; errors of the table layer end it with a message and status 1.
template <class F>
int guarded(F&& body) {
  ErrorGuard guard;
  try {
    return body();
  } catch (const ErrorException& e) {
    std::cerr << cp1252ToUtf8(errorForUser(e.error())) << '\n';
  } catch (const std::exception& e) {
    std::cerr << cp1252ToUtf8(e.what()) << '\n';
  }
  return 1;
}

int runIndexDump(const std::vector<std::string>& args) {
  std::string table, index, tag;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--index" && i + 1 < args.size()) {
      index = args[++i];
    } else if (args[i] == "--tag" && i + 1 < args.size()) {
      tag = args[++i];
    } else if (table.empty()) {
      table = args[i];
    } else {
      table.clear();
      break;
    }
  }
  if (table.empty() || index.empty()) {
    std::cerr << "Aufruf: zandor-cli dbf dump DATEI --index INDEX [--tag NAME]\n";
    return 2;
  }
  return guarded([&] {
    WorkAreas areas;
    if (!openWithIndex(areas, table, index)) return 1;
    AreaIndexes* ix = areas.indexes(areas.currentArea());
    const OpenIndex* file = ix->files().back().get();
    IndexOrder* order = file->orders.front().order;
    if (!tag.empty()) {
      order = nullptr;
      for (const BoundOrder& b : file->orders) {
        if (upperAZ(b.order->info().name) == upperAZ(tag)) order = b.order;
      }
      if (!order) {
        std::cerr << "Tag nicht gefunden: " << tag << '\n';
        return 1;
      }
    }
    WorkArea& area = *areas.current();
    const auto& fields = area.fields();
    for (auto e = order->first(); e; e = order->next()) {
      area.goTo(e->recno);
      std::string line = std::to_string(e->recno);
      line += '\t';
      line += area.deleted() ? "*" : " ";
      for (std::size_t i = 0; i < fields.size(); ++i) {
        line += '\t';
        line += dumpText(fields[i].type, fields[i].decimals, area.fieldValue(static_cast<int>(i)));
      }
      std::cout << line << '\n';
    }
    return 0;
  });
}

int runSeek(const std::vector<std::string>& args) {
  if (args.size() != 3) {
    std::cerr << "Aufruf: zandor-cli dbf seek DATEI INDEX SCHLUESSEL\n";
    return 2;
  }
  return guarded([&] {
    WorkAreas areas;
    if (!openWithIndex(areas, args[0], args[1])) return 1;
    const BoundOrder* order = areas.indexes(areas.currentArea())->controlling();
    // The key is given as text; numeric and date orders take it as their own kind.
    Value key = Value::text(utf8ToCp1252(args[2]));
    if (order->order->info().keyType == 'N') {
      key = Value::number(parseLeadingNumber(args[2]));
    } else if (order->order->info().keyType == 'D') {
      key = Value::date(digitsToDate(args[2]));
    } else if (order->order->info().keyType == 'L') {
      key = Value::logical(upperAZ(args[2]) == "T" || upperAZ(args[2]) == ".T.");
    }
    if (!areas.DBSEEK(key)) return 1;
    std::cout << areas.current()->recNo() << '\n';
    return 0;
  });
}

int runCheck(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::cerr << "Aufruf: zandor-cli dbf check DATEI INDEX...\n";
    return 2;
  }
  // A table another program holds is said to be in use, not reported index by index. Its
  // structural index is checked like the others, not opened with the table here; the errors
  // name the driver the index files are read with all the same.
  bool ok = true;
  const bool cdx = upperAZ(extensionPart(args[1])) == ".CDX";
  try {
    ErrorGuard guard;
    WorkAreas areas;
    if (!areas.DBUSEAREA(true, "DBFNTX", utf8ToCp1252(args[0]), "DBFCHECK", true, true)) return 1;
    if (const auto damage = areas.current()->damage()) {
      std::cout << args[0] << ": "
                << cp1252ToUtf8(
                       "besch\xe4"
                       "digt: " +
                       *damage)
                << '\n';
      ok = false;
    }
  } catch (const ErrorException& e) {
    Error error = e.error();
    if (cdx && error.subsystem == "DBFNTX") error.subsystem = "DBFCDX";
    std::cerr << cp1252ToUtf8(errorForUser(error)) << '\n';
    return 1;
  }
  for (std::size_t i = 1; i < args.size(); ++i) {
    // What we cannot maintain is no fault of the file: say so instead of listing differences.
    if (const auto feature =
            unsupportedIndexFeature(utf8ToCp1252(args[0]), utf8ToCp1252(args[i]))) {
      std::cout << args[i] << ": " << cp1252ToUtf8("nicht unterst\xfctzt: " + *feature) << '\n';
      ok = false;
      continue;
    }
    const std::vector<std::string> problems =
        checkIndex(utf8ToCp1252(args[0]), utf8ToCp1252(args[i]));
    if (problems.empty()) {
      std::cout << args[i] << ": OK\n";
      continue;
    }
    ok = false;
    std::cout << args[i] << ": " << problems.size() << " Fehler\n";
    for (const std::string& p : problems) std::cout << "  " << cp1252ToUtf8(p) << '\n';
  }
  if (!reportMemoReferences(args[0], args[1], "Memo-Verweise nicht lesbar")) ok = false;
  return ok ? 0 : 1;
}

int runReindex(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::cerr << "Aufruf: zandor-cli dbf reindex DATEI INDEX\n";
    return 2;
  }
  return guarded([&] {
    reindexFile(utf8ToCp1252(args[0]), utf8ToCp1252(args[1]));
    return 0;
  });
}

int runIndex(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  IndexDefinition def;
  bool haveKey = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--tag" && hasValue) {
      def.tag = args[++i];
    } else if (a == "--key" && hasValue) {
      def.key = utf8ToCp1252(args[++i]);
      haveKey = true;
    } else if (a == "--for" && hasValue) {
      def.forCondition = utf8ToCp1252(args[++i]);
    } else if (a == "--unique") {
      def.unique = true;
    } else if (a == "--descending") {
      def.descending = true;
    } else if (a.rfind("--", 0) == 0) {
      files.clear();
      break;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2 || !haveKey) {
    std::cerr << "Aufruf: zandor-cli dbf index DATEI INDEXDATEI [--tag NAME] --key AUSDRUCK "
                 "[--for AUSDRUCK] [--unique] [--descending]\n";
    return 2;
  }
  return guarded([&] {
    createIndex(utf8ToCp1252(files[0]), utf8ToCp1252(files[1]), def);
    return 0;
  });
}

const DbfSubcommandRegistration kSeek({"seek", "zandor-cli dbf seek DATEI INDEX SCHLUESSEL",
                                       runSeek});
const DbfSubcommandRegistration kCheck({"check", "zandor-cli dbf check DATEI INDEX...", runCheck});
const DbfSubcommandRegistration kReindex({"reindex", "zandor-cli dbf reindex DATEI INDEX",
                                          runReindex});
const DbfSubcommandRegistration kIndex(
    {"index",
     "zandor-cli dbf index DATEI INDEXDATEI [--tag NAME] --key AUSDRUCK [--for AUSDRUCK] "
     "[--unique] [--descending]",
     runIndex});

}  // namespace

// "dump" with --index goes here; the plain dump stays with the table commands.
int runDumpInIndexOrder(const std::vector<std::string>& args) {
  return runIndexDump(args);
}

}  // namespace zandor::cli
