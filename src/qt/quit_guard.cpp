#include "qt/quit_guard.h"

#include <QCoreApplication>
#include <exception>
#include <iostream>

#include "base/error.h"

namespace zandor {

namespace {
bool gQuitPending = false;
int gQuitCode = 0;
}  // namespace

void runGuarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const ProgramQuit& quit) {
    gQuitPending = true;
    gQuitCode = quit.exitCode();
    QCoreApplication::exit(gQuitCode);
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
