#include "import/default_index.h"

#include "base/paths.h"
#include "base/text.h"
#include "state/app_state.h"

namespace zandor {

namespace {

bool criterionIs(const AppState& state, int criterion) {
  const Value& slot = state.vorein(vorein::kArtCriterion);
  return slot.isNumber() && slot.asNumber().toDouble() == criterion;
}

}  // namespace

std::string DEFAULTINDEX(AppState& state, const std::string& tablePath) {
  state.lCdxIndex = false;
  state.cIndexFile.clear();
  const std::string directory = directoryPart(tablePath);
  const std::string baseName = upperAZ(baseNamePart(tablePath));
  auto present = [&](const char* name) {
    return !resolveCaseInsensitive(directory + name).empty();
  };

  // The driver follows the CDX files alone, whatever kind of table this is.
  state.lCdxIndex = present("adkun.cdx") || (present("lanum.cdx") && criterionIs(state, 1)) ||
                    (present("lalienum.cdx") && criterionIs(state, 2));
  const char* ext = state.lCdxIndex ? ".cdx" : ".ntx";
  auto file = [&](const char* base) { return present((std::string(base) + ext).c_str()); };

  if (beginsWith(baseName, "ADRESSEN") && file("adkun")) {
    state.cIndexFile = directory + "ADKUN";
  } else if (beginsWith(baseName, "ARTIKEL") && file("lanum") && file("lalienum")) {
    state.cIndexFile = directory + (criterionIs(state, 2) ? "LALIENUM" : "LANUM");
  }
  return state.cIndexFile;
}

std::string keyFieldOfIndex(const std::string& indexBaseName) {
  const std::string name = upperAZ(indexBaseName);
  if (name == "ADKUN") return "KUNDE";
  if (name == "LALIENUM") return "LIEF_A_NR";
  if (name == "LANUM") return "NUMMER";
  return {};
}

bool keysMatch(const std::string& searched, const std::string& stored) {
  return upperAZ(trimmed(searched)) == upperAZ(trimmed(stored));
}

}  // namespace zandor
