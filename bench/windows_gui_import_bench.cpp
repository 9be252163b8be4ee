// Runs the import of a saved profile as zandor.exe does from its mapping dialog (the main
// window on screen, the wait message painted, boxes answered by printing them) and prints
// the summary, to be timed beside `zandor-cli.exe import` on the same files under Wine.
//   windows_gui_import_bench PROFILE.qno SETTINGS.ini
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <iostream>

#include "app/program_commands.h"
#include "app/startup.h"
#include "base/encoding.h"
#include "import/import_run.h"
#include "mapping/mapping_profile.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "table/work_areas.h"
#include "win32/main_frame.h"
#include "win32/template_dialog.h"
#include "win32/windows_ui.h"

namespace {

using namespace zandor;

class PrintingUi : public win32::WindowsUi {
 public:
  void information(const std::string& text) override { std::cerr << cp1252ToUtf8(text) << "\n"; }
  void summary(const std::string& text) override { std::cout << cp1252ToUtf8(text) << "\n"; }
  bool question(const std::string&, const std::string&) override { return true; }
  void showTextFile(const std::string&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: windows_gui_import_bench PROFILE.qno SETTINGS.ini" << std::endl;
    return 2;
  }
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  PrintingUi ui;
  AppState state;
  WorkAreas areas;
  state.ui = &ui;
  startProgram(state, argv[2]);
  INI_INIT_FILE(state, argv[2]);
  ProgramCommands commands(state, areas);
  win32::MainFrame frame(state, commands);
  win32::setMainWindow(frame.window());
  frame.show();
  win32::pumpPaint();
  std::optional<MappingProfile> profile = readProfileFile(argv[1]);
  if (!profile) return 1;
  applyProfile(state, std::move(*profile));
  const bool done = runImport(state, areas) == ImportOutcome::Summary;
  win32::setMainWindow(nullptr);
  return done ? 0 : 1;
}
