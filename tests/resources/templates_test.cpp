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

}  // namespace
}  // namespace zandor
