#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "resources/program_icon.h"
#include "resources/toolbar_images.h"
#include "support/test_support.h"

namespace zandor {
namespace {

std::uint32_t le(const std::string& bytes, std::size_t at, int width) {
  std::uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) {
    v = (v << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return v;
}

// The icon the Windows build links is the one drawn here; ZANDOR_WRITE_ICON=1 renews it
// after the drawing changed.
TEST(ProgramIconTest, TheWindowsBuildsIconIsTheDrawing) {
  const std::string file = std::string(ZANDOR_SOURCE_DIR) + "/src/win32/zandor.ico";
  const std::string drawn = programIconFile();
  const char* write = std::getenv("ZANDOR_WRITE_ICON");
  if (write != nullptr && std::string(write) == "1") test::writeBytes(file, drawn);
  EXPECT_TRUE(test::readBytes(file) == drawn)
      << file << " differs from the drawing; renew it with ZANDOR_WRITE_ICON=1";
}

TEST(ProgramIconTest, ThreeSizesWhoseTransparencyFollowsTheMagentaOfTheDrawing) {
  const std::string ico = programIconFile();
  ASSERT_GE(ico.size(), 6u + 3 * 16);
  EXPECT_EQ(le(ico, 2, 2), 1u);  // an icon, not a cursor
  ASSERT_EQ(le(ico, 4, 2), 3u);
  std::size_t end = 6 + 3 * 16;
  const int sizes[] = {16, 32, 48};
  for (int i = 0; i < 3; ++i) {
    const std::size_t entry = 6 + 16 * static_cast<std::size_t>(i);
    const int size = sizes[i];
    EXPECT_EQ(static_cast<int>(static_cast<std::uint8_t>(ico[entry])), size);
    EXPECT_EQ(le(ico, entry + 6, 2), 32u);
    const std::uint32_t length = le(ico, entry + 8, 4);
    const std::uint32_t offset = le(ico, entry + 12, 4);
    ASSERT_EQ(offset, end) << "images follow each other";
    end += length;
    const std::size_t maskStride = ((size + 31) / 32) * 4;
    EXPECT_EQ(length, 40 + static_cast<std::uint32_t>(size * size * 4 + maskStride * size));
    EXPECT_EQ(le(ico, offset + 8, 4), static_cast<std::uint32_t>(2 * size));
  }
  EXPECT_EQ(end, ico.size());

  // At 32 pixels each pixel is the drawing's own: magenta is see-through in the alpha and
  // in the AND mask, every other colour opaque and unchanged.
  const ToolbarImage drawing = toolbarImage("TASK");
  const std::size_t image = le(ico, 6 + 16 + 12, 4) + 40;
  const std::size_t mask = image + 32 * 32 * 4;
  int transparent = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const std::size_t at = image + static_cast<std::size_t>(((31 - y) * 32 + x) * 4);
      const bool maskBit =
          (static_cast<std::uint8_t>(ico[mask + static_cast<std::size_t>((31 - y) * 4 + x / 8)]) &
           (0x80 >> (x % 8))) != 0;
      const Rgb c = drawing.at(x, y);
      if (c == kTransparent) {
        ++transparent;
        EXPECT_EQ(static_cast<std::uint8_t>(ico[at + 3]), 0) << x << "," << y;
        EXPECT_TRUE(maskBit) << x << "," << y;
      } else {
        EXPECT_EQ(static_cast<std::uint8_t>(ico[at + 3]), 255) << x << "," << y;
        EXPECT_FALSE(maskBit) << x << "," << y;
        EXPECT_EQ(static_cast<std::uint8_t>(ico[at + 2]), c.r) << x << "," << y;
        EXPECT_EQ(static_cast<std::uint8_t>(ico[at + 0]), c.b) << x << "," << y;
      }
    }
  }
  EXPECT_GT(transparent, 0) << "the drawing has a see-through background";
}

}  // namespace
}  // namespace zandor
