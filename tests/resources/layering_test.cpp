#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zandor {
namespace {

namespace fs = std::filesystem;

using Layers = std::map<std::string, std::set<std::string>>;

// The layer table of docs/design.md: per folder, the folders it may include.
Layers layerTable(const std::string& design) {
  Layers layers;
  std::istringstream in(design);
  std::string line;
  bool inLayers = false;
  const std::regex row(R"(^\| `([a-z0-9]+)` \|[^|]*\|([^|]*)\|\s*$)");
  const std::regex name("`([a-z0-9]+)`");
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) inLayers = line == "## Layers";
    std::smatch m;
    if (!inLayers || !std::regex_match(line, m, row)) continue;
    std::set<std::string>& allowed = layers[m[1]];
    const std::string may = m[2];
    for (std::sregex_iterator it(may.begin(), may.end(), name), end; it != end; ++it)
      allowed.insert((*it)[1]);
  }
  return layers;
}

struct Include {
  std::string file;  // relative to src/
  std::string line;
};

// Every #include of the sources under src/, by the folder of the including file.
std::map<std::string, std::vector<Include>> includesByFolder(const fs::path& src) {
  std::map<std::string, std::vector<Include>> out;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
    const fs::path rel = fs::relative(entry.path(), src);
    std::ifstream in(entry.path());
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("#include", 0) == 0)
        out[rel.begin()->string()].push_back({rel.string(), line});
    }
  }
  return out;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

const fs::path kSource = fs::path(ZANDOR_SOURCE_DIR);

TEST(LayeringTest, TheDesignNotesTableCoversEveryFolderAndPointsDownwards) {
  const Layers layers = layerTable(readFile(kSource / "docs" / "design.md"));
  ASSERT_GE(layers.size(), 12u) << "the layer table of docs/design.md was not found";
  for (const auto& entry : fs::directory_iterator(kSource / "src")) {
    if (entry.is_directory()) {
      EXPECT_TRUE(layers.count(entry.path().filename().string()))
          << entry.path().filename() << " is missing from the layer table";
    }
  }
  // No cycle: a folder's allowed folders never allow it back, however indirectly.
  for (const auto& [folder, allowed] : layers) {
    std::set<std::string> reach(allowed.begin(), allowed.end());
    for (bool grew = true; grew;) {
      grew = false;
      for (const std::string& r : std::set<std::string>(reach)) {
        if (!layers.count(r)) {
          ADD_FAILURE() << folder << " names " << r << ", which has no row";
          continue;
        }
        for (const std::string& next : layers.at(r)) grew |= reach.insert(next).second;
      }
    }
    EXPECT_FALSE(reach.count(folder)) << folder << " reaches itself";
  }
}

TEST(LayeringTest, EveryIncludeOfAFolderIsAllowedByTheLayerTable) {
  const Layers layers = layerTable(readFile(kSource / "docs" / "design.md"));
  const std::regex project(R"(^#include "([a-z0-9_]+)/)");
  int checked = 0;
  for (const auto& [folder, includes] : includesByFolder(kSource / "src")) {
    ASSERT_TRUE(layers.count(folder)) << folder;
    for (const Include& inc : includes) {
      std::smatch m;
      if (!std::regex_search(inc.line, m, project)) continue;
      ++checked;
      const std::string target = m[1];
      EXPECT_TRUE(target == folder || layers.at(folder).count(target))
          << inc.file << ": " << inc.line << " (" << folder << " may not include " << target << ")";
    }
  }
  EXPECT_GT(checked, 300);
}

// The core stays free of the toolkits: Qt only in the Qt front end, <windows.h> only in the
// Win32 front end and the platform seams.
TEST(LayeringTest, ToolkitHeadersStayInTheirFrontEnds) {
  int scanned = 0;
  for (const auto& [folder, includes] : includesByFolder(kSource / "src")) {
    for (const Include& inc : includes) {
      ++scanned;
      const std::string& line = inc.line;
      const bool qt = line.find("<Q") != std::string::npos ||
                      line.find("<qt") != std::string::npos || line.find("/Q") != std::string::npos;
      EXPECT_FALSE(qt && folder != "qt") << inc.file << ": " << line;
      const bool windows = line.find("<windows.h>") != std::string::npos ||
                           line.find("<shellapi.h>") != std::string::npos ||
                           line.find("<commctrl.h>") != std::string::npos;
      const bool seam =
          inc.file.size() > 10 && inc.file.compare(inc.file.size() - 10, 10, "_win32.cpp") == 0;
      EXPECT_FALSE(windows && folder != "win32" && !seam) << inc.file << ": " << line;
    }
  }
  EXPECT_GT(scanned, 500);
}

// The test reads the table it is given: a table with an upward arrow is caught.
TEST(LayeringTest, TheTableReaderSeesEachRowsAllowedFolders) {
  const Layers layers = layerTable(
      "## Layers\n\n| folder | what | may include |\n|---|---|---|\n| `base` | types | |\n"
      "| `ui` | seams | `base` `state` |\n\n## Other\n\n| `late` | x | `base` |\n");
  EXPECT_EQ(layers, (Layers{{"base", {}}, {"ui", {"base", "state"}}}));
}

}  // namespace
}  // namespace zandor
