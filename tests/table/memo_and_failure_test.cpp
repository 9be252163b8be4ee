#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <algorithm>
#include <csignal>
#include <memory>
#include <optional>
#include <type_traits>

#include "support/test_support.h"
#include "table/area_indexes.h"
#include "table/index_build.h"
#include "table/page_mapping.h"
#include "table/table_create.h"
#include "table/table_error.h"
#include "table/work_areas.h"
#include "table_test_util.h"

namespace zandor {
namespace {

using test::errorOf;
#ifndef _WIN32
using test::FileSizeLimit;
#endif
using test::rawRecord;
using test::readBytes;
using test::TempDir;
using test::u32At;

class MemoKindTest : public ::testing::TestWithParam<MemoKind> {};

std::string memoPath(const TempDir& dir, MemoKind kind) {
  return dir.file(kind == MemoKind::Fpt ? "notizen.fpt" : "notizen.dbt");
}

TEST_P(MemoKindTest, TextsGoInAndComeBackAfterReopening) {
  const MemoKind kind = GetParam();
  TempDir dir;
  const std::string path = dir.file("notizen.dbf");
  createTable(path, {{"NR", 'C', 3, 0}, {"TEXT", 'M', 10, 0}}, kind);
  const std::string longText(1500, 'x');
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false));
    areas.DBAPPEND();
    areas.FIELDPUT(1, Value::text("1"));
    areas.FIELDPUT(2, Value::text("Hallo\r\nWelt \xe4"));
    areas.DBAPPEND();
    areas.FIELDPUT(2, Value::text(longText));
    areas.DBAPPEND();
    areas.FIELDPUT(2, Value::text(""));
    EXPECT_EQ(areas.FIELDGET(2), Value::text(""));
    areas.DBCLOSEAREA();
  }
  const std::string table = readBytes(path);
  EXPECT_EQ(rawRecord(table, 3).substr(4), std::string(10, ' '));
  const std::string memo = readBytes(memoPath(dir, kind));
  const std::size_t bs = kind == MemoKind::Fpt ? 64 : 512;
  const std::uint32_t first = static_cast<std::uint32_t>(std::stoul(rawRecord(table, 1).substr(4)));
  ASSERT_GE(first * bs, 512u);
  const std::string block = memo.substr(first * bs, 24);
  if (kind == MemoKind::Dbt3) {
    EXPECT_EQ(block.substr(0, 15), "Hallo\r\nWelt \xe4\x1a\x1a");
  } else if (kind == MemoKind::Dbt4) {
    EXPECT_EQ(block.substr(0, 8), std::string("\xff\xff\x08\x00\x15\x00\x00\x00", 8));
  } else {
    EXPECT_EQ(block.substr(0, 8), std::string("\x00\x00\x00\x01\x00\x00\x00\x0d", 8));
  }
  EXPECT_EQ(memo.size() % bs, 0u);
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false));
    EXPECT_EQ(areas.FIELDGET(2), Value::text("Hallo\r\nWelt \xe4"));
    areas.current()->goTo(2);
    EXPECT_EQ(areas.FIELDGET(2), Value::text(longText));
    // A new text goes behind everything; the old one stays readable until the record moves.
    areas.current()->goTo(1);
    areas.FIELDPUT(2, Value::text("neu"));
    EXPECT_EQ(areas.FIELDGET(2), Value::text("neu"));
    areas.DBCLOSEAREA();
    ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false));
    EXPECT_EQ(areas.FIELDGET(2), Value::text("neu"));
    areas.current()->goTo(2);
    EXPECT_EQ(areas.FIELDGET(2), Value::text(longText));
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, MemoKindTest,
                         ::testing::Values(MemoKind::Dbt3, MemoKind::Dbt4, MemoKind::Fpt));

TEST(MemoTest, UnreadableBlockRaisesTheReadError) {
  TempDir dir;
  const std::string path = dir.file("notizen.dbf");
  createTable(path, {{"TEXT", 'M', 10, 0}}, MemoKind::Fpt);
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false));
    areas.DBAPPEND();
  }
  std::string bytes = readBytes(path);
  const std::size_t at = test::u16At(bytes, 8) + 1;
  bytes.replace(at, 10, "    999999");
  test::writeBytes(path, bytes);
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false));
  auto e = errorOf([&] { areas.FIELDGET(1); });
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->genCode, gen::kRead);
  setErrorHandler([](const Error&) { return ErrorAnswer::Default; });
  EXPECT_EQ(areas.FIELDGET(1), Value::text(""));
  setErrorHandler(nullptr);
}

