#include "app/program_commands.h"

#include "app/help_about.h"
#include "import/import_run.h"
#include "mapping/file_choice_dialog.h"
#include "mapping/mapping_dialog.h"
#include "mapping/mapping_profile.h"
#include "settings/preferences.h"
#include "settings/preferences_dialog.h"
#include "state/app_state.h"
#include "ui/event_guard.h"
#include "ui/ui.h"

namespace zandor {

Afterwards ProgramCommands::command(Command command) {
  Afterwards after = Afterwards::Stay;
  runGuarded([&] {
    switch (command) {
      case Command::FileChoice:
        fileChoice(std::string());
        break;
      case Command::MappingFromSettings:
        mappingFromSettings();
        break;
      case Command::LoadMapping:
        loadMapping();
        break;
      case Command::Preferences:
        VOREINST(state_);
        break;
      case Command::Quit:
        after = Afterwards::CloseWindow;
        break;
      case Command::HelpDocument:
        HILFEOEFFNEN(state_);
        break;
      case Command::HelpMessage:
        if (state_.ui) state_.ui->information(kNoHelpMenuText);
        break;
      case Command::About:
        IMPRESSUM(state_);
        break;
    }
  });
  return after;
}

bool ProgramCommands::takesDroppedFile(const std::string& path) const {
  return isImportableFile(path);
}

void ProgramCommands::fileDropped(const std::string& path) {
  if (!takesDroppedFile(path)) return;
  runGuarded([&] { fileChoice(path); });
}

bool ProgramCommands::mayClose() {
  bool may = true;
  runGuarded([&] { may = VOREINSPEICHERN(state_); });
  return may;
}

void ProgramCommands::fileChoice(const std::string& pendingFile) {
  if (DLGZUORDNUNG(state_, pendingFile)) mappingDialog();
}

void ProgramCommands::mappingFromSettings() {
  mappingDialog();
}

void ProgramCommands::loadMapping() {
  if (ZUORDNUNGLADEN(state_)) mappingDialog();
}

void ProgramCommands::mappingDialog() {
  WorkAreas& areas = areas_;
  ZUORDNUNG(state_, areas, [&areas](AppState& s) { EINLESEN(s, areas); });
}

}  // namespace zandor
