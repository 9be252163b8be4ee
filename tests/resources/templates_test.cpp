#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "resources/dialog_template.h"
#include "resources/main_window_data.h"
#include "resources/toolbar_images.h"

namespace zandor {
namespace {

TEST(TemplatesTest, ControlsLieInsideTheirDialogAndIdsAreUnique) {
  for (const char* name : {tpl::kPreferences, tpl::kWaitMessage, tpl::kErrorDialog,
                           tpl::kFileChoice, tpl::kImportOptions, tpl::kMapping}) {
    const DialogTemplate* t = findDialogTemplate(name);
    ASSERT_NE(t, nullptr) << name;
    std::set<int> ids;
    for (const ControlTemplate& c : t->controls) {
      EXPECT_TRUE(c.rect.x >= 0 && c.rect.y >= 0 && c.rect.right() <= t->width &&
                  c.rect.bottom() <= t->height)
          << name << " control " << c.id << " " << c.caption;
      if (c.id != kNoId) {
        EXPECT_TRUE(ids.insert(c.id).second) << name << " id " << c.id;
      }
    }
  }
  EXPECT_EQ(findDialogTemplate("NONE"), nullptr);
}

TEST(TemplatesTest, EveryToolbarImageHasItsPlaceInTheImageList) {
  std::vector<std::string> images;
  for (const ToolButton& b : toolbarButtons()) {
    if (b.kind != ToolKind::Separator) images.push_back(b.image);
  }
  EXPECT_EQ(images, toolbarImageNames());
}

// Magenta is the transparent colour: an image must not fade into it at its edges, or a
// pink fringe shows on the toolbar.
TEST(ToolbarImagesTest, DrawingsAreOpaqueWithoutAMagentaFringe) {
  for (const std::string& name : toolbarImageNames()) {
    const ToolbarImage image = toolbarImage(name);
    ASSERT_EQ(image.pixels.size(), 32u * 32u) << name;
    int painted = 0;
    for (const Rgb& p : image.pixels) {
      if (p == kTransparent) continue;
      ++painted;
      const bool pinkish = p.r > 150 && p.b > 150 && p.g < 100;
      EXPECT_FALSE(pinkish) << name << " " << int(p.r) << "," << int(p.g) << "," << int(p.b);
    }
    EXPECT_GT(painted, 32 * 32 / 3) << name;
    EXPECT_EQ(image.at(0, 31), kTransparent) << name;  // a corner stays clear
  }
  const ToolbarImage unknown = toolbarImage("NONE");
  EXPECT_TRUE(std::all_of(unknown.pixels.begin(), unknown.pixels.end(),
                          [](const Rgb& p) { return p == kTransparent; }));
}

// The core stays free of the toolkit: only the Qt front end includes Qt headers.
TEST(LayeringTest, NoQtHeaderOutsideTheQtFrontEnd) {
  namespace fs = std::filesystem;
  const fs::path src = fs::path(ZANDOR_SOURCE_DIR) / "src";
  int scanned = 0;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const fs::path rel = fs::relative(entry.path(), src);
    if (*rel.begin() == "qt") continue;
    const std::string ext = entry.path().extension().string();
    if (ext != ".h" && ext != ".cpp") continue;
    ++scanned;
    std::ifstream in(entry.path());
    std::string line;
    while (std::getline(in, line)) {
      const bool include = line.rfind("#include", 0) == 0;
      EXPECT_FALSE(include &&
                   (line.find("<Q") != std::string::npos || line.find("<qt") != std::string::npos ||
                    line.find("/Q") != std::string::npos))
          << rel << ": " << line;
    }
  }
  EXPECT_GT(scanned, 50);
}

}  // namespace
}  // namespace zandor
