#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

#include "index_model.h"
#include "support/index_key_values.h"
#include "support/test_support.h"
#include "table/cdx_file.h"
#include "table/index_key.h"

namespace zandor {
namespace {

using test::ModelHooks;
using test::ModelRun;

void runCdx(const ModelRun& run) {
  test::TempDir dir;
  std::string path = dir.file("model.cdx");
  ModelHooks hooks;
  hooks.create = [&]() -> std::unique_ptr<IndexFile> {
    auto f = CdxFile::create(path);
    CdxFile::NewTag def;
    def.name = "MODEL";
    def.keyExpression = run.type == 'C' ? "KEY" : "VALUE";
    def.keyType = run.type;
    def.keyLength = run.keyLength;
    def.unique = run.unique;
    def.descending = run.descending;
    f->addTag(def, {});
    f->commit();
    return f;
  };
  hooks.reopen = [&]() -> std::unique_ptr<IndexFile> {
    auto f = CdxFile::open(path, true);
    f->order(0).setKeyType(run.type);
    return f;
  };
  hooks.check = [](IndexFile& f) { return static_cast<CdxFile&>(f).check(); };
  test::runIndexModel(run, hooks);
}

TEST(CdxModel, CharacterKeysOfTen) {
  ModelRun run;
  run.operations = 30000;
  runCdx(run);
}

TEST(CdxModel, LongCharacterKeysSplitInteriorPagesEarly) {
  ModelRun run;
  run.keyLength = 120;
  run.operations = 8000;
  run.seed = 7;
  runCdx(run);
}

TEST(CdxModel, MaximumKeyLength) {
  ModelRun run;
  run.keyLength = 240;
  run.operations = 3000;
  run.batch = 200;
  run.seed = 3;
  runCdx(run);
}

TEST(CdxModel, TwoByteKeysUseTwoByteEntries) {
  ModelRun run;
  run.keyLength = 2;
  run.operations = 12000;
  run.seed = 11;
  runCdx(run);
}

TEST(CdxModel, NumericKeys) {
  ModelRun run;
  run.type = 'N';
  run.keyLength = 8;
  run.operations = 25000;
  run.seed = 5;
  runCdx(run);
}

TEST(CdxModel, DateKeys) {
  ModelRun run;
  run.type = 'D';
  run.keyLength = 8;
  run.operations = 20000;
  run.seed = 9;
  runCdx(run);
}

TEST(CdxModel, RecordNumbersBeyondSixteenBits) {
  ModelRun run;
  run.operations = 15000;
  run.firstRecno = 16000000;
  run.seed = 13;
  runCdx(run);
}

TEST(CdxModel, UniqueOrderKeepsOneEntryPerKey) {
  ModelRun run;
  run.unique = true;
  run.operations = 10000;
  run.seed = 17;
  runCdx(run);
}

TEST(CdxModel, DescendingOrderRunsBackwards) {
  ModelRun run;
  run.descending = true;
  run.operations = 10000;
  run.seed = 19;
  runCdx(run);
}

// Integer keys: four bytes, big-endian with the sign bit flipped.
TEST(CdxModel, IntegerKeys) {
  ModelRun run;
  run.type = 'I';
  run.keyLength = 4;
  run.operations = 15000;
  run.seed = 23;
  runCdx(run);
}

// The byte order of integer keys is the order of their values across the sign change, and
// a seek finds the first record of exactly the value sought.
TEST(CdxModel, IntegerKeysOrderAndSeekNegativeZeroAndPositiveValues) {
  test::TempDir dir;
  auto file = CdxFile::create(dir.file("ints.cdx"));
  CdxFile::NewTag def;
  def.name = "CALL_ID";
  def.keyExpression = "CALL_ID";
  def.keyType = 'I';
  def.keyLength = 4;
  file->addTag(def, {});
  IndexOrder& order = file->order(0);
  std::mt19937 rng(29);
  std::vector<std::int32_t> values = {0,
                                      -1,
                                      1,
                                      -2,
                                      2,
                                      -256,
                                      256,
                                      -65536,
                                      65536,
                                      std::numeric_limits<std::int32_t>::min(),
                                      std::numeric_limits<std::int32_t>::max()};
  for (int i = 0; i < 3000; ++i) values.push_back(static_cast<std::int32_t>(rng()) >> (i % 24));
  std::vector<std::pair<std::int32_t, std::uint32_t>> expected;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const auto recno = static_cast<std::uint32_t>(i + 1);
    ASSERT_TRUE(order.insert(order.keyFor(Value::integer(values[i])), recno));
    expected.emplace_back(values[i], recno);
  }
  file->commit();
  std::sort(expected.begin(), expected.end());
  std::vector<std::pair<std::int32_t, std::uint32_t>> listed;
  for (const IndexEntry& e : test::scanAll(order)) {
    listed.emplace_back(test::sortableIntegerValue(e.key), e.recno);
  }
  EXPECT_EQ(listed, expected);
  for (const std::int32_t v : {0, -1, 1, -256, 65536, std::numeric_limits<std::int32_t>::min()}) {
    const auto hit = order.seek(order.searchKeyFor(Value::integer(v)));
    ASSERT_TRUE(hit.has_value()) << v;
    const auto first = std::lower_bound(expected.begin(), expected.end(), std::make_pair(v, 0u));
    EXPECT_EQ(hit->recno, first->second) << v;
  }
  std::int32_t absent = 3;
  while (std::find(values.begin(), values.end(), absent) != values.end()) absent = -absent - 1;
  EXPECT_FALSE(order.seek(order.searchKeyFor(Value::integer(absent))).has_value()) << absent;
  EXPECT_TRUE(file->check().ok());
}

}  // namespace
}  // namespace zandor
