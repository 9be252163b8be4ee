#include "resources/main_window_data.h"

namespace zandor {

const std::vector<Menu>& mainMenus() {
  static const std::vector<Menu> menus = {
      {"&Datei",
       {
           {"&Voreinstellungen", Command::Preferences},
           {"&Zuordnung (Dialog)", Command::FileChoice},
           {"Zuordnung aus Einstellung", Command::MappingFromSettings},
           {"Zuordnung &laden", Command::LoadMapping},
           {"Programm &Beenden", Command::Quit},
       }},
      {"&Hilfe",
       {
           {"&Hilfe", Command::HelpMessage},
           {"&\xdc"
            "ber Qno",
            Command::About},
       }},
  };
  return menus;
}

const std::vector<MenuItem>& toolbarPopupItems() {
  static const std::vector<MenuItem> items = {
      {"Zuordnung (Startdialog)", Command::FileChoice},
      {"Zuordnung aus Einstellung", Command::MappingFromSettings},
      {"Zuordnung laden", Command::LoadMapping},
  };
  return items;
}

const std::vector<ToolButton>& toolbarButtons() {
  static const std::vector<ToolButton> buttons = {
      {ToolKind::DropDownButton, "Zuordnung", "Zuordnung", "TASK", Command::FileChoice},
      {ToolKind::Button, "Voreinstellung", "Voreinstellungen bearbeiten", "SETUP",
       Command::Preferences},
      {},
      {ToolKind::Button, "Beenden", "Programm beenden", "QUIT", Command::Quit},
      {ToolKind::Button, "Hilfe", "Hilfe", "HELP", Command::HelpDocument},
      {},
  };
  return buttons;
}

const std::vector<std::string>& toolbarImageNames() {
  static const std::vector<std::string> names = {"TASK", "SETUP", "QUIT", "HELP"};
  return names;
}

std::string statusBarText() {
  return "Excel-Einlesetool \x96 ein Werkzeug des Zandor-Projekts";
}

}  // namespace zandor
