#pragma once

#include <string>

namespace zandor {

struct AppState;
class Ui;

// The preferences dialog "Voreinstellungen": edits the nine preferences; OK validates,
// stores and writes them. Always true.
bool VOREINST(AppState& state);

// True when both generated numbers fit (customer 10, article 15 positions); otherwise shows
// a message for each that does not, customer first.
bool VALIDVOREIN(Ui* ui, const std::string& cAdrVorlauf, const std::string& cAdrNummer,
                 const std::string& cArtVorlauf, const std::string& cArtNummer);

// The preview of a generated number: prefix and number, each without surrounding blanks.
std::string numberPreview(const std::string& prefix, const std::string& number);

// A chosen folder as stored: without a trailing separator, except at a root.
std::string folderWithoutTrailingSeparator(const std::string& folder);

}  // namespace zandor
