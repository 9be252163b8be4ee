#pragma once

#include <QMainWindow>

#include "app/main_window.h"

class QToolButton;
class QMenu;

namespace zandor {

struct AppState;

// The program's frame window: menus, toolbar and status bar from the data in resources/,
// commands through runCommand, and the close check on every way of closing.
class MainWindow : public QMainWindow {
 public:
  MainWindow(AppState& state, MappingCommands mapping);

  // The first toolbar button (its body and its arrow) and the drop-down menu it opens.
  QToolButton* dropDownButton() const { return dropDown_; }
  QMenu* dropDownMenu() const { return popup_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // A spreadsheet or a .dbf file dropped onto the window opens the file choice with it.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void run(Command command);
  void buildMenus();
  void buildToolBar();
  void fillPopup();

  AppState& state_;
  MappingCommands mapping_;
  QToolButton* dropDown_ = nullptr;
  QMenu* popup_ = nullptr;
};

// A toolbar image from its drawing in resources/, magenta transparent.
QIcon toolbarIcon(const std::string& name);

}  // namespace zandor
