#pragma once

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/program_commands.h"
#include "resources/main_window_data.h"

namespace zandor {
struct AppState;
}

namespace zandor::win32 {

// The program's frame window: the title, the menu bar, a toolbar of flat 52 x 52 buttons
// with the project's drawings (magenta transparent), captions on two lines and balloon
// tooltips, the status bar text. Commands, dropped files and every way of closing go to
// the program's commands.
class MainFrame {
 public:
  MainFrame(AppState& state, ProgramCommands& commands);
  ~MainFrame();
  MainFrame(const MainFrame&) = delete;
  MainFrame& operator=(const MainFrame&) = delete;

  HWND window() const { return hwnd_; }
  HWND toolBar() const { return toolBar_; }
  HWND statusBar() const { return statusBar_; }
  void show();
  // The command a menu or toolbar id stands for, if any.
  bool commandOf(int id, Command& command) const;

 private:
  static LRESULT CALLBACK procedure(HWND, UINT, WPARAM, LPARAM);
  LRESULT handle(UINT message, WPARAM w, LPARAM l);
  void buildMenus();
  void buildToolBar();
  void dropDown(const NMTOOLBARW& info);
  void run(Command command);
  void dropped(HDROP drop);
  LRESULT notify(const NMHDR& header);

  ProgramCommands& commands_;
  HWND hwnd_ = nullptr;
  HWND toolBar_ = nullptr;
  HWND statusBar_ = nullptr;
  HIMAGELIST images_ = nullptr;
  std::vector<Command> commandIds_;     // index: id - kFirstCommandId
  std::vector<std::wstring> toolTips_;  // by the same index
  std::wstring tipText_;
  std::string droppedFile_;
};

}  // namespace zandor::win32
