#pragma once

#include <functional>

namespace zandor {

// Qt's event loops must not be left by an exception. Every action started by an event runs
// through runGuarded: a ProgramQuit (the user chose to quit in the error handler) is caught
// there, every event loop is told to end, and after a nested loop returns
// rethrowPendingQuit carries the quit on through the operation that opened it.
void runGuarded(const std::function<void()>& action);
void rethrowPendingQuit();
bool quitPending();
int pendingQuitCode();
// Forgets a handled quit, for a caller that goes on running (a test).
void clearPendingQuit();

}  // namespace zandor
