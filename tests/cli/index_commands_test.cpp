// The index commands of zandor-cli: create, seek, dump, check and reindex.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "base/text.h"
#include "support/test_support.h"
#include "table/area_record.h"
#include "table/cdx_file.h"
#include "table/index_build.h"
#include "table/index_key.h"
#include "table/ntx_file.h"
#include "table/table_create.h"
#include "table/table_test_util.h"

namespace zandor::test {
namespace {

int cli(const std::string& args, std::string* out = nullptr) {
  return runCommand("'" + cliPath() + "' " + args + " 2>&1", out);
}

std::string makeTable(const TempDir& dir) {
  const std::string path = dir.file("T.dbf");
  createTable(path, {{"KUNDE", 'C', 6, 0}, {"NR", 'N', 6, 0}});
  WorkAreas areas;
  EXPECT_TRUE(areas.DBUSEAREA(true, "DBFNTX", path, "", std::nullopt, false));
  const std::vector<std::pair<std::string, int>> rows = {
      {"1000", 3}, {"100", 1}, {"20", 2}, {"55", 9}};
  for (const auto& [kunde, nr] : rows) {
    areas.DBAPPEND();
    areas.FIELDPUT(1, Value::text(kunde));
    areas.FIELDPUT(2, Value::integer(nr));
  }
  return path;
}

std::vector<std::string> directoryListing(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(IndexCliTest, CreateSeekDumpAndCheck) {
  TempDir dir;
  const std::string table = makeTable(dir);
  const std::string cdx = dir.file("k.cdx");
  ASSERT_EQ(cli("dbf index '" + table + "' '" + cdx + "' --tag KUNDE --key KUNDE"), 0);
  ASSERT_EQ(
      cli("dbf index '" + table + "' '" + cdx + "' --tag NRD --key NR --descending --for 'NR > 1'"),
      0);
  ASSERT_EQ(cli("dbf index '" + table + "' '" + dir.file("nr.ntx") + "' --key NR --unique"), 0);

  std::string out;
  EXPECT_EQ(cli("dbf check '" + table + "' '" + cdx + "' '" + dir.file("nr.ntx") + "'", &out), 0)
      << out;
  EXPECT_EQ(cli("dbf seek '" + table + "' '" + cdx + "' 10", &out), 0);
  EXPECT_EQ(out, "2\n");
  EXPECT_EQ(cli("dbf seek '" + table + "' '" + dir.file("nr.ntx") + "' 9", &out), 0);
  EXPECT_EQ(out, "4\n");
  EXPECT_EQ(cli("dbf seek '" + table + "' '" + cdx + "' 3", &out), 1);
  EXPECT_EQ(out, "");

  ASSERT_EQ(cli("dbf dump '" + table + "' --index '" + cdx + "' --tag NRD", &out), 0);
  EXPECT_EQ(out, "4\t \t55\t9\n1\t \t1000\t3\n3\t \t20\t2\n");
  ASSERT_EQ(cli("dbf dump '" + table + "' --index '" + cdx + "'", &out), 0);
  EXPECT_EQ(out.substr(0, 2), "2\t");
}

// Integer fields with negative, zero and positive values: the tag lists them in the order of
// their values, seeks find each one, and check accepts the keys and finds a wrong one.
TEST(IndexCliTest, NegativeIntegerKeysAreOrderedSoughtAndChecked) {
  TempDir dir;
  const std::string table = dir.file("T.dbf");
  const std::string cdx = dir.file("T.cdx");
  createTable(table, {{"KUNDE", 'C', 6, 0}, {"ID", 'I', 4, 0}});
  const std::vector<int> ids = {5, -1, 0, -70000, 2147483647, -2147483647 - 1, 1, -2, 70000};
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "", std::nullopt, false));
    for (std::size_t i = 0; i < ids.size(); ++i) {
      areas.DBAPPEND();
      areas.FIELDPUT(1, Value::text("K" + std::to_string(i + 1)));
      areas.FIELDPUT(2, Value::integer(ids[i]));
    }
  }
  ASSERT_EQ(cli("dbf index '" + table + "' '" + cdx + "' --tag ID --key ID"), 0);
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(cdx));
    EXPECT_EQ(areas.indexes(areas.currentArea())->controlling()->order->info().keyType, 'I');
    for (std::size_t i = 0; i < ids.size(); ++i) {
      EXPECT_TRUE(areas.DBSEEK(Value::integer(ids[i]))) << ids[i];
      EXPECT_EQ(areas.current()->recNo(), i + 1) << ids[i];
    }
    EXPECT_FALSE(areas.DBSEEK(Value::integer(-5)));
    // Appended and changed records keep the order in step.
    areas.DBAPPEND();
    areas.FIELDPUT(2, Value::integer(-3));
    areas.current()->goTo(3);
    areas.FIELDPUT(2, Value::integer(-100));
  }
  std::string out;
  EXPECT_EQ(cli("dbf check '" + table + "' '" + cdx + "'", &out), 0) << out;
  ASSERT_EQ(cli("dbf dump '" + table + "' --index '" + cdx + "'", &out), 0);
  std::vector<std::string> order;
  for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = out.substr(at, end - at);
    order.push_back(line.substr(line.rfind('\t') + 1));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"-2147483648", "-70000", "-100", "-3", "-2", "-1", "1",
                                             "5", "70000", "2147483647"}));
  // A key of the wrong sign is found.
  {
    auto file = CdxFile::open(cdx, true);
    ASSERT_TRUE(file->order(0).remove(sortableInteger(-1), 2));
    ASSERT_TRUE(file->order(0).insert(sortableInteger(1), 2));
    file->commit();
  }
  EXPECT_EQ(cli("dbf check '" + table + "' '" + cdx + "'", &out), 1) << out;
}

