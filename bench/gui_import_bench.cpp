// Runs the import of a saved profile as the desktop program does from the mapping dialog
// (offscreen, with its wait message), the boxes answered by printing them, and prints the
// summary, to be timed beside `zandor-cli import` on the same files.
//   gui_import_bench PROFILE.qno SETTINGS.ini
#include <QApplication>
#include <iostream>

#include "app/startup.h"
#include "base/encoding.h"
#include "import/import_run.h"
#include "mapping/mapping_profile.h"
#include "qt/qt_ui.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "table/work_areas.h"

namespace {

using namespace zandor;

class PrintingUi : public QtUi {
 public:
  int redraws = 0;
  void information(const std::string& text) override { std::cerr << cp1252ToUtf8(text) << "\n"; }
  void summary(const std::string& text) override { std::cout << cp1252ToUtf8(text) << "\n"; }
  bool question(const std::string&, const std::string&) override { return true; }
  void showTextFile(const std::string&) override {}
  void waitEnd() override {
    redraws = waitRedraws();
    QtUi::waitEnd();
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: gui_import_bench PROFILE.qno SETTINGS.ini" << std::endl;
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  PrintingUi ui;
  AppState state;
  WorkAreas areas;
  state.ui = &ui;
  startProgram(state, argv[2]);
  INI_INIT_FILE(state, argv[2]);
  std::optional<MappingProfile> profile = readProfileFile(argv[1]);
  if (!profile) return 1;
  applyProfile(state, std::move(*profile));
  const bool done = runImport(state, areas) == ImportOutcome::Summary;
  std::cerr << "wait message drawn " << ui.redraws << " times" << std::endl;
  return done ? 0 : 1;
}
