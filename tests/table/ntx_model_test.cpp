#include <gtest/gtest.h>

#include "index_model.h"
#include "support/test_support.h"
#include "table/ntx_file.h"

namespace zandor {
namespace {

using test::ModelHooks;
using test::ModelRun;

void runNtx(const ModelRun& run, int decimals = 0) {
  test::TempDir dir;
  std::string path = dir.file("model.ntx");
  ModelHooks hooks;
  hooks.create = [&]() -> std::unique_ptr<IndexFile> {
    NtxFile::NewOrder def;
    def.keyExpression = "KEY";
    def.keyType = run.type;
    def.keyLength = run.keyLength;
    def.decimals = decimals;
    def.unique = run.unique;
    def.descending = run.descending;
    return NtxFile::create(path, def, {});
  };
  hooks.reopen = [&]() -> std::unique_ptr<IndexFile> {
    auto f = NtxFile::open(path, true);
    f->order(0).setKeyType(run.type);
    return f;
  };
  hooks.check = [](IndexFile& f) { return static_cast<NtxFile&>(f).check(); };
  test::runIndexModel(run, hooks);
}

TEST(NtxModel, CharacterKeysOfTen) {
  ModelRun run;
  run.operations = 30000;
  runNtx(run);
}

TEST(NtxModel, LongKeysGiveFewKeysPerPage) {
  ModelRun run;
  run.keyLength = 200;  // four keys per page
  run.operations = 6000;
  run.seed = 7;
  runNtx(run);
}

TEST(NtxModel, NumericKeysAsText) {
  ModelRun run;
  run.type = 'N';
  run.keyLength = 12;
  run.operations = 20000;
  run.seed = 5;
  runNtx(run, 2);
}

TEST(NtxModel, DateKeys) {
  ModelRun run;
  run.type = 'D';
  run.keyLength = 8;
  run.operations = 20000;
  run.seed = 9;
  runNtx(run);
}

TEST(NtxModel, UniqueOrder) {
  ModelRun run;
  run.unique = true;
  run.operations = 10000;
  run.seed = 17;
  runNtx(run);
}

TEST(NtxModel, DescendingOrder) {
  ModelRun run;
  run.descending = true;
  run.operations = 10000;
  run.seed = 19;
  runNtx(run);
}

}  // namespace
}  // namespace zandor
