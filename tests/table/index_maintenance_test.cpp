#include "table/index_maintenance.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/text.h"
#include "fake_record.h"
#include "index_model.h"
#include "support/test_support.h"
#include "table/cdx_file.h"
#include "table/ntx_file.h"

namespace zandor {
namespace {

// One table record run through the three rules against a CDX tag with a FOR condition and
// an NTX order without one.
class KeyMaintenance : public ::testing::Test {
 protected:
  void SetUp() override {
    record.add({"KUNDE", 'C', 6, 0}, Value::text("      "));
    record.add({"AKTIV", 'L', 1, 0}, Value::logical(false));
    {
      auto cdx = CdxFile::create(dir.file("k.cdx"));
      cdx->addTag({"AKTIVE", "UPPER(KUNDE)", "AKTIV", 'C', 6, false, false, false}, {});
      cdx->commit();
      NtxFile::NewOrder def;
      def.keyExpression = "KUNDE";
      def.keyLength = 6;
      NtxFile::create(dir.file("k.ntx"), def, {});
    }
    ErrorGuard guard;
    cdx = openIndexFile(dir.file("k.cdx"), IndexDriver::Cdx, true, record);
    ntx = openIndexFile(dir.file("k.ntx"), IndexDriver::Ntx, true, record);
    ASSERT_TRUE(cdx && ntx);
  }

  // Writes the record: snapshot before (unless appended), change, maintain, commit.
  void write(std::uint32_t recno, bool appended, const std::string& kunde, bool aktiv) {
    record.recno = recno;
    std::optional<KeySnapshot> cBefore, nBefore;
    if (!appended) {
      cBefore = snapshotKey(cdx->orders[0], record);
      nBefore = snapshotKey(ntx->orders[0], record);
    }
    record.set(0, Value::text(padRight(kunde, 6)));
    record.set(1, Value::logical(aktiv));
    maintainKeys(cdx->orders[0], cBefore, snapshotKey(cdx->orders[0], record), recno);
    maintainKeys(ntx->orders[0], nBefore, snapshotKey(ntx->orders[0], record), recno);
    cdx->file->commit();
    ntx->file->commit();
  }
  void load(const std::string& kunde, bool aktiv) {
    record.set(0, Value::text(padRight(kunde, 6)));
    record.set(1, Value::logical(aktiv));
  }
  std::vector<IndexEntry> keys(OpenIndex& index) { return test::scanAll(index.file->order(0)); }

  test::TempDir dir;
  test::FakeRecord record;
  std::unique_ptr<OpenIndex> cdx, ntx;
};

TEST_F(KeyMaintenance, TheThreeRules) {
  write(1, true, "abc", true);
  write(2, true, "xyz", false);  // appended, FOR false: no CDX key
  EXPECT_EQ(keys(*cdx), (std::vector<IndexEntry>{{"ABC   ", 1}}));
  EXPECT_EQ(keys(*ntx), (std::vector<IndexEntry>{{"abc   ", 1}, {"xyz   ", 2}}));

  load("xyz", false);
  write(2, false, "xyz", true);  // same key, FOR false -> true: inserted
  EXPECT_EQ(keys(*cdx), (std::vector<IndexEntry>{{"ABC   ", 1}, {"XYZ   ", 2}}));

  load("abc", true);
  write(1, false, "abd", true);  // key moves
  EXPECT_EQ(keys(*cdx), (std::vector<IndexEntry>{{"ABD   ", 1}, {"XYZ   ", 2}}));
  EXPECT_EQ(keys(*ntx), (std::vector<IndexEntry>{{"abd   ", 1}, {"xyz   ", 2}}));

  load("xyz", true);
  write(2, false, "xyz", false);  // same key, FOR true -> false: removed
  EXPECT_EQ(keys(*cdx), (std::vector<IndexEntry>{{"ABD   ", 1}}));

  load("abd", true);
  write(1, false, "new", false);  // key changes and leaves the FOR set
  EXPECT_TRUE(keys(*cdx).empty());
  EXPECT_EQ(keys(*ntx), (std::vector<IndexEntry>{{"new   ", 1}, {"xyz   ", 2}}));

  // what was committed is on disk
  auto again = NtxFile::open(dir.file("k.ntx"), false);
  EXPECT_EQ(test::scanAll(again->order(0)).size(), 2u);
  EXPECT_TRUE(again->check().ok());
}

}  // namespace
}  // namespace zandor
