#pragma once

#include <string>

namespace zandor {

struct AppState;

// Chooses the index file and the index driver for an import into the given table: settles
// lCdxIndex and cIndexFile (directory plus upper-case base name, no extension, or "") and
// returns cIndexFile. File names are found without regard to letter case.
std::string DEFAULTINDEX(AppState& state, const std::string& tablePath);

// The key field an index base name ("ADKUN", "LANUM", "LALIENUM") is compared with.
std::string keyFieldOfIndex(const std::string& indexBaseName);

// The record match's comparison: both sides trimmed and upper-cased (a-z), then equal.
bool keysMatch(const std::string& searched, const std::string& stored);

}  // namespace zandor
