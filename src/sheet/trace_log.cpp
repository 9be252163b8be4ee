#include "sheet/trace_log.h"

#include <cstdio>

namespace zandor::sheet {

namespace {
bool firstLineWritten = false;
}

void traceLine(std::string_view line) {
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
