#pragma once

#include <string>

namespace zandor {

struct AppState;

// Fixes the process-wide date handling: format "dd.mm.yy", epoch 1950.
void setProgramDateSettings();

// Start-up steps 1 to 5: initial state, date settings, cExePath from the program's full
// file name, the "log" directory beside the program, and the settings file.
void startProgram(AppState& state, const std::string& programFile);

// Tells the user when the settings file is there but could not be read (the program runs
// on, but imports nothing until it can be read).
void reportUnreadableSettings(AppState& state);

// The program directory of a full program file name, ending in a separator.
std::string programDirectory(const std::string& programFile);

}  // namespace zandor
