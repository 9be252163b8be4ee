#include "table/page_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/test_support.h"
#include "table/index_error.h"

namespace zandor {
namespace {

std::string page(char fill) {
  return std::string(512, fill);
}

// Writes reach the file, through the mapping (also past the address space reserved at open,
// where the mapping is moved) or with plain writes, and a read-only open reads them back.
class PageFileTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { PageFile::allowMapping(GetParam()); }
  void TearDown() override { PageFile::allowMapping(true); }
};

TEST_P(PageFileTest, BatchesGrowTheFileAndReadBackEverywhere) {
  test::TempDir dir;
  const std::string path = dir.file("seiten.cdx");
  const std::uint64_t far = 100ull << 20;  // beyond the first reservation of an empty file
  {
    PageFile file;
    ASSERT_EQ(file.create(path), 0);
    EXPECT_EQ(file.mapped(), GetParam());
    PageBatch batch;
    std::memcpy(batch.add(0, 512), page('A').data(), 512);
    std::memcpy(batch.add(1024, 512), page('B').data(), 512);
    file.write(batch);
    EXPECT_TRUE(batch.empty());
    EXPECT_EQ(file.size(), 1536u);
    file.write(far, page('C').data(), 512);
    EXPECT_EQ(file.size(), far + 512);
    std::string back(512, '\0');
    file.read(1024, back.data(), 512);
    EXPECT_EQ(back, page('B'));
    file.read(far, back.data(), 512);
    EXPECT_EQ(back, page('C'));
    EXPECT_THROW(file.read(far + 256, back.data(), 512), IndexDamage);
  }
  PageFile reader;
  ASSERT_EQ(reader.open(path, false), 0);
  EXPECT_FALSE(reader.mapped());
  EXPECT_EQ(reader.size(), far + 512);
  std::string back(512, '\0');
  reader.read(0, back.data(), 512);
  EXPECT_EQ(back, page('A'));
  reader.read(512, back.data(), 512);
  EXPECT_EQ(back, std::string(512, '\0'));  // the gap reads as zeros
  reader.read(far, back.data(), 512);
  EXPECT_EQ(back, page('C'));
  EXPECT_THROW(reader.read(far + 512, back.data(), 1), IndexDamage);
}

INSTANTIATE_TEST_SUITE_P(Writes, PageFileTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Mapped" : "Plain"; });

}  // namespace
}  // namespace zandor
