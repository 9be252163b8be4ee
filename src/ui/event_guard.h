#pragma once

#include <functional>

namespace zandor {

// A toolkit's event loops must not be left by an exception. Every action started by an
// event runs through runGuarded: a ProgramQuit (the user chose to quit in the error
// handler) is caught there, the front end's loops are told to end, and after a nested loop
// returns rethrowPendingQuit carries the quit on through the operation that opened it.
// GUI thread only.
void runGuarded(const std::function<void()>& action);
void rethrowPendingQuit();
bool quitPending();
int pendingQuitCode();
// Forgets a handled quit, for a caller that goes on running (a test).
void clearPendingQuit();

// How the front end ends every running event loop with an exit code (Qt: its
// application's exit); set once at start-up. Without it a quit is only remembered.
void setEventLoopExit(std::function<void(int code)> exitLoops);

}  // namespace zandor