TEST(IndexCliTest, CheckFindsAMissingKeyAndReindexRepairsIt) {
  TempDir dir;
  const std::string table = makeTable(dir);
  const std::string ntx = dir.file("kunde.ntx");
  const std::string cdx = dir.file("k.cdx");
  createIndex(table, ntx, "", "KUNDE");
  createIndex(table, cdx, "KUNDE", "KUNDE");
  createIndex(table, cdx, "NR", "NR", "", false, true);
  {
    // A program that does not know the index changes the table.
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFNTX", table, "", std::nullopt, false));
    areas.DBAPPEND();
    areas.FIELDPUT(1, Value::text("777"));
    areas.current()->goTo(2);
    areas.FIELDPUT(1, Value::text("888"));
  }
  std::string out;
  EXPECT_EQ(cli("dbf check '" + table + "' '" + ntx + "'", &out), 1);
  EXPECT_NE(out.find("fehlen"), std::string::npos) << out;
  EXPECT_NE(out.find("ohne passenden Datensatz"), std::string::npos) << out;
  // The structural file is opened by the CDX driver but the check reads it as it is.
  EXPECT_EQ(cli("dbf check '" + table + "' '" + cdx + "'", &out), 1);

  ASSERT_EQ(cli("dbf reindex '" + table + "' '" + ntx + "'", &out), 0) << out;
  ASSERT_EQ(cli("dbf reindex '" + table + "' '" + cdx + "'", &out), 0) << out;
  EXPECT_EQ(cli("dbf check '" + table + "' '" + ntx + "' '" + cdx + "'", &out), 0) << out;
  // Every tag is there again with its own rules.
  const auto cdxFile = CdxFile::open(cdx, false);
  ASSERT_EQ(cdxFile->orderCount(), 2u);
  EXPECT_EQ(cdxFile->order(1).info().name, "NR");
  EXPECT_TRUE(cdxFile->order(1).info().descending);
}

TEST(IndexCliTest, FailedBuildsLeaveTheOldFileAndNoTemporaryFile) {
  TempDir dir;
  const std::string table = makeTable(dir);
  const std::string cdx = dir.file("k.cdx");
  createIndex(table, cdx, "KUNDE", "KUNDE");
  const std::string before = readBytes(cdx);
  const auto files = directoryListing(dir);
  std::string out;
  // Text plus number is no key.
  EXPECT_EQ(cli("dbf index '" + table + "' '" + cdx + "' --tag BAD --key 'KUNDE+NR'", &out), 1);
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(cli("dbf index '" + table + "' '" + cdx + "' --tag BAD --key KUNDE --for NR", &out), 1);
  EXPECT_THROW(createIndex(table, cdx, "TOOLONGTAGNAME", "KUNDE"), std::runtime_error);
  writeBytes(dir.file("broken.ntx"), std::string(2048, 'x'));
  EXPECT_EQ(cli("dbf reindex '" + table + "' '" + dir.file("broken.ntx") + "'", &out), 1);
  EXPECT_EQ(readBytes(dir.file("broken.ntx")), std::string(2048, 'x'));
  std::filesystem::remove(dir.file("broken.ntx"));
  EXPECT_EQ(readBytes(cdx), before);
  EXPECT_EQ(directoryListing(dir), files);
}

}  // namespace
}  // namespace zandor::test
