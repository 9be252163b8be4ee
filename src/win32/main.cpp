// The desktop program on Windows: the error handler first, then start-up, the main window
// and its message loop until the window is closed.
#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <objbase.h>

#include "app/error_handler.h"
#include "app/program_commands.h"
#include "app/startup.h"
#include "base/windows_api.h"
#include "state/app_state.h"
#include "table/work_areas.h"
#include "ui/event_guard.h"
#include "win32/main_frame.h"
#include "win32/template_dialog.h"
#include "win32/windows_ui.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace zandor;
  AppState state;
  WorkAreas areas;
  ERRORSYS(state, &areas, "Win32 API, Common Controls 6");
  // The folder chooser is a COM object of the shell.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                   ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);

  win32::WindowsUi ui;
  state.ui = &ui;
  runGuarded([&] { startProgram(state, win32::moduleFileName()); });
  if (quitPending()) return pendingQuitCode();
  reportUnreadableSettings(state);

  int code = 0;
  {
    ProgramCommands commands(state, areas);
    win32::MainFrame frame(state, commands);
    win32::setMainWindow(frame.window());
    state.oWndMain = reinterpret_cast<WindowHandle*>(frame.window());
    frame.show();
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    code = got == 0 ? static_cast<int>(msg.wParam) : 1;
    state.oWndMain = nullptr;
    win32::setMainWindow(nullptr);
  }
  state.ui = nullptr;
  if (SUCCEEDED(com)) CoUninitialize();
  return quitPending() ? pendingQuitCode() : code;
}
