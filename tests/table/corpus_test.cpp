#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "base/encoding.h"
#include "base/text.h"
#include "support/test_support.h"
#include "table/index_build.h"
#include "table/unsupported.h"
#include "table_test_util.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;
using test::errorOf;

// Files other programs wrote: each is either maintained exactly or refused for writing
// before any byte changes, with the feature named.
struct CorpusCase {
  const char* folder;
  const char* table;
  const char* refusal;  // part of the feature named in the refusal; nullptr: maintained
};

const CorpusCase kCorpus[] = {
    {"01_vfp_candidate_tag_not_maintained", "setup.dbf", "Kandidatenschl\xfcssel"},
    {"02_vfp_integer_key_cdx_refused", "calls.dbf", "Kandidatenschl\xfcssel"},
    {"03_vfp_nullable_key_prefix", "texto.dbf", "NULL-Werten"},
    {"04_vfp_collation_tag", "DEFAPATH.DBF", "Sortierfolge PINYIN"},
    {"05_vfp_page_attribute_check_false_positive", "dtl.DBF", nullptr},
    {"06_vfp_autoinc_not_advanced", "dbase_31.dbf", "NULL-Werten"},
    {"07_numeric_truncation", "coutwildrnp.dbf", nullptr},
    {"08_excel_dbf_decimal_count_on_C_field", "wrong-exented-character-field.dbf", nullptr},
    {"09_vfp_datetime_truncated", "calls.dbf", "Kandidatenschl\xfcssel"},
    {"10_vfp_varchar_length_byte", "dbase_32.dbf", "Varchar"},
    {"11_dbase5_header_only_dbt_refused", "KOE2.DBF", nullptr},
    {"12_dbase7_refused_as_corrupt", "dbase_8c.dbf", "dBase-7-Tabelle"},
};

std::map<std::string, std::string> contents(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) {
    files[e.path().filename().string()] = test::readBytes(e.path());
  }
  return files;
}

std::vector<fs::path> indexFilesIn(const fs::path& dir) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (upperAZ(e.path().extension().string()) == ".CDX") out.push_back(e.path());
  }
  return out;
}

TEST(CorpusTest, EveryFileIsMaintainedOrRefusedBeforeAnyByteChanges) {
  ZANDOR_REQUIRE_SHARED();
  for (const CorpusCase& c : kCorpus) {
    SCOPED_TRACE(c.folder);
    test::TempDir dir;
    fs::copy(test::sharedDir() / "fixtures" / "peers" / "corpus" / c.folder, dir.path());
    for (const auto& e : fs::directory_iterator(dir.path())) {
      fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
    }
    const std::string table = dir.file(c.table);
    const auto before = contents(dir.path());
    WorkAreas areas;
    // As the import opens its table: exclusive, for writing, with the structural index.
    const auto refused = errorOf([&] {
      ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
      ASSERT_TRUE(areas.DBAPPEND());
      WorkArea& area = *areas.current();
      for (std::size_t i = 0; i < area.fields().size(); ++i) {
        if (area.fields()[i].type == 'C') {
          areas.FIELDPUT(static_cast<int>(i) + 1, Value::text("Zandor"));
          break;
        }
      }
      areas.DBCLOSEAREA();
    });
    if (c.refusal) {
      ASSERT_TRUE(refused.has_value());
      EXPECT_TRUE(isUnsupportedError(*refused)) << refused->text();
      EXPECT_NE(refused->description.find(c.refusal), std::string::npos) << refused->description;
      EXPECT_EQ(contents(dir.path()), before);
      continue;
    }
    ASSERT_FALSE(refused.has_value()) << refused->text();
    EXPECT_NE(test::readBytes(table), before.at(c.table));
    for (const fs::path& index : indexFilesIn(dir.path())) {
      EXPECT_EQ(unsupportedIndexFeature(table, index.string()), std::nullopt);
      const auto problems = checkIndex(table, index.string());
      EXPECT_TRUE(problems.empty()) << problems.front();
    }
  }
}

// Reindex and repair refuse an index file whose keys they could not build as its writer
// does, and check says so instead of reporting damage; nothing is written.
TEST(CorpusTest, CheckReindexAndRepairSayNotSupported) {
  ZANDOR_REQUIRE_SHARED();
  test::TempDir dir;
  const fs::path cdx =
      test::copyFixture("peers/corpus/04_vfp_collation_tag/defapath.CDX", dir.path());
  const fs::path dbf =
      test::copyFixture("peers/corpus/04_vfp_collation_tag/DEFAPATH.DBF", dir.path());
  for (const auto& e : fs::directory_iterator(dir.path())) {
    fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
  }
  const auto before = contents(dir.path());
  const std::string files = " '" + dbf.string() + "' '" + cdx.string() + "' 2>&1";
  for (const char* command : {"check", "reindex", "repair"}) {
    SCOPED_TRACE(command);
    std::string out;
    EXPECT_EQ(test::runCommand(test::cliPath() + " dbf " + command + files, &out), 1);
    EXPECT_NE(out.find(cp1252ToUtf8("icht unterst\xfctzt: Tag DEFAKEY")), std::string::npos) << out;
    EXPECT_NE(out.find("PINYIN"), std::string::npos) << out;
    EXPECT_EQ(out.find("Fehler"), std::string::npos) << out;
    EXPECT_EQ(contents(dir.path()), before);
  }
  // Reading in stored order goes on.
  std::string out;
  EXPECT_EQ(test::runCommand(
                test::cliPath() + " dbf dump '" + dbf.string() + "' --index '" + cdx.string() + "'",
                &out),
            0);
  EXPECT_FALSE(out.empty());
}

}  // namespace
}  // namespace zandor
