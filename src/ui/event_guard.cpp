#include "ui/event_guard.h"

#include <exception>
#include <iostream>

#include "base/error.h"

namespace zandor {

namespace {
bool gQuitPending = false;
int gQuitCode = 0;
std::function<void(int)> gExitLoops;
}  // namespace

void setEventLoopExit(std::function<void(int code)> exitLoops) {
  gExitLoops = std::move(exitLoops);
}

void runGuarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const ProgramQuit& quit) {
    gQuitPending = true;
    gQuitCode = quit.exitCode();
    if (gExitLoops) gExitLoops(gQuitCode);
  } catch (const std::exception& e) {
    // No guard of the operation caught it; the program goes on, as after a default result.
    std::cerr << "zandor: " << e.what() << std::endl;
  }
}

void rethrowPendingQuit() {
  if (gQuitPending) throw ProgramQuit(gQuitCode);
}

bool quitPending() {
  return gQuitPending;
}

int pendingQuitCode() {
  return gQuitCode;
}

void clearPendingQuit() {
  gQuitPending = false;
  gQuitCode = 0;
}

}  // namespace zandor
