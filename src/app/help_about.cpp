#include "app/help_about.h"

#include "base/paths.h"
#include "base/text.h"
#include "state/app_state.h"
#include "ui/ui.h"

namespace zandor {

bool HILFEOEFFNEN(AppState& state) {
  if (state.ui == nullptr) return true;
  if (fileExists(kHelpFileName)) {
    state.ui->openDocument(kHelpFileName);  // a viewer that fails says so itself, or not at all
  } else {
    state.ui->information("Noch keine Hilfe hinterlegt");
  }
  return true;
}

std::string documentNotOpenedMessage(const std::string& path) {
  const bool help = fileNamePart(path) == kHelpFileName;
  const std::string extension = extensionPart(path);
  const std::string kind = upperAZ(extension) == ".PDF" ? std::string("PDF-Dateien")
                           : extension.empty()          ? std::string("Dateien ohne Endung")
                                               : "Dateien der Art \x84" + extension + "\x93";
  return std::string(help ? "Die Hilfe \x84" : "Das Dokument \x84") + path +
         "\x93 konnte nicht ge\xf6"
         "ffnet werden: Auf diesem Rechner ist kein Programm zum Anzeigen von " +
         kind +
         " eingerichtet.\r\n\r\nBitte richten Sie eines ein oder \xf6"
         "ffnen Sie die Datei mit einem anderen Programm.";
}

std::string aboutText() {
  // The project has no office: no postal address, telephone or fax to give.
  const char* const lines[] = {
      "Dieses Programm wurde hergestellt von:",
      "",
      "Das Zandor-Projekt",
      "Postanschrift: keine,",
      "das Projekt hat keine Gesch\xe4"
      "ftsstelle",
      "",
      "Telefon: keines",
      "Telefax: keines",
      "",
      "E-Mail: \xfc"
      "ber den Fehlerverfolger des Projekts",
      "Homepage: siehe README des Quellcodes",
      "",
      "",
  };
  std::string text;
  for (const char* line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

bool IMPRESSUM(AppState& state) {
  if (state.ui) state.ui->information(aboutText());
  return true;
}

}  // namespace zandor
