#include "app/platform_facts.h"

// The platform's facts come from Linux interfaces (glibc, /proc); elsewhere the report
// names what the standard library can tell and leaves the rest empty.
#if defined(__linux__) && defined(__GLIBC__)
#include <cxxabi.h>
#include <execinfo.h>
#include <malloc.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "base/paths.h"

namespace zandor {

namespace {

namespace fs = std::filesystem;

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

}  // namespace

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

}  // namespace zandor

#else

namespace zandor {

void addPlatformFacts(ReportFacts&, int) {}

}  // namespace zandor

#endif
