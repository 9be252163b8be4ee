// zandor-cli import and dbf repair with one file call failing at a time, through the
// interposed library of support/fault_inject (Linux, no sanitizers).
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>

#include "import/import_fixture.h"
#include "mapping/mapping_profile.h"
#include "support/table_readers.h"
#include "table/index_build.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;

// The files of a directory by name.
using Files = std::map<std::string, std::string>;

Files snapshot(const fs::path& dir) {
  Files files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file()) files[entry.path().filename().string()] = test::readBytes(entry);
  }
  return files;
}

void restoreFiles(const fs::path& dir, const Files& files) {
  for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());
  for (const auto& [name, bytes] : files) test::writeBytes(dir / name, bytes);
}

// Two states of a table file are the same but for the date of the last change in the
// header (a run may pass midnight).
bool sameTable(std::string a, std::string b) {
  for (std::string* bytes : {&a, &b}) {
    if (bytes->size() >= 4) bytes->replace(1, 3, 3, '\0');
  }
  return a == b;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Result {
  int status = -1;  // exit status, 128 + the signal that ended the program
  std::string out, err;

  bool fertig() const { return out.find("Fertig!") != std::string::npos; }
  bool crashed() const { return status >= 128 || status < 0; }
  std::string brief() const {
    std::string text = "exit " + std::to_string(status);
    if (fertig()) text += ", \"Fertig!\" printed";
    std::string first = err.substr(0, err.find('\n'));
    if (!first.empty()) text += ", stderr: " + first.substr(0, 160);
    return text;
  }
};

using Env = std::vector<std::pair<std::string, std::string>>;

// Runs zandor-cli directly (no shell in between to take the preloaded library too).
Result runCli(const std::vector<std::string>& args, const Env& env, const fs::path& scratch) {
  const std::string cli = test::cliPath();
  const std::string outFile = (scratch / "stdout").string();
  const std::string errFile = (scratch / "stderr").string();
  std::vector<char*> argv{const_cast<char*>(cli.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(cli.c_str(), argv.data());
    _exit(127);
  }
  Result result;
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child) {
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // A witness of an index file may outlive the program for a moment.
  test::waitForOrphans();
  result.out = test::readBytes(outFile);
  result.err = test::readBytes(errFile);
  return result;
}

// A counted call of a run: the file it was on, and for a close whether the descriptor
// could write.
struct Call {
  std::string file;
  bool readOnly = false;
};

// One call to fail: the Nth of a kind, with an error number.
struct Fault {
  std::string kind;
  long n = 0;
  std::string error;
  Call call;  // what it was in the counting run

  std::string text() const {
    return kind + " #" + std::to_string(n) + " " + error + " (" + call.file +
           (call.readOnly ? ", read-only" : "") + ")";
  }
};

// Every counted call of a run, by kind, in order.
using Calls = std::map<std::string, std::vector<Call>>;

// Paths are shown from the given directories on, under the names given.
Calls parseCalls(const std::string& log,
                 const std::vector<std::pair<fs::path, std::string>>& dirs) {
  Calls calls;
  for (const std::string& line : linesOf(log)) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::size_t noteTab = line.find('\t', tab + 1);
    Call call;
    call.file =
        line.substr(tab + 1, noteTab == std::string::npos ? std::string::npos : noteTab - tab - 1);
    call.readOnly = noteTab != std::string::npos && line.substr(noteTab + 1) == "read-only";
    for (const auto& [dir, name] : dirs) {
      const std::string prefix = dir.string() + "/";
      if (call.file.rfind(prefix, 0) == 0) {
        call.file = name + call.file.substr(prefix.size());
        break;
      } else if (call.file == dir.string()) {
        call.file = name + "(directory)";
        break;
      }
    }
    calls[line.substr(0, tab)].push_back(call);
  }
  return calls;
}

// At most `most` of calls 1..count, evenly spread, the first and the last always among them.
std::vector<long> sampleCalls(long count, long most) {
  std::vector<long> picked;
  for (long i = 0; i < std::min(count, most); ++i) {
    const long n = count <= most ? i + 1 : 1 + i * (count - 1) / (most - 1);
    if (picked.empty() || picked.back() != n) picked.push_back(n);
  }
  return picked;
}

// Errors whose call cannot be made good afterwards: written data may never reach the disk
// (close and the syncs report what the kernel has already dropped), so a run that goes on
// to its summary after one of them claims more than it knows. A descriptor that could not
// write loses nothing when its close fails.
bool mustBeReported(const Fault& fault) {
  if (fault.kind == "close") return !fault.call.readOnly;
  return fault.kind == "fsync" || fault.kind == "fdatasync" || fault.kind == "msync";
}

// Calls whose failure a repair may make good: a hint to start writing back, growing a file
// by allocating or by moving its mapping, where ordinary writes can take over, a write that
// found the disk full (made again once room our files had grown ahead was given back), and
// the close of a descriptor that did not write.
bool repairCanWorkAround(const Fault& fault) {
  return fault.kind == "sync_file_range" || fault.kind == "fallocate" || fault.kind == "mremap" ||
         ((fault.kind == "write" || fault.kind == "pwrite") && fault.error == "ENOSPC") ||
         (fault.kind == "close" && fault.call.readOnly);
}

std::string errorFor(const std::string& kind) {
  if (kind == "write" || kind == "pwrite" || kind == "fallocate") return "ENOSPC";
  // mremap fails for lack of address space; it has no I/O error.
  if (kind == "mremap") return "ENOMEM";
  return "EIO";
}

// Up to 12 calls of each kind (the closes of descriptors that could write apart from
// those that could not, of which 3), and 3 writes failing with EIO besides ENOSPC. A case
// costs an import or a repair and, when it failed, a repair, a check and two dumps (about
// 0.1 s), so the four tests take about 15 s together on a machine of two processors; the
// first, the last and evenly spread calls between them still reach each file, and the
// time stays small beside the rest of the tests.
constexpr long kCallsPerKind = 12;
constexpr long kReadOnlyCloses = 3;
constexpr long kEioWrites = 3;

std::vector<Fault> faultsFor(const Calls& calls) {
  std::vector<Fault> faults;
  for (const auto& [kind, seen] : calls) {
    for (const bool readOnly : {false, true}) {
      // The numbers (1-based) of this kind's calls of one sort.
      std::vector<long> numbers;
      for (std::size_t i = 0; i < seen.size(); ++i) {
        if (seen[i].readOnly == readOnly) numbers.push_back(static_cast<long>(i) + 1);
      }
      const auto count = static_cast<long>(numbers.size());
      auto add = [&](long most, const std::string& error) {
        for (const long pick : sampleCalls(count, most)) {
          const long n = numbers[static_cast<std::size_t>(pick - 1)];
          faults.push_back({kind, n, error, seen[static_cast<std::size_t>(n - 1)]});
        }
      };
      add(readOnly ? kReadOnlyCloses : kCallsPerKind, errorFor(kind));
      // Plain I/O errors of writes too, not only a full disk.
      if (kind == "write" || kind == "pwrite") add(kEioWrites, "EIO");
    }
  }
  return faults;
}

// The rows of the sheet: every third updates an existing record (K0001 to K0020, with a
// longer memo than before), the others add new ones, some without a memo. Names and new
// keys are spread over the orders, so that the new keys split index pages.
constexpr int kExisting = 40;
constexpr int kRows = 60;
constexpr int kUpdated = kRows / 3;
constexpr int kNew = kRows - kUpdated;

std::string nameOf(int number) {
  return "Name " + std::to_string(number * 7919 % 10007);
}

std::string memoText(const std::string& what, int number, int words) {
  std::string text = what + " " + std::to_string(number) + ":";
  for (int i = 0; i < words; ++i) text += " Wort" + std::to_string(i * number % 97);
  return text;
}

std::string keyOf(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "K%04d", number);
  return text;
}

