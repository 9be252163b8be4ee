#pragma once

#include <string>
#include <vector>

namespace zandor {

// The main window's commands, menus, toolbar and status text as data. Texts are
// Windows-1252 bytes.

enum class Command {
  FileChoice,           // the file choice dialog
  MappingFromSettings,  // the mapping dialog on the current files
  LoadMapping,          // load a mapping profile
  Preferences,          // the preferences dialog
  Quit,                 // close the main window
  HelpDocument,         // open the help document
  HelpMessage,          // the menu's help item: a message only
  About,                // the about box
};

struct MenuItem {
  std::string caption;
  Command command;
};

struct Menu {
  std::string caption;
  std::vector<MenuItem> items;
};

enum class ToolKind { Button, DropDownButton, Separator };

struct ToolButton {
  ToolKind kind = ToolKind::Separator;
  std::string caption;
  std::string tooltip;
  std::string image;  // toolbar image name (TASK, SETUP, QUIT, HELP)
  Command command = Command::Quit;
};

// The menu bar, left to right.
const std::vector<Menu>& mainMenus();
// The drop-down menu of the first toolbar button.
const std::vector<MenuItem>& toolbarPopupItems();
// The toolbar, left to right, separators included.
const std::vector<ToolButton>& toolbarButtons();
// The toolbar images in image list order.
const std::vector<std::string>& toolbarImageNames();

// The status bar's one text.
std::string statusBarText();

// Size of a toolbar button and of its image, in pixels.
constexpr int kToolButtonSize = 52;
constexpr int kToolImageSize = 32;
constexpr int kToolBarHeight = 55;

}  // namespace zandor
