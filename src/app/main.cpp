// The program built without the GUI (ZANDOR_GUI off): it runs start-up and the close path
// only, so a first start leaves "log" and "zandor.ini" beside the program.
#include <iostream>

#include "app/console_ui.h"
#include "app/startup.h"
#include "base/error.h"
#include "base/paths.h"
#include "settings/preferences.h"
#include "state/app_state.h"

int main(int argc, char** argv) {
  using namespace zandor;
  setErrorHandler(consoleErrorHandler);
  try {
    ConsoleUi ui(std::cerr, false, false);
    AppState state;
    state.ui = &ui;
    std::string programFile = programFileName();
    if (programFile.empty() && argc > 0) programFile = argv[0];
    startProgram(state, programFile);
    VOREINSPEICHERN(state);
    return 0;
  } catch (const ProgramQuit& quit) {
    return quit.exitCode();
  }
}