// An address table with a memo field, its CDX (searched ADKUN plus the structural one) or
// NTX index, and a program directory whose settings turn updating on.
class FaultInjectionTest : public test::ImportFixture, public ::testing::WithParamInterface<bool> {
 protected:
  bool cdx = GetParam();
  std::string setup = cdx ? "cdx" : "ntx";
  test::TempDir input;    // sheet and profile: outside the directories whose calls count
  test::TempDir scratch;  // output of the programs, call logs
  std::string profile = input.file("adressen.qno");
  std::string settings = home.file("zandor.ini");
  std::string table;
  std::vector<std::string> indexes;
  fs::path dataDir, logDir;
  Files pristine;   // the data directory before the import
  Files reference;  // after the import without faults
  std::vector<std::string> pristineDump, referenceDump, referenceLog;
  std::vector<std::string> report;  // one line per case, printed at the end
  int unsound = 0;

  void SetUp() override {
    ImportFixture::SetUp();
    test::adoptOrphans();
    makeTable(
        "ADRESSEN.DBF",
        {{"KUNDE", 'C', 10, 0}, {"NAME1", 'C', 30, 0}, {"ORT", 'C', 20, 0}, {"NOTIZ", 'M', 10, 0}});
    table = state.cDbfFile;
    dataDir = fs::canonical(data.path());
    fs::create_directories(home.path() / "log");
    logDir = fs::canonical(home.path() / "log");
    if (cdx) {
      indexes = {data.file("adkun.cdx"), data.file("ADRESSEN.cdx")};
      createIndex(table, indexes[0], "ADKUN", "KUNDE");
      createIndex(table, indexes[1], "NAME", "UPPER(NAME1)");
    } else {
      indexes = {data.file("adkun.ntx")};
      createIndex(table, indexes[0], "", "KUNDE");
    }
    map("KUNDE", 1);
    map("NAME1", 2);
    map("ORT", 3);
    map("NOTIZ", 4);
    state.vorein(vorein::kHeader) = Value::logical(true);
    state.cXlsFile = input.file("liste.csv");
    const auto bytes = encodeProfileFile(state);
    ASSERT_TRUE(bytes.has_value());
    test::writeBytes(profile, *bytes);
    test::writeBytes(settings, "[Updaten]\r\nNummer=.T.\r\n");

    // The existing records, put there by an import too.
    std::string sheet = "Kunde;Name;Ort;Notiz\r\n";
    for (int i = 1; i <= kExisting; ++i) {
      sheet += keyOf(i) + ";" + nameOf(i) + ";Ort " + std::to_string(i % 7) + ";" +
               (i % 4 == 0 ? "" : memoText("Alt", i, 20)) + "\r\n";
    }
    test::writeBytes(state.cXlsFile, sheet);
    const Result base = runCli({"import", profile, "--settings", settings}, {}, scratch.path());
    ASSERT_EQ(base.status, 0) << base.out << base.err;
    for (const auto& entry : fs::directory_iterator(logDir)) fs::remove(entry.path());

    sheet = "Kunde;Name;Ort;Notiz\r\n";
    for (int row = 1; row <= kRows; ++row) {
      const bool update = row % 3 == 1;
      const int number = update ? row / 3 + 1 : row * 37 % 1000;
      sheet += keyOf(number) + ";" + (update ? "Neu " : "") + nameOf(number + 1) + ";Ort " +
               std::to_string(row % 5) + ";" +
               (row % 5 == 2 ? "" : memoText(update ? "Neu" : "Notiz", row, 30 + row * 3)) + "\r\n";
    }
    test::writeBytes(state.cXlsFile, sheet);
    pristine = snapshot(dataDir);
    pristineDump = dump();
    ASSERT_EQ(pristineDump.size(), static_cast<std::size_t>(kExisting));

    const Result clean = runCli({"import", profile, "--settings", settings}, {}, scratch.path());
    ASSERT_EQ(clean.status, 0) << clean.out << clean.err;
    ASSERT_THAT(clean.out,
                ::testing::HasSubstr("Davon sind " + std::to_string(kNew) + " neue Datensätze, " +
                                     std::to_string(kUpdated) + " geupdatet"));
    reference = snapshot(dataDir);
    referenceDump = dump();
    referenceLog = normalisedLog();
    ASSERT_EQ(referenceDump.size(), static_cast<std::size_t>(kExisting + kNew));
    ASSERT_EQ(check().status, 0) << check().out;
  }