struct NoHook : RecordWriteHook {
  int written = 0;
  void recordWritten(WorkArea&) override { ++written; }
};

// Without a hook appended records are written together; with one, one by one.
class WriteFailureTest : public ::testing::TestWithParam<bool> {};

TEST_P(WriteFailureTest, FailedAppendLeavesAValidTable) {
#ifdef _WIN32
  GTEST_SKIP() << "no file size limit on Windows to make writes fail as on a full disk";
#else
  const bool withHook = GetParam();
  NoHook hook;
  TempDir dir;
  const std::string path = dir.file("voll.dbf");
  createTable(path, {{"NAME", 'C', 20, 0}, {"WERT", 'N', 8, 2}});
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false));
    areas.DBAPPEND();
    areas.FIELDPUT(1, Value::text("bleibt"));
  }
  const std::string before = readBytes(path);
  std::vector<Error> seen;
  setErrorHandler([&](const Error& e) {
    seen.push_back(e);
    return ErrorAnswer::Default;
  });
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false));
    if (withHook) areas.current()->setRecordWriteHook(&hook);
    FileSizeLimit limit(before.size() + 3 * 29 + 7);  // room for three and a bit
    for (int i = 0; i < 5; ++i) {
      areas.DBAPPEND();
      areas.FIELDPUT(1, Value::text("neu " + std::to_string(i)));
      areas.FIELDPUT(2, Value::real(i * 1.5));
    }
    areas.DBCLOSEAREA();
  }
  setErrorHandler(nullptr);
  ASSERT_GE(seen.size(), 1u);
  EXPECT_EQ(seen[0].genCode, gen::kWrite);
  EXPECT_EQ(seen[0].subCode, sub::kWrite);
  // No torn record: the header counts exactly the records the file holds.
  const std::string after = readBytes(path);
  const std::uint32_t count = u32At(after, 4);
  const std::size_t headerLength = test::u16At(after, 8);
  EXPECT_GE(count, 1u);
  // Written one by one, the records that fitted are kept and the hook saw exactly those.
  if (withHook) {
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(hook.written, 3);
  }
  EXPECT_TRUE(after.size() == headerLength + count * 29 ||
              after.size() == headerLength + count * 29 + 1);
  EXPECT_EQ(rawRecord(after, 1).substr(1, 6), "bleibt");
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false));
  EXPECT_EQ(areas.current()->recCount(), count);
#endif
}

INSTANTIATE_TEST_SUITE_P(Hook, WriteFailureTest, ::testing::Bool());

// An index file that cannot grow (a full disk) fails the commit that needs a new page; the
// file keeps its last whole state: nothing but the keys of the records written since then
// is missing, and those come back with a rebuild.
// Both with the file mapped and with plain writes.
class IndexGrowthFailureTest : public ::testing::TestWithParam<std::tuple<const char*, bool>> {
 protected:
  PageMapping mapping() const {
    return std::get<1>(GetParam()) ? PageMapping::WhenPossible : PageMapping::Never;
  }
};

