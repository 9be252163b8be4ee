#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"

namespace zandor {

// What the error report says besides the error itself, gathered from the platform and the
// open work areas (see report_facts.h). Texts are Windows-1252 bytes.
struct CallLevel {
  std::string source;
  std::string operation;
  int line = 0;
};

struct OrderFacts {
  std::string keyExpression;
  std::string name;
  bool controlling = false;
};

struct WorkAreaFacts {
  int number = 0;
  bool current = false;
  std::string alias;
  std::string driver;
  std::uint32_t recNo = 0;
  std::uint32_t recCount = 0;
  bool bof = false;
  bool eof = false;
  std::vector<OrderFacts> orders;
};

struct ReportFacts {
  std::string programPath;
  bool bits64 = true;
  std::uintmax_t programSize = 0;
  std::string compilerVersion;
  std::string guiFramework;  // the whole line's contents after its label
  int osMajor = 0;
  int osMinor = 0;
  int osBuild = 0;
  std::string osExtra;  // the service-pack text's place
  long long secondsFromStart = 0;
  std::string date;  // in the program's date format
  std::string time;  // hh:mm:ss
  std::vector<CallLevel> calls;
  std::string cpuName;
  std::optional<int> cpuMhz;
  std::uint64_t memoryBytes = 0;
  int freeMemoryPercent = 0;
  std::vector<std::string> tasks;
  std::vector<std::string> drivers;
  std::vector<WorkAreaFacts> areas;
  std::vector<std::string> classes;
  std::uint64_t memoryInUse = 0;
  std::uint64_t memoryHighest = 0;
};

// "   Error description: " and the error's description text.
std::string errorDescriptionLine(const Error& error);
// The "   Called from: " lines of the report, in report order.
std::vector<std::string> calledFromLines(const ReportFacts& facts);
// The whole report, every line ended by CR LF.
std::string errorReport(const Error& error, const ReportFacts& facts);

// A number in the picture "9,999,999": right-aligned in 9 places with thousands commas;
// larger numbers are shown whole rather than as a row of asterisks.
std::string pictureThousands(std::uint64_t n);

}  // namespace zandor