  void TearDown() override {
    std::cout << "[fault] " << setup << ": " << report.size() << " cases, " << unsound
              << " unsound\n";
    for (const std::string& line : report) std::cout << "[fault] " << line << '\n';
  }

  Env faultEnv(const std::string& fail, const std::string& log = "") const {
    Env env = {{"LD_PRELOAD", ZANDOR_FAULT_INJECT_PATH},
               {"ZANDOR_FAULT_DIRS", dataDir.string() + ":" + logDir.string()}};
    if (!fail.empty()) env.emplace_back("ZANDOR_FAULT_FAIL", fail);
    if (!log.empty()) env.emplace_back("ZANDOR_FAULT_LOG", log);
    return env;
  }

  void restore(const Files& files) {
    restoreFiles(dataDir, files);
    for (const auto& entry : fs::directory_iterator(logDir)) fs::remove_all(entry.path());
  }

  std::vector<std::string> withIndexes(std::vector<std::string> args) const {
    args.insert(args.end(), indexes.begin(), indexes.end());
    return args;
  }

  Result importRun(const Env& env) {
    return runCli({"import", profile, "--settings", settings}, env, scratch.path());
  }
  Result repair(const Env& env = {}) {
    return runCli(withIndexes({"dbf", "repair", table}), env, scratch.path());
  }
  Result check() { return runCli(withIndexes({"dbf", "check", table}), {}, scratch.path()); }
  std::vector<std::string> dump() {
    const Result result = runCli({"dbf", "dump", table}, {}, scratch.path());
    EXPECT_EQ(result.status, 0) << result.err;
    return linesOf(result.out);
  }

