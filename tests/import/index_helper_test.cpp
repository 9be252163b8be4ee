// The index files beside the one searched are kept up to date on a thread of their own
// while the run writes its records; finishing (or going away) leaves the work areas
// maintaining every file in place, with nothing lost and nothing raised on the way out.
#include "import/index_helper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "base/error.h"
#include "import/fault_watch.h"
#include "import/import_log.h"
#include "import/row_cells.h"
#include "import/run_resources.h"
#include "support/test_support.h"
#include "table/index_build.h"
#include "table/table_create.h"
#include "table/work_areas.h"

namespace zandor {
namespace {

#ifndef _WIN32
using test::FileSizeLimit;
#endif
using test::TempDir;

// Nothing leaves the destructors of what a run holds.
static_assert(std::is_nothrow_destructible_v<IndexHelper>);
static_assert(std::is_nothrow_destructible_v<RowCells>);
static_assert(std::is_nothrow_destructible_v<RunResources>);
static_assert(std::is_nothrow_destructible_v<FaultWatch>);
static_assert(std::is_nothrow_destructible_v<ImportLog>);

class IndexHelperTest : public ::testing::Test {
 protected:
  TempDir dir;
  const std::string table = dir.file("ADRESSEN.DBF");
  const std::string control = dir.file("adkun.cdx");
  const std::string wide = dir.file("breit.cdx");
  WorkAreas areas;

  void SetUp() override {
    createTable(table, {{"KUNDE", 'C', 10, 0}});
    createIndex(table, control, "ADKUN", "KUNDE");
    createIndex(table, wide, "BREIT", "KUNDE+KUNDE+KUNDE+KUNDE");
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(control));
    ASSERT_TRUE(areas.ORDLISTADD(wide));
  }
  void TearDown() override { setErrorHandler(nullptr); }

  void append(int n) {
    areas.DBAPPEND();
    areas.FIELDPUT(1, Value::text("K" + std::to_string(n * 7919 % 10007)));
  }
};

TEST_F(IndexHelperTest, KeepsTheOtherFilesWhileItRunsAndLetsGoWhenFinished) {
  auto helper = std::make_unique<IndexHelper>(areas);
  EXPECT_EQ(helper->running(), std::thread::hardware_concurrency() >= 2);
  for (int n = 0; n < 600; ++n) append(n);
  areas.commitRecord();
  helper->finish();
  EXPECT_FALSE(helper->running());
  helper.reset();
  // In place again: the helper and its lane are gone (the sanitizer build would see a use).
  for (int n = 600; n < 650; ++n) append(n);
  areas.DBCLOSEAREA();
  EXPECT_TRUE(checkIndex(table, control).empty());
  EXPECT_TRUE(checkIndex(table, wide).empty());
}

// Going away without finish() (an early end): what the lane held is settled without asking
// the handler and without raising; a file whose keys failed is done again at the close.
#ifndef _WIN32  // the failing write comes from a file-size limit, which Windows lacks
TEST_F(IndexHelperTest, GoesAwayQuietlyWhenItsWorkFailed) {
  int handlerCalls = 0;
  setErrorHandler([&](const Error&) {
    ++handlerCalls;
    return ErrorAnswer::Default;
  });
  const auto limitBytes =
      static_cast<rlim_t>(std::max(test::readBytes(control).size(), test::readBytes(wide).size()));
  {
    FileSizeLimit limit(limitBytes);
    auto helper = std::make_unique<IndexHelper>(areas);
    for (int n = 0; n < 150 && handlerCalls == 0; ++n) append(n);
    ASSERT_GT(handlerCalls, 0) << "the wide index never needed a new page";
    append(150);  // writes the record before it and hands its keys over, to fail there
    const int before = handlerCalls;
    helper.reset();
    EXPECT_EQ(handlerCalls, before);
  }
  // The limit is gone: the close writes what failed.
  try {
    ErrorGuard guard;
    areas.DBCLOSEAREA();
  } catch (const ErrorException& e) {
    ADD_FAILURE() << e.error().text();
  }
  EXPECT_TRUE(checkIndex(table, control).empty());
}
#endif

}  // namespace
}  // namespace zandor
