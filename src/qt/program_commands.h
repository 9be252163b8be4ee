#pragma once

#include "app/main_window.h"

namespace zandor {

// What the main window's mapping commands start in the desktop program: the file choice
// dialog, the mapping dialog from the remembered files, and loading a profile.
MappingCommands programCommands();

}  // namespace zandor
