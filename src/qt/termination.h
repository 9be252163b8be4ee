#pragma once

#include <functional>

namespace zandor {

// Runs the action on the GUI thread when the program is asked to end by the system
// (SIGTERM or SIGINT, as at logout), so the window closes the ordinary way.
void onTerminationRequest(std::function<void()> action);

}  // namespace zandor
