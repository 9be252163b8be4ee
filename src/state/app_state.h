#pragma once

#include <array>
#include <memory>
#include <string>

#include "base/ini.h"
#include "base/value.h"
#include "state/mapping_tables.h"

namespace zandor {

class Ui;
// Opaque handles of the GUI's own windows; the core never looks inside.
struct WindowHandle;

// The one program-wide record. Fields that start "unset" hold an empty text here; nothing
// reads them before their first assignment.
struct AppState {
  std::string cVersion = "1.2";
  std::string cBuild = "1";
  std::string cBuildDate = "22.01.2013";
  std::string cDbfFile;
  std::string cXlsFile;
  std::string cIndexFile;
  FieldTable aFields;
  ColumnTable aColumns;
  WindowHandle* oWndMain = nullptr;
  std::unique_ptr<TIni> oSettings;
  bool lCdxIndex = false;
  bool lIndexOpen = false;
  bool lHeader = true;
  bool lAutoAdrNr = false;
  bool lAutoArtNr = false;
  // The nine preferences; slot n (1-based) is asVorein[n - 1], each unset (empty) at first.
  std::array<Value, 9> asVorein;
  int nStopColumn = 0;
  WindowHandle* oStatusBar = nullptr;
  int nErrors = 0;
  std::string cExePath;
  // Why the settings file is there but could not be read (1252 text); empty when it was
  // read or did not exist. The preferences are unknown then, so nothing is imported.
  std::string cSettingsProblem;
  WindowHandle* oDlgWait = nullptr;
  WindowHandle* oSayWait = nullptr;
  std::string cWaitText = " ";
  bool lWaitShown = false;

  // The user interface seam; set by whoever runs the program (GUI, CLI or a test).
  Ui* ui = nullptr;

  Value& vorein(int slot) { return asVorein.at(static_cast<std::size_t>(slot - 1)); }
  const Value& vorein(int slot) const { return asVorein.at(static_cast<std::size_t>(slot - 1)); }
};

// Slot numbers of asVorein.
namespace vorein {
constexpr int kXlsDirectory = 1;
constexpr int kDbfDirectory = 2;
constexpr int kHeader = 3;
constexpr int kArtPrefix = 4;
constexpr int kArtCounter = 5;
constexpr int kAdrPrefix = 6;
constexpr int kAdrCounter = 7;
constexpr int kUpdate = 8;
constexpr int kArtCriterion = 9;
}  // namespace vorein

}  // namespace zandor
