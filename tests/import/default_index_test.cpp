#include <gtest/gtest.h>

#include "import/default_index.h"
#include "state/app_state.h"
#include "support/test_support.h"

namespace zandor {
namespace {

class DefaultIndexTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  AppState state;
  std::string table(const std::string& name) { return dir.path().string() + "/" + name; }
  std::string inDir(const std::string& base) { return dir.path().string() + "/" + base; }
  void touch(const std::string& name) { test::writeBytes(dir.path() / name, "x"); }
  void criterion(int n) { state.vorein(vorein::kArtCriterion) = Value::integer(n); }
  void SetUp() override { criterion(1); }
};

TEST_F(DefaultIndexTest, AddressTableWithBothKindsPrefersCdx) {
  touch("adkun.cdx");
  touch("adkun.ntx");
  EXPECT_EQ(DEFAULTINDEX(state, table("ADRESSEN.DBF")), inDir("ADKUN"));
  EXPECT_TRUE(state.lCdxIndex);
  EXPECT_EQ(state.cIndexFile, inDir("ADKUN"));
}

TEST_F(DefaultIndexTest, FileNamesAreFoundWithoutRegardToCase) {
  touch("ADKUN.NTX");
  EXPECT_EQ(DEFAULTINDEX(state, table("adressen.dbf")), inDir("ADKUN"));
  EXPECT_FALSE(state.lCdxIndex);
}

TEST_F(DefaultIndexTest, ArticleTablesNeedBothIndexFiles) {
  touch("lanum.cdx");
  EXPECT_EQ(DEFAULTINDEX(state, table("ARTIKEL.DBF")), "");
  EXPECT_TRUE(state.lCdxIndex);  // the driver is chosen even without a usable index
  touch("lalienum.cdx");
  EXPECT_EQ(DEFAULTINDEX(state, table("ARTIKEL.DBF")), inDir("LANUM"));
  criterion(2);
  EXPECT_EQ(DEFAULTINDEX(state, table("ARTIKEL.DBF")), inDir("LALIENUM"));
}

TEST_F(DefaultIndexTest, NtxFilesServeArticlesByCriterion) {
  touch("lanum.ntx");
  touch("lalienum.ntx");
  EXPECT_EQ(DEFAULTINDEX(state, table("Artikel2.dbf")), inDir("LANUM"));
  EXPECT_FALSE(state.lCdxIndex);
  criterion(2);
  EXPECT_EQ(DEFAULTINDEX(state, table("ARTIKEL.DBF")), inDir("LALIENUM"));
}

TEST_F(DefaultIndexTest, CdxOfAnotherTableDecidesTheDriver) {
  touch("adkun.ntx");
  touch("lanum.cdx");
  EXPECT_EQ(DEFAULTINDEX(state, table("ADRESSEN.DBF")), "");
  EXPECT_TRUE(state.lCdxIndex);
  criterion(2);  // lanum.cdx counts only for criterion 1
  EXPECT_EQ(DEFAULTINDEX(state, table("ADRESSEN.DBF")), inDir("ADKUN"));
  EXPECT_FALSE(state.lCdxIndex);
}

TEST_F(DefaultIndexTest, OtherTablesGetNoIndexAndEachRunStartsAfresh) {
  touch("adkun.cdx");
  EXPECT_EQ(DEFAULTINDEX(state, table("KUNDEN.DBF")), "");
  EXPECT_TRUE(state.lCdxIndex);
  test::TempDir other;
  EXPECT_EQ(DEFAULTINDEX(state, other.path().string() + "/ADRESSEN.DBF"), "");
  EXPECT_FALSE(state.lCdxIndex);
  EXPECT_EQ(state.cIndexFile, "");
}

TEST_F(DefaultIndexTest, TablePathWithoutDirectoryLooksInTheWorkingDirectory) {
  touch("adkun.ntx");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string chosen = DEFAULTINDEX(state, "ADRESSEN.DBF");
  std::filesystem::current_path(previous);
  EXPECT_EQ(chosen, "ADKUN");
}

TEST(RecordMatchTest, KeysCompareTrimmedAndInUpperCase) {
  EXPECT_TRUE(keysMatch("ABC", "ABC       "));
  EXPECT_TRUE(keysMatch("abc", "ABC"));
  EXPECT_TRUE(keysMatch(" \tabc", "ABC  "));
  EXPECT_FALSE(keysMatch("12", "123       "));
  EXPECT_FALSE(keysMatch("m\xfc", "M\xdc"));  // umlauts keep their case
  EXPECT_EQ(keyFieldOfIndex("ADKUN"), "KUNDE");
  EXPECT_EQ(keyFieldOfIndex("lanum"), "NUMMER");
  EXPECT_EQ(keyFieldOfIndex("LALIENUM"), "LIEF_A_NR");
}

}  // namespace
}  // namespace zandor
