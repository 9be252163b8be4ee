#include "app/main_window.h"

#include "app/app_state.h"
#include "app/help_about.h"
#include "app/ui.h"
#include "settings/preferences.h"
#include "settings/preferences_dialog.h"

namespace zandor {

std::string mainWindowTitle(const AppState& state) {
  return "Qno Zandor Version " + state.cVersion + " Build " + state.cBuild + " vom " +
         state.cBuildDate;
}

std::vector<Menu> BUILDMENU() {
  return mainMenus();
}

std::vector<MenuItem> BUILDPOPUP() {
  return toolbarPopupItems();
}

Afterwards runCommand(AppState& state, Command command, const MappingCommands& mapping) {
  auto run = [&state](const std::function<void(AppState&)>& operation) {
    if (operation) operation(state);
  };
  switch (command) {
    case Command::FileChoice:
      run(mapping.fileChoice);
      break;
    case Command::MappingFromSettings:
      run(mapping.mappingFromSettings);
      break;
    case Command::LoadMapping:
      run(mapping.loadMapping);
      break;
    case Command::Preferences:
      VOREINST(state);
      break;
    case Command::Quit:
      return Afterwards::CloseWindow;
    case Command::HelpDocument:
      HILFEOEFFNEN(state);
      break;
    case Command::HelpMessage:
      if (state.ui) state.ui->information(kNoHelpMenuText);
      break;
    case Command::About:
      IMPRESSUM(state);
      break;
  }
  return Afterwards::Stay;
}

bool mainWindowMayClose(AppState& state) {
  return VOREINSPEICHERN(state);
}

}  // namespace zandor
