#pragma once

#include <string>
#include <vector>

#include "base/ini.h"

namespace zandor {

// A most-recent-first list of file names kept in one section of the settings file.
class TDocList {
 public:
  // Makes the list: optionally clears its keys, loads the non-empty entries in order and
  // saves them straight back, so gaps close up.
  static TDocList New(const TIni& oIni, std::string cSection, std::string cEntry, int nEntries = 20,
                      bool lCreate = false);

  // Writes an empty value under each of the list's keys.
  void Create() const;
  // Moves or adds the name to the top, keeps at most nEntries names, and saves.
  void DocIns(const std::string& cDoc);
  // Removes the first entry matching the name; does not save.
  void DocRemove(const std::string& cDoc);
  // Writes the names under keys 1..n and empty values under the rest.
  void Save() const;

  std::vector<std::string> aDocList;
  std::string cSection;
  std::string cEntry;
  const TIni* oIni = nullptr;
  int nEntries = 20;

 private:
  std::string keyOf(int i) const { return cEntry + std::to_string(i); }
  // Index of the first entry that begins with the name; -1 when none.
  int findMatch(const std::string& cDoc) const;
};

}  // namespace zandor
