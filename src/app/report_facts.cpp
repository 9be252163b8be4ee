#include "app/report_facts.h"

// The platform's facts come from Linux interfaces (glibc, /proc); elsewhere the report
// names what the standard library can tell and leaves the rest empty.
#if defined(__linux__) && defined(__GLIBC__)
#define ZANDOR_LINUX_FACTS 1
#include <cxxabi.h>
#include <execinfo.h>
#include <malloc.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#endif

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

#include "base/date.h"
#include "base/paths.h"
#include "table/area_indexes.h"
#include "table/index_open.h"
#include "table/table_drivers.h"
#include "table/work_area.h"
#include "table/work_areas.h"

namespace zandor {

namespace {

namespace fs = std::filesystem;

#ifdef ZANDOR_LINUX_FACTS
std::string firstLineWith(const std::string& file, const std::string& key) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return line;
  }
  return {};
}

std::string afterColon(const std::string& line) {
  const auto colon = line.find(':');
  if (colon == std::string::npos) return {};
  const auto start = line.find_first_not_of(" \t", colon + 1);
  return start == std::string::npos ? std::string() : line.substr(start);
}

// "module(function+0x1f) [0x...]" split into module file name and demangled function.
CallLevel callLevelOf(const char* symbol) {
  const std::string text = symbol;
  CallLevel level;
  const auto open = text.find('(');
  level.source = fileNamePart(text.substr(0, open));
  if (open == std::string::npos) return level;
  const auto plus = text.find_first_of("+)", open);
  const std::string mangled = text.substr(open + 1, plus - open - 1);
  if (mangled.empty()) return level;
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status), std::free);
  level.operation = status == 0 && demangled ? demangled.get() : mangled;
  return level;
}

std::vector<CallLevel> callLevels(int skipped) {
  void* frames[128];
  const int count = backtrace(frames, 128);
  std::unique_ptr<char*, void (*)(void*)> symbols(backtrace_symbols(frames, count), std::free);
  std::vector<CallLevel> levels;
  if (!symbols) return levels;
  for (int i = skipped + 1; i < count; ++i) levels.push_back(callLevelOf(symbols.get()[i]));
  return levels;
}

std::vector<std::string> runningTasks() {
  std::vector<std::string> tasks;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string pid = entry.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    if (std::getline(comm, name)) tasks.push_back(pid + " " + name);
  }
  return tasks;
}

std::uint64_t peakMemory() {
  const std::string line = firstLineWith("/proc/self/status", "VmPeak:");
  return std::strtoull(afterColon(line).c_str(), nullptr, 10) * 1024;
}

void setOsVersion(ReportFacts& facts) {
  utsname name{};
  if (uname(&name) != 0) return;
  char* rest = name.release;
  facts.osMajor = static_cast<int>(std::strtol(rest, &rest, 10));
  if (*rest == '.') facts.osMinor = static_cast<int>(std::strtol(rest + 1, &rest, 10));
  if (*rest == '.') facts.osBuild = static_cast<int>(std::strtol(rest + 1, &rest, 10));
  facts.osExtra = std::string(name.sysname) + " " + name.release + " " + name.version;
}

void addPlatformFacts(ReportFacts& facts, int skippedLevels) {
  setOsVersion(facts);
  facts.calls = callLevels(skippedLevels + 2);
  facts.cpuName = afterColon(firstLineWith("/proc/cpuinfo", "model name"));
  const std::string mhz = afterColon(firstLineWith("/proc/cpuinfo", "cpu MHz"));
  if (!mhz.empty()) facts.cpuMhz = std::atoi(mhz.c_str());
  struct sysinfo info {};
  if (sysinfo(&info) == 0 && info.totalram > 0) {
    facts.memoryBytes = static_cast<std::uint64_t>(info.totalram) * info.mem_unit;
    facts.freeMemoryPercent = static_cast<int>(100.0 * info.freeram / info.totalram);
  }
  facts.tasks = runningTasks();
  facts.memoryInUse = mallinfo2().uordblks;
  facts.memoryHighest = peakMemory();
}
#else
void addPlatformFacts(ReportFacts&, int) {}
#endif

std::tm localTime(std::time_t t) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  return local;
}

}  // namespace

ReportFacts gatherReportFacts(std::chrono::steady_clock::time_point started,
                              const std::string& guiFramework, int skippedLevels) {
  ReportFacts facts;
  facts.programPath = programFileName();
  std::error_code ec;
  const auto size = fs::file_size(nativePath(facts.programPath), ec);
  facts.programSize = ec ? 0 : size;
  facts.bits64 = sizeof(void*) == 8;
#if defined(__clang__)
  facts.compilerVersion = "Clang " __clang_version__;
#elif defined(__GNUC__)
  facts.compilerVersion = "GCC " __VERSION__;
#endif
  facts.guiFramework = guiFramework;
  facts.secondsFromStart =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
          .count();
  const std::time_t now = std::time(nullptr);
  const std::tm local = localTime(now);
  facts.date = dateToText(dayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
  char time[16];
  std::strftime(time, sizeof time, "%H:%M:%S", &local);
  facts.time = time;
  facts.classes = {"TIni", "TDocList", "TOleAuto"};
  addPlatformFacts(facts, skippedLevels);
  return facts;
}

void addTableFacts(ReportFacts& facts, WorkAreas& areas) {
  facts.drivers = tableDrivers();
  for (int n = 1; n <= 255; ++n) {
    const WorkArea* area = areas.area(n);
    if (area == nullptr) continue;
    WorkAreaFacts a;
    a.number = n;
    a.current = areas.currentArea() == n;
    a.alias = area->alias();
    a.driver = area->driver();
    a.recNo = area->recNo();
    a.recCount = area->recCount();
    a.eof = area->eof();
    a.bof = area->recCount() == 0;
    if (AreaIndexes* indexes = areas.indexes(n)) {
      for (const auto& file : indexes->files()) {
        for (const BoundOrder& order : file->orders) {
          if (order.order == nullptr) continue;
          a.orders.push_back({order.order->info().keyExpression, order.order->info().name,
                              indexes->controlling() == &order});
        }
      }
    }
    facts.areas.push_back(std::move(a));
  }
}

}  // namespace zandor