TEST_P(IndexGrowthFailureTest, FailedCommitLeavesTheLastWholeIndex) {
#ifdef _WIN32
  GTEST_SKIP() << "no file size limit on Windows to make writes fail as on a full disk";
#else
  const std::string driver = std::get<0>(GetParam());
  const bool cdx = driver == "DBFCDX";
  TempDir dir;
  const std::string table = dir.file("ADRESSEN.DBF");
  const std::string index = dir.file(cdx ? "adkun.cdx" : "adkun.ntx");
  createTable(table, {{"KUNDE", 'C', 10, 0}});
  createIndex(table, index, cdx ? "ADKUN" : "", "KUNDE");
  if (cdx) createIndex(table, index, "ZWEI", "KUNDE");
  const auto indexSize = static_cast<rlim_t>(readBytes(index).size());
  ASSERT_LT(readBytes(table).size() + 150 * 11, indexSize) << "the table must stay below the limit";
  std::vector<Error> seen;
  setErrorHandler([&](const Error& e) {
    seen.push_back(e);
    return ErrorAnswer::Default;
  });
  int appended = 0;
  {
    WorkAreas areas(mapping());
    ASSERT_TRUE(areas.DBUSEAREA(true, driver, table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(index));
    FileSizeLimit limit(indexSize);
    for (; appended < 150 && seen.empty(); ++appended) {
      areas.DBAPPEND();
      areas.FIELDPUT(1, Value::text("K" + std::to_string(appended * 7919 % 10007)));
    }
    areas.DBCLOSEAREA();
  }
  setErrorHandler(nullptr);
  ASSERT_FALSE(seen.empty()) << "the index never needed a new page";
  EXPECT_EQ(seen[0].genCode, gen::kWrite);
  EXPECT_LT(appended, 150);
  // Only keys are missing; no page is torn.
  for (const std::string& problem : checkIndex(table, index)) {
    EXPECT_NE(problem.find("Schl\xfcssel fehl"), std::string::npos) << problem;
  }
  reindexFile(table, index);
  EXPECT_TRUE(checkIndex(table, index).empty());
#endif
}

// A second index file that cannot grow: the error reaches the handler as the record is
// written, and the files end sound: the controlling file whole, the other one lacking only
// keys.
TEST_P(IndexGrowthFailureTest, ASecondFileThatCannotGrowLacksOnlyKeys) {
#ifdef _WIN32
  GTEST_SKIP() << "no file size limit on Windows to make writes fail as on a full disk";
#else
  const std::string driver = std::get<0>(GetParam());
  const bool cdx = driver == "DBFCDX";
  const char* ext = cdx ? ".cdx" : ".ntx";
  TempDir dir;
  const std::string table = dir.file("ADRESSEN.DBF");
  const std::string control = dir.file(std::string("adkun") + ext);
  const std::string wide = dir.file(std::string("breit") + ext);
  createTable(table, {{"KUNDE", 'C', 10, 0}});
  createIndex(table, control, cdx ? "ADKUN" : "", "KUNDE");
  createIndex(table, wide, cdx ? "BREIT" : "", "KUNDE+KUNDE+KUNDE+KUNDE");
  const auto limitBytes =
      static_cast<rlim_t>(std::max(readBytes(control).size(), readBytes(wide).size()));
  std::vector<Error> seen;
  setErrorHandler([&](const Error& e) {
    seen.push_back(e);
    return ErrorAnswer::Default;
  });
  {
    WorkAreas areas(mapping());
    ASSERT_TRUE(areas.DBUSEAREA(true, driver, table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(control));
    ASSERT_TRUE(areas.ORDLISTADD(wide));
    FileSizeLimit limit(limitBytes);
    for (int appended = 0; appended < 150 && seen.empty(); ++appended) {
      areas.DBAPPEND();
      areas.FIELDPUT(1, Value::text("K" + std::to_string(appended * 7919 % 10007)));
    }
    areas.DBCLOSEAREA();
  }
  setErrorHandler(nullptr);
  ASSERT_FALSE(seen.empty()) << "the wide index never needed a new page";
  EXPECT_EQ(seen[0].genCode, gen::kWrite);
  EXPECT_NE(seen[0].fileName.find("breit"), std::string::npos) << seen[0].fileName;
  EXPECT_TRUE(checkIndex(table, control).empty());
  const std::vector<std::string> problems = checkIndex(table, wide);
  EXPECT_FALSE(problems.empty());
  for (const std::string& problem : problems)
    EXPECT_NE(problem.find("Schl\xfcssel fehl"), std::string::npos) << problem;
  reindexFile(table, wide);
  EXPECT_TRUE(checkIndex(table, wide).empty());
#endif
}

// Destructors give up quietly: nothing leaves them.
static_assert(std::is_nothrow_destructible_v<WorkArea>);
static_assert(std::is_nothrow_destructible_v<WorkAreas>);
static_assert(std::is_nothrow_destructible_v<AreaIndexes>);

INSTANTIATE_TEST_SUITE_P(Drivers, IndexGrowthFailureTest,
                         ::testing::Combine(::testing::Values("DBFCDX", "DBFNTX"),
                                            ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) ? "Mapped" : "Plain");
                         });

}  // namespace
}  // namespace zandor
