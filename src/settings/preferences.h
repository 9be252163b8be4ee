#pragma once

#include <string>

#include "base/value.h"

namespace zandor {

struct AppState;

// The settings file's name beside the program.
constexpr const char* kSettingsFileName = "zandor.ini";

// Creates the settings file when missing and loads the preferences and the most recent
// spreadsheet and table paths into the state.
void INI_INIT(AppState& state);
// The same for a settings file at another place (the command-line companion's --settings).
void INI_INIT_FILE(AppState& state, const std::string& file);
// Writes the nine preferences back; always true.
bool VOREINSPEICHERN(AppState& state);

// The message for a settings file that is there but could not be read (1252 text).
std::string unreadableSettingsMessage(const AppState& state);

// Conversions of stored texts at start: a logical is false only when empty or beginning
// with ".F."; a number is 1 when empty, else the number at the start of the text.
Value iniLogical(const std::string& text);
Value iniNumber(const std::string& text);

}  // namespace zandor
