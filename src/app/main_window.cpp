#include "app/main_window.h"

#include "state/app_state.h"

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

}  // namespace zandor
