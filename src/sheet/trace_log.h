#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zandor::sheet {

// Writes one line to "trace.log" in the current directory. The first line of a run
// truncates the file; later lines are appended.
void traceLine(std::string_view line);

// While one lives, trace lines of this thread are kept in the given list instead of being
// written; whoever reads ahead on another thread writes them once the reads are used.
class TraceCapture {
 public:
  explicit TraceCapture(std::vector<std::string>& into);
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

 private:
  std::vector<std::string>* saved_;
};

// Starts a new run: the next line truncates the file again (for tests).
void resetTraceRun();

}  // namespace zandor::sheet
