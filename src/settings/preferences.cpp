#include "settings/preferences.h"

#include <fstream>

#include "base/number_text.h"
#include "base/paths.h"
#include "base/text.h"
#include "state/app_state.h"

namespace zandor {

namespace {

enum class Kind { Text, Logical, Number };

struct PreferenceKey {
  int slot;
  const char* section;
  const char* key;
  Kind kind;
};

// In the order they are read and written.
constexpr PreferenceKey kPreferences[] = {
    {1, "Pfade", "Excel-Pfad", Kind::Text},     {2, "Pfade", "dBase-Pfad", Kind::Text},
    {3, "Header", "Excel", Kind::Logical},      {4, "Artikel", "Vorlauf", Kind::Text},
    {5, "Artikel", "Nummer", Kind::Number},     {6, "Adressen", "Vorlauf", Kind::Text},
    {7, "Adressen", "Nummer", Kind::Number},    {8, "Updaten", "Nummer", Kind::Logical},
    {9, "Updaten", "Artikelart", Kind::Number},
};

}  // namespace

Value iniLogical(const std::string& text) {
  return Value::logical(!(isBlankText(text) || beginsWith(text, ".F.")));
}

Value iniNumber(const std::string& text) {
  if (isBlankText(text)) return Value::integer(1);
  return Value::number(parseLeadingNumber(text));
}

void INI_INIT(AppState& state) {
  INI_INIT_FILE(state, state.cExePath + kSettingsFileName);
}

void INI_INIT_FILE(AppState& state, const std::string& file) {
  if (!fileExists(file) && !directoryExists(file)) {
    std::ofstream create(nativePath(file), std::ios::binary);  // an empty file; failure is ignored
  }
  state.oSettings = std::make_unique<TIni>(file);
  const TIni& ini = *state.oSettings;
  // Only a missing file gives the defaults; one that is there unread would give them too,
  // updating switched off among them, and the run would pass over every row it should change.
  state.cSettingsProblem = ini.readProblem().value_or(std::string());
  for (const PreferenceKey& pref : kPreferences) {
    const std::string text = ini.Get(pref.section, pref.key);
    switch (pref.kind) {
      case Kind::Text:
        state.vorein(pref.slot) = Value::text(isBlankText(text) ? std::string() : text);
        break;
      case Kind::Logical:
        state.vorein(pref.slot) = iniLogical(text);
        break;
      case Kind::Number:
        state.vorein(pref.slot) = iniNumber(text);
        break;
    }
  }
  state.cXlsFile = ini.Get("Excel", "xls1");
  state.cDbfFile = ini.Get("dBase", "dbf1");
}

std::string unreadableSettingsMessage(const AppState& state) {
  const std::string file = state.oSettings ? state.oSettings->cIniFile : std::string();
  return "Die Einstellungsdatei " + file + " kann nicht gelesen werden. " + state.cSettingsProblem +
         ". Ohne ihre Voreinstellungen wird nichts eingelesen, und ge\xe4nderte "
         "Voreinstellungen werden nicht gespeichert.";
}

bool VOREINSPEICHERN(AppState& state) {
  if (!state.oSettings) return true;
  for (const PreferenceKey& pref : kPreferences) {
    state.oSettings->Set(pref.section, pref.key, state.vorein(pref.slot));
  }
  return true;
}

}  // namespace zandor
