#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/value.h"
#include "state/mapping_tables.h"

namespace zandor {

struct AppState;

// What a mapping profile carries, item by item.
struct MappingProfile {
  FieldTable fields;        // item 1: aFields
  ColumnTable columns;      // item 2: aColumns
  std::string xlsFile;      // item 3: cXlsFile
  std::string dbfFile;      // item 4: cDbfFile
  int stopColumn = 0;       // item 5: nStopColumn
  bool headerPreference{};  // item 6: asVorein slot 3, not lHeader
  bool autoArtNr{};         // item 7: lAutoArtNr
  bool autoAdrNr{};         // item 8: lAutoAdrNr
};

// The byte that ends a profile file.
constexpr char kProfileEndMark = '\x1A';

// The eight items of a profile taken from the program state.
std::vector<Value> profileList(const AppState& state);

// The checked profile of a decoded list: exactly 8 items of the right kinds, rows of 9 and
// 3 slots with the kinds the mapping tables hold; nothing otherwise.
std::optional<MappingProfile> profileFromList(const std::vector<Value>& list);

// The whole file: encoded list and end mark; nothing when the profile is too large.
std::optional<std::string> encodeProfileFile(const AppState& state);
// A file's bytes (end mark optional) to a checked profile; nothing for a damaged or foreign
// file.
std::optional<MappingProfile> decodeProfileFile(std::string_view bytes);

// A profile file read and checked; nothing when it cannot be read or is damaged or foreign.
std::optional<MappingProfile> readProfileFile(const std::string& path);
// Writes the bytes of a profile file completely or not at all (an existing file is only
// replaced by a complete one).
bool writeProfileFile(const std::string& path, const std::string& bytes);

// Assigns the items to the program state, in item order.
void applyProfile(AppState& state, MappingProfile profile);

// Saves the current mapping to a profile file chosen by the user. False when no file name
// was given or nothing could be written.
bool ZUORDNUNGSPEICHERN(AppState& state);
// Loads a profile chosen by the user; true when one was loaded, and the mapping dialog
// follows. A damaged or foreign file is refused with a message and changes nothing.
bool ZUORDNUNGLADEN(AppState& state);

}  // namespace zandor
