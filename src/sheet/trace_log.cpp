#include "sheet/trace_log.h"

#include <cstdio>

namespace zandor::sheet {

namespace {
bool firstLineWritten = false;
thread_local std::vector<std::string>* capturedLines = nullptr;
}  // namespace

TraceCapture::TraceCapture(std::vector<std::string>& into) : saved_(capturedLines) {
  capturedLines = &into;
}

TraceCapture::~TraceCapture() {
  capturedLines = saved_;
}

void traceLine(std::string_view line) {
  if (capturedLines) {
    capturedLines->emplace_back(line);
    return;
  }
  std::FILE* f = std::fopen("trace.log", firstLineWritten ? "ab" : "wb");
  if (!f) return;  // a trace that cannot be written must not stop the caller
  firstLineWritten = true;
  std::fwrite(line.data(), 1, line.size(), f);
  std::fwrite("\r\n", 1, 2, f);
  std::fclose(f);
}

void resetTraceRun() {
  firstLineWritten = false;
}

}  // namespace zandor::sheet
