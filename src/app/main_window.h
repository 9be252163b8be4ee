#pragma once

#include <functional>
#include <string>
#include <vector>

#include "resources/main_window_data.h"

namespace zandor {

struct AppState;

// The operations of the mapping subsystem that the main window starts; the program that
// builds the window supplies them (the mapping layer sits above this one).
struct MappingCommands {
  std::function<void(AppState&)> fileChoice;           // DLGZUORDNUNG
  std::function<void(AppState&)> mappingFromSettings;  // ZUORDNUNG
  std::function<void(AppState&)> loadMapping;          // ZUORDNUNGLADEN
  // A spreadsheet or table file dropped onto the window: the file choice with it pending.
  std::function<void(AppState&, const std::string&)> fileDropped = nullptr;
};

// "Qno Zandor Version 1.2 Build 1 vom 22.01.2013" from the state's version fields.
std::string mainWindowTitle(const AppState& state);

// The menu bar and, built afresh each time, the first toolbar button's drop-down menu.
std::vector<Menu> BUILDMENU();
std::vector<MenuItem> BUILDPOPUP();

// What the window does after a command ran.
enum class Afterwards { Stay, CloseWindow };

// Runs a command of a menu, the toolbar or the drop-down menu. Quit runs nothing here: the
// window closes, and its close check writes the preferences.
Afterwards runCommand(AppState& state, Command command, const MappingCommands& mapping);

// The main window's close check, run on every way of closing: writes the preferences and
// allows the close.
bool mainWindowMayClose(AppState& state);

// The menu item "&Hilfe" says only this, whether or not a help document exists.
constexpr const char* kNoHelpMenuText = "Noch keine Hilfe hintlegt";

}  // namespace zandor
