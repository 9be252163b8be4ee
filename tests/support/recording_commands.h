#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/program_commands.h"

namespace zandor::test {

// The program's commands with the mapping steps recorded instead of run ("DLGZUORDNUNG"
// followed by a dropped file's path, "ZUORDNUNG", "ZUORDNUNGLADEN"); a test may give the
// file choice a stand-in of its own.
struct RecordingCommands : ProgramCommands {
  using ProgramCommands::ProgramCommands;

  void fileChoice(const std::string& pending) override {
    started.push_back("DLGZUORDNUNG" + pending);
    if (onFileChoice) onFileChoice(state_);
  }
  void mappingFromSettings() override { started.push_back("ZUORDNUNG"); }
  void loadMapping() override { started.push_back("ZUORDNUNGLADEN"); }

  std::vector<std::string> started;
  std::function<void(AppState&)> onFileChoice;
};

}  // namespace zandor::test
