#include <gtest/gtest.h>

#include "index_model.h"
#include "support/test_support.h"
#include "table/cdx_file.h"

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

}  // namespace
}  // namespace zandor
