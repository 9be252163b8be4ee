// The desktop program: the error handler first, then start-up, the main window and its
// event loop until the window is closed.
#include <QApplication>
#include <cstdlib>
#include <iostream>

#include "app/error_handler.h"
#include "app/program_commands.h"
#include "app/startup.h"
#include "base/paths.h"
#include "qt/german_texts.h"
#include "qt/main_window.h"
#include "qt/qt_ui.h"
#include "qt/termination.h"
#include "state/app_state.h"
#include "table/work_areas.h"
#include "ui/event_guard.h"

namespace {

constexpr const char* kNoDisplay =
    "Zandor braucht eine grafische Oberfläche, es wurde aber keine Anzeige gefunden "
    "(DISPLAY bzw. WAYLAND_DISPLAY ist nicht gesetzt oder nicht erreichbar).";

bool displayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// While the application connects to the display, a fatal message means there is none.
void startupMessages(QtMsgType type, const QMessageLogContext&, const QString&) {
  if (type == QtFatalMsg) {
    std::cerr << kNoDisplay << std::endl;
    std::_Exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zandor;
  AppState state;
  WorkAreas areas;
  ERRORSYS(state, &areas, "Qt " QT_VERSION_STR);
  if (!displayNamed()) {
    std::cerr << kNoDisplay << std::endl;
    return 1;
  }
  qInstallMessageHandler(startupMessages);
  QApplication app(argc, argv);
  qInstallMessageHandler(nullptr);
  installGermanTexts(app);

  QtUi ui;
  state.ui = &ui;
  MainWindow* window = nullptr;
  onTerminationRequest([&window] {
    if (window) window->close();
  });
  std::string programFile = programFileName();
  if (programFile.empty() && argc > 0) programFile = argv[0];
  runGuarded([&] { startProgram(state, programFile); });
  if (quitPending()) return pendingQuitCode();
  reportUnreadableSettings(state);

  ProgramCommands commands(state, areas);
  MainWindow mainWindow(state, commands);
  window = &mainWindow;
  state.oWndMain = reinterpret_cast<WindowHandle*>(&mainWindow);
  mainWindow.show();
  const int code = app.exec();
  state.oWndMain = nullptr;
  window = nullptr;
  return quitPending() ? pendingQuitCode() : code;
}
