#include "table/index_maintenance.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/text.h"
#include "fake_record.h"
#include "index_model.h"
#include "support/test_support.h"
#include "table/area_record.h"
#include "table/cdx_file.h"
#include "table/ntx_file.h"
#include "table/table_create.h"
#include "table/work_area.h"

#include <random>

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

// The same record seen without its stored bytes, so keys come from evaluating.
class EvaluatedOnly : public RecordContext {
 public:
  explicit EvaluatedOnly(const RecordContext& r) : r_(r) {}
  int fieldIndex(std::string_view upperName) const override { return r_.fieldIndex(upperName); }
  FieldInfo field(int index) const override { return r_.field(index); }
  Value fieldValue(int index) const override { return r_.fieldValue(index); }
  std::uint32_t recordNumber() const override { return r_.recordNumber(); }
  bool deleted() const override { return r_.deleted(); }
  std::string alias() const override { return r_.alias(); }

 private:
  const RecordContext& r_;
};

// Keys of a field or UPPER(field) are made from the stored bytes; they must be exactly
// the keys that evaluating the expression gives, whatever the key length and case rule.
TEST(KeyOfRecord, KeysFromStoredBytesEqualEvaluatedKeys) {
  test::TempDir dir;
  const std::string table = dir.file("KUNDEN.dbf");
  createTable(table, {{"NAME", 'C', 12, 0}, {"PLZ", 'C', 5, 0}, {"NR", 'N', 6, 0}});
  {
    auto cdx = CdxFile::create(dir.file("k.cdx"));
    cdx->addTag({"PLAIN", "NAME", "", 'C', 12, false, false, false}, {});
    cdx->addTag({"UPPER", "UPPER(NAME)", "", 'C', 12, false, false, false}, {});
    cdx->addTag({"SHORT", "KUNDEN->NAME", "", 'C', 8, false, true, false}, {});
    cdx->addTag({"LONG", "UPPER(NAME)", "", 'C', 16, false, false, true}, {});
    cdx->addTag({"NOCASE", "PLZ", "", 'C', 5, false, false, true}, {});
    cdx->addTag({"JOINED", "NAME+PLZ", "", 'C', 17, false, false, false}, {});
    cdx->addTag({"LOWER", "LOWER(NAME)", "", 'C', 12, false, false, false}, {});
    cdx->addTag({"NUMBER", "NR", "", 'N', 8, false, false, false}, {});
    cdx->commit();
    NtxFile::NewOrder def;
    def.keyExpression = "UPPER(NAME)";
    def.keyLength = 12;
    NtxFile::create(dir.file("k.ntx"), def, {});
  }
  auto area = WorkArea::open(table, "DBFCDX", false, false);
  AreaRecord record(*area);
  ErrorGuard guard;
  auto cdx = openIndexFile(dir.file("k.cdx"), IndexDriver::Cdx, false, record);
  auto ntx = openIndexFile(dir.file("k.ntx"), IndexDriver::Ntx, false, record);
  ASSERT_TRUE(cdx && ntx);
  std::vector<BoundOrder*> orders;
  for (auto& b : cdx->orders) orders.push_back(&b);
  orders.push_back(&ntx->orders[0]);

  // Which orders take the direct way: a field or UPPER of one, and a C key.
  std::vector<bool> direct;
  for (BoundOrder* b : orders) direct.push_back(b->key.fieldForm().has_value());
  EXPECT_EQ(direct, (std::vector<bool>{true, true, true, true, true, false, false, true, true}));
  EXPECT_FALSE(record.textFieldBytes(2).has_value());  // N field: evaluated

  std::mt19937 random(7);
  const std::string letters =
      "aAzZ mM\xe4\xc4\xdf"
      "09-";
  for (int i = 0; i < 300; ++i) {
    area->append();
    std::string name(random() % 14, ' '), plz(random() % 6, ' ');
    for (char& c : name) c = letters[random() % letters.size()];
    for (char& c : plz) c = letters[random() % letters.size()];
    area->putField(0, Value::text(name));
    area->putField(1, Value::text(plz));
    area->putField(2, Value::integer(static_cast<std::int64_t>(random() % 1000)));
    for (BoundOrder* b : orders) {
      const std::string evaluated = b->keyOf(EvaluatedOnly(record));
      EXPECT_EQ(b->keyOf(record), evaluated) << b->order->info().name << " [" << name << "]";
      EXPECT_EQ(evaluated.size(), static_cast<std::size_t>(b->order->info().keyLength));
    }
  }
}

}  // namespace
}  // namespace zandor
