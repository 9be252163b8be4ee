// zandor-cli profile make: the mapping dialog's "automatic mapping, then save" for scripts.
#include <iostream>

#include "app/console_ui.h"
#include "base/encoding.h"
#include "cli/command_registry.h"
#include "mapping/auto_mapping.h"
#include "mapping/mapping_profile.h"
#include "mapping/structure_readers.h"
#include "state/app_state.h"
#include "table/work_areas.h"

namespace zandor::cli {

namespace {

const char* const kUsage =
    "  profile make PROFIL.qno --dbf DATEI --xls DATEI [--stop SPALTE] [--auto-adr] "
    "[--auto-art]\n"
    "      ordnet die Spalten nach ihren \xc3\x9c"
    "berschriften den Feldern zu und speichert das "
    "Profil";

int makeProfile(const std::vector<std::string>& args) {
  std::string profile, dbf, xls;
  int stop = 0;
  AppState state;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasNext = i + 1 < args.size();
    if (a == "--dbf" && hasNext) {
      dbf = args[++i];
    } else if (a == "--xls" && hasNext) {
      xls = args[++i];
    } else if (a == "--stop" && hasNext) {
      stop = std::atoi(args[++i].c_str());
    } else if (a == "--auto-adr") {
      state.lAutoAdrNr = true;
    } else if (a == "--auto-art") {
      state.lAutoArtNr = true;
    } else if (profile.empty() && !a.empty() && a[0] != '-') {
      profile = a;
    } else {
      std::cerr << "Unbekanntes Argument: " << a << "\nAufruf:\n" << kUsage << '\n';
      return 2;
    }
  }
  if (profile.empty() || dbf.empty() || xls.empty() || stop < 0) {
    std::cerr << "Aufruf:\n" << kUsage << '\n';
    return 2;
  }
  ConsoleUi ui(std::cerr, std::cout, false, false);
  state.ui = &ui;
  state.cDbfFile = utf8ToCp1252(dbf);
  state.cXlsFile = utf8ToCp1252(xls);
  state.nStopColumn = stop;
  state.vorein(vorein::kHeader) = Value::logical(true);
  WorkAreas areas;
  state.aFields = fieldTableOf(state, areas, state.cDbfFile);
  state.aColumns = columnTableOf(state, state.cXlsFile);
  if (state.aFields.empty() || state.aColumns.empty()) {
    std::cerr << "Tabelle oder Tabellenkalkulation konnte nicht gelesen werden.\n";
    return 1;
  }
  AUTOMATISCHZUORDNEN(state);
  const auto bytes = encodeProfileFile(state);
  if (!bytes || !writeProfileFile(utf8ToCp1252(profile), *bytes)) {
    std::cerr << "Das Profil " << profile << " konnte nicht geschrieben werden.\n";
    return 1;
  }
  return 0;
}

int profileCommand(const std::vector<std::string>& args) {
  if (args.empty() || args[0] != "make") {
    std::cerr << "Aufruf:\n" << kUsage << '\n';
    return 2;
  }
  return makeProfile(std::vector<std::string>(args.begin() + 1, args.end()));
}

const CommandRegistration kProfile({"profile", kUsage, profileCommand});

}  // namespace

}  // namespace zandor::cli
