#pragma once

#include <string_view>

namespace zandor::sheet {

// Writes one line to "trace.log" in the current directory. The first line of a run
// truncates the file; later lines are appended.
void traceLine(std::string_view line);

// Starts a new run: the next line truncates the file again (for tests).
void resetTraceRun();

}  // namespace zandor::sheet
