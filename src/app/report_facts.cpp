#include "app/report_facts.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/platform_facts.h"
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