  // The import log without its times, which differ from run to run.
  std::vector<std::string> normalisedLog() const {
    std::string text;
    for (const auto& entry : fs::directory_iterator(logDir)) text += test::readBytes(entry);
    std::vector<std::string> lines;
    for (std::string line : linesOf(text)) {
      for (char& c : line) {
        if (c >= '0' && c <= '9') c = '#';
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  // Python dbfread reads the table as we do; empty when it does.
  static std::string readerDisagreement(const std::string& path) {
    std::string theirs;
    if (!test::readerDump("dbfread", path, &theirs)) return "dbfread cannot read the table";
    try {
      if (theirs != test::ourDump(path, true)) return "dbfread reads other records";
    } catch (const std::exception& e) {
      return std::string("our reader fails: ") + e.what();
    }
    return {};
  }

  // Runs with the library counting every call; fails the test when it saw nothing to fail.
  Calls countCalls(const std::string& what, const std::vector<std::string>& args,
                   const Files& start) {
    restore(start);
    const std::string log = scratch.file("calls.log");
    fs::remove(log);
    const Result counted = runCli(args, faultEnv("", log), scratch.path());
    EXPECT_EQ(counted.status, 0) << "the counting run failed: " << counted.brief();
    Calls calls = fs::exists(log)
                      ? parseCalls(test::readBytes(log), {{dataDir, ""}, {logDir, "log/"}})
                      : Calls();
    std::cout << "[fault] " << setup << " " << what << ", calls counted:";
    for (const auto& [kind, seen] : calls) std::cout << " " << kind << " " << seen.size();
    std::cout << '\n';
    return calls;
  }

  void record(const std::string& what, const Fault& fault, const std::string& outcome,
              const std::vector<std::string>& problems) {
    std::string line = setup + " " + what + " " + fault.text() + ": " + outcome;
    if (!problems.empty()) {
      ++unsound;
      line += " -> UNSOUND:";
      for (const std::string& p : problems) line += " " + p + ";";
      ADD_FAILURE() << line;
    } else {
      line += " -> sound";
    }
    report.push_back(line);
  }

  void importCase(const Fault& fault) {
    restore(pristine);
    const Result run =
        importRun(faultEnv(fault.kind + ":" + std::to_string(fault.n) + ":" + fault.error));
    std::vector<std::string> problems;
    std::string outcome = run.brief();
    if (run.crashed()) {
      problems.push_back("the program crashed");
    } else if (run.status != 0 && run.fertig()) {
      problems.push_back("\"Fertig!\" printed, but exit status " + std::to_string(run.status));
    } else if (run.status == 0 && !run.fertig()) {
      problems.push_back("exit status 0 without \"Fertig!\"");
    } else if (run.status == 0) {
      if (mustBeReported(fault)) problems.push_back("the failed " + fault.kind + " was ignored");
      expectAsWithoutFault(problems);
    } else {
      expectRepairable(problems, outcome);
    }
    record("import", fault, outcome, problems);
  }

  // A run that reached its summary left what a run without the fault leaves.
  void expectAsWithoutFault(std::vector<std::string>& problems) {
    const Files now = snapshot(dataDir);
    for (const auto& [name, bytes] : reference) {
      const auto it = now.find(name);
      if (it == now.end()) {
        problems.push_back(name + " is missing");
      } else if (name == fs::path(table).filename().string() && !sameTable(it->second, bytes)) {
        // The table's bytes, not only its records: room left behind its end counts too.
        problems.push_back(name + " differs from the run without fault (" +
                           std::to_string(it->second.size()) + " bytes, not " +
                           std::to_string(bytes.size()) + ")");
      }
    }
    if (dump() != referenceDump)
      problems.push_back("the records differ from the run without fault");
    const Result checked = check();
    if (checked.status != 0) problems.push_back("dbf check fails: " + checked.out);
    if (normalisedLog() != referenceLog) problems.push_back("the import log lacks entries");
  }

  // A run that reported failure leaves files a repair makes sound, which Python dbfread
  // reads as we do; every repaired record is as before the run or as after a whole run,
  // except at most the one in flight.
  void expectRepairable(std::vector<std::string>& problems, std::string& outcome) {
    const Result repaired = repair();
    const Result checked = check();
    outcome += "; repair exit " + std::to_string(repaired.status) + ", check exit " +
               std::to_string(checked.status);
    if (repaired.status != 0)
      problems.push_back("dbf repair fails: " + repaired.out + repaired.err);
    if (checked.status != 0) problems.push_back("dbf check fails after the repair: " + checked.out);
    if (const std::string disagreement = readerDisagreement(table); !disagreement.empty()) {
      problems.push_back(disagreement);
    }
    const std::vector<std::string> records = dump();
    if (records.size() < pristineDump.size() || records.size() > referenceDump.size()) {
      problems.push_back(std::to_string(records.size()) + " records after the repair");
    }
    int strange = 0;
    for (std::size_t r = 0; r < std::min(records.size(), referenceDump.size()); ++r) {
      if (records[r] == referenceDump[r]) continue;
      if (r < pristineDump.size() && records[r] == pristineDump[r]) continue;
      ++strange;
    }
    if (strange > 1) {
      problems.push_back(std::to_string(strange) + " records neither old nor new");
    }
  }
};

TEST_P(FaultInjectionTest, EveryFailedCallOfAnImportIsReportedOrMadeGood) {
  const Calls calls = countCalls("import", {"import", profile, "--settings", settings}, pristine);
  ASSERT_FALSE(HasFailure());
  // Watched, the run does what it does unwatched: the outcomes below are measured by that.
  ASSERT_TRUE(sameTable(test::readBytes(table), reference.at("ADRESSEN.DBF")));
  ASSERT_EQ(dump(), referenceDump);
  // Nothing seen of the kinds every run makes would mean the library is not in the game.
  ASSERT_GT(calls.count("pwrite") + calls.count("write"), 0u) << "no writes seen";
  ASSERT_GT(calls.count("close"), 0u) << "no close seen";
  ASSERT_GT(calls.count("fallocate"), 0u) << "no fallocate seen";
  // The import log is among the files whose faults matter.
  bool logWritten = false, logClosed = false;
  for (const auto& [kind, seen] : calls) {
    for (const Call& call : seen) {
      if (call.file.rfind("log/", 0) != 0) continue;
      logWritten |= kind == "write" || kind == "pwrite";
      logClosed |= kind == "close";
    }
  }
  EXPECT_TRUE(logWritten && logClosed)
      << "no write(2)/close(2) of the import log seen: its faults cannot be tested";

  const auto begin = std::chrono::steady_clock::now();
  const std::vector<Fault> faults = faultsFor(calls);
  for (const Fault& fault : faults) importCase(fault);
  std::cout << "[fault] " << setup << " import: " << faults.size() << " cases in "
            << std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() -
                                                                begin)
                   .count()
            << " s\n";
}

// A table as a killed import leaves it: the header counts fewer records than the file
// holds, room of zero bytes lies behind the end mark, and the index files hold keys of the
// uncounted records. dbf repair has to write the header, cut the room and rebuild every
// index file. With any of its calls failing it must say so, and a repair after it must
// still mend the files.
TEST_P(FaultInjectionTest, EveryFailedCallOfARepairIsReported) {
  restore(reference);
  std::string bytes = test::readBytes(table);
  const std::uint32_t count = kExisting + kNew - 3;
  for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<char>(count >> (8 * i) & 0xff);
  bytes.append(64 * 1024, '\0');
  test::writeBytes(table, bytes);
  const Files broken = snapshot(dataDir);
  ASSERT_NE(check().status, 0) << "the index files should hold keys of uncounted records";

  const Calls calls = countCalls("repair", withIndexes({"dbf", "repair", table}), broken);
  ASSERT_FALSE(HasFailure());
  ASSERT_TRUE(sameTable(test::readBytes(table), reference.at("ADRESSEN.DBF")));
  ASSERT_EQ(check().status, 0);
  const std::vector<std::string> repairedDump = dump();
  ASSERT_EQ(repairedDump, referenceDump);
  const std::string repairedTable = test::readBytes(table);
  ASSERT_GT(calls.count("pwrite") + calls.count("write"), 0u) << "no writes seen";
  ASSERT_GT(calls.count("close"), 0u) << "no close seen";
  ASSERT_GT(calls.count("rename"), 0u) << "no rename seen";
  ASSERT_GT(calls.count("ftruncate"), 0u) << "no ftruncate seen";

  for (const Fault& fault : faultsFor(calls)) {
    restore(broken);
    const Result run =
        repair(faultEnv(fault.kind + ":" + std::to_string(fault.n) + ":" + fault.error));
    std::vector<std::string> problems;
    std::string outcome = run.brief();
    if (run.crashed()) problems.push_back("the program crashed");
    if (run.status == 0) {
      // Only a call whose failure can be made good (a hint, a mapping that falls back to
      // writes) may end in success, and then with what a repair without fault leaves.
      if (!repairCanWorkAround(fault)) {
        problems.push_back("the failed " + fault.kind + " was ignored (exit 0)");
      }
      if (!sameTable(test::readBytes(table), repairedTable)) {
        problems.push_back("the table differs from a clean repair's");
      }
      if (check().status != 0) problems.push_back("dbf check fails");
    } else {
      const Result again = repair();
      const Result checked = check();
      outcome += "; repair again exit " + std::to_string(again.status) + ", check exit " +
                 std::to_string(checked.status);
      if (again.status != 0) problems.push_back("a second repair fails: " + again.out + again.err);
      if (checked.status != 0) problems.push_back("dbf check fails: " + checked.out);
      if (dump() != repairedDump) problems.push_back("the records differ from a clean repair");
      if (const std::string disagreement = readerDisagreement(table); !disagreement.empty()) {
        problems.push_back(disagreement);
      }
    }
    record("repair", fault, outcome, problems);
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, FaultInjectionTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Cdx" : "Ntx"; });

}  // namespace
}  // namespace zandor
