#pragma once

#include <string>
#include <vector>

#include "resources/main_window_data.h"

namespace zandor {

struct AppState;

// "Qno Zandor Version 1.2 Build 1 vom 22.01.2013" from the state's version fields.
std::string mainWindowTitle(const AppState& state);

// The menu bar and, built afresh each time, the first toolbar button's drop-down menu.
std::vector<Menu> BUILDMENU();
std::vector<MenuItem> BUILDPOPUP();

// What the window does after a command ran.
enum class Afterwards { Stay, CloseWindow };

// The menu item "&Hilfe" says only this, whether or not a help document exists.
constexpr const char* kNoHelpMenuText = "Noch keine Hilfe hintlegt";

}  // namespace zandor
