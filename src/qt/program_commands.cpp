#include "qt/program_commands.h"

#include "app/app_state.h"
#include "app/ui.h"
#include "mapping/file_choice_dialog.h"
#include "mapping/mapping_profile.h"

namespace zandor {

MappingCommands programCommands() {
  MappingCommands mapping;
  mapping.fileChoice = [](AppState& s) { DLGZUORDNUNG(s); };
  mapping.mappingFromSettings = [](AppState& s) {
    if (s.ui != nullptr) s.ui->mappingDialog(s);
  };
  mapping.loadMapping = [](AppState& s) { ZUORDNUNGLADEN(s); };
  mapping.fileDropped = [](AppState& s, const std::string& file) { DLGZUORDNUNG(s, file); };
  return mapping;
}

}  // namespace zandor
