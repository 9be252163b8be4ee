// zandor-cli import: runs the import of a saved mapping profile without a window.
#include <unistd.h>

#include <iostream>

#include "app/console_ui.h"
#include "app/startup.h"
#include "base/encoding.h"
#include "base/paths.h"
#include "cli/command_registry.h"
#include "import/import_run.h"
#include "mapping/mapping_profile.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "table/work_areas.h"

namespace zandor::cli {

namespace {

struct ImportOptions {
  std::string profile;
  std::string settings;
  std::string xls;
  std::string dbf;
  bool noHeader = false;
  bool answer = false;
};

const char* const kUsage =
    "  import PROFIL.qno [--settings DATEI] [--xls DATEI] [--dbf DATEI] [--no-header] "
    "[--yes|--no]\n"
    "      liest die Tabelle eines gespeicherten Profils ein; ohne --settings gelten "
    "zandor.ini\n"
    "      und das Verzeichnis log neben dem Programm, sonst neben der angegebenen Datei";

int usageError(const std::string& message) {
  std::cerr << message << "\nAufruf:\n" << kUsage << '\n';
  return 2;
}

int runImportCommand(const std::vector<std::string>& args) {
  ImportOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto next = [&](std::string& target) {
      if (i + 1 >= args.size()) return false;
      target = args[++i];
      return true;
    };
    if (a == "--settings" || a == "--xls" || a == "--dbf") {
      std::string& target =
          a == "--settings" ? options.settings : (a == "--xls" ? options.xls : options.dbf);
      if (!next(target)) return usageError("Zu " + a + " fehlt die Datei.");
    } else if (a == "--no-header") {
      options.noHeader = true;
    } else if (a == "--yes") {
      options.answer = true;
    } else if (a == "--no") {
      options.answer = false;
    } else if (!a.empty() && a[0] == '-') {
      return usageError("Unbekannte Option: " + a);
    } else if (options.profile.empty()) {
      options.profile = a;
    } else {
      return usageError("Nur ein Profil kann eingelesen werden.");
    }
  }
  if (options.profile.empty()) return usageError("Es wurde kein Profil angegeben.");

  ConsoleUi ui(std::cerr, std::cout, options.answer, isatty(STDERR_FILENO) != 0);
  AppState state;
  state.ui = &ui;
  std::string home = programFileName();
  if (!options.settings.empty()) home = utf8ToCp1252(options.settings);
  startProgram(state, home);  // settings and log directory beside the program or the file
  if (!options.settings.empty()) INI_INIT_FILE(state, home);

  std::optional<MappingProfile> profile = readProfileFile(utf8ToCp1252(options.profile));
  if (!profile) {
    std::cerr << "Das Profil " << options.profile
              << " kann nicht gelesen werden oder ist kein Zuordnungsprofil.\n";
    return 1;
  }
  applyProfile(state, std::move(*profile));
  // File names from the command line are UTF-8; inside the program they are 1252 text.
  if (!options.xls.empty()) state.cXlsFile = utf8ToCp1252(options.xls);
  if (!options.dbf.empty()) state.cDbfFile = utf8ToCp1252(options.dbf);
  state.lHeader = !options.noHeader;

  WorkAreas areas;
  return runImport(state, areas) == ImportOutcome::Summary ? 0 : 1;
}

const CommandRegistration kImport({"import", kUsage, runImportCommand});

}  // namespace

}  // namespace zandor::cli
