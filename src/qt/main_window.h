#pragma once

#include <QMainWindow>

#include "app/main_window.h"
#include "app/program_commands.h"

class QToolButton;
class QMenu;

namespace zandor {

struct AppState;

// The program's frame window: menus, toolbar and status bar from the data in resources/;
// commands, drops and every way of closing are reported to the program's commands.
class MainWindow : public QMainWindow {
 public:
  MainWindow(AppState& state, ProgramCommands& commands);

  // The first toolbar button (its body and its arrow) and the drop-down menu it opens.
  QToolButton* dropDownButton() const { return dropDown_; }
  QMenu* dropDownMenu() const { return popup_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // A file dropped onto the window, when the program takes it.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void run(Command command);
  void buildMenus();
  void buildToolBar();
  void fillPopup();

  ProgramCommands& commands_;
  QToolButton* dropDown_ = nullptr;
  QMenu* popup_ = nullptr;
};

// A toolbar image from its drawing in resources/, magenta transparent.
QIcon toolbarIcon(const std::string& name);

}  // namespace zandor
