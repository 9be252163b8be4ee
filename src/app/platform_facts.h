#pragma once

#include "app/error_report.h"

namespace zandor {

// What the system tells of itself for the error report: its version, the call levels above
// the skipped ones, processor, memory, running tasks, the program's memory use.
void addPlatformFacts(ReportFacts& facts, int skippedLevels);

}  // namespace zandor
