#pragma once

#include <chrono>
#include <string>

#include "app/error_report.h"

namespace zandor {

class WorkAreas;

// Facts of the running program and machine for the error report: program file, compiler,
// system, time since start, call levels, processor, memory, running tasks. The levels
// skipped are those of the handler itself.
ReportFacts gatherReportFacts(std::chrono::steady_clock::time_point started,
                              const std::string& guiFramework, int skippedLevels);

// The table drivers and every open work area with its orders.
void addTableFacts(ReportFacts& facts, WorkAreas& areas);

}  // namespace zandor
