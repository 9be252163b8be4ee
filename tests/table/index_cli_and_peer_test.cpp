// The index commands of zandor-cli, and index files of other writers maintained through
// our work areas and read back by an independent reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "base/text.h"
#include "index_model.h"
#include "support/index_peer.h"
#include "support/peers.h"
#include "support/test_support.h"
#include "table/area_record.h"
#include "table/cdx_file.h"
#include "table/index_build.h"
#include "table/index_key.h"
#include "table/ntx_file.h"
#include "table/table_create.h"
#include "table_test_util.h"

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

// Keys as the independent reader prints them: trailing blanks dropped, sorted.
std::vector<std::pair<std::string, std::uint32_t>> normalised(
    std::vector<std::pair<std::string, std::uint32_t>> entries) {
  for (auto& e : entries) e.first = trimRight(e.first);
  std::sort(entries.begin(), entries.end());
  return entries;
}

// What our own reading of the (checked) order holds, for C keys.
std::vector<std::pair<std::string, std::uint32_t>> ourEntries(const std::string& table,
                                                              const std::string& index,
                                                              std::size_t order) {
  const bool cdx = upperAZ(index).ends_with(".CDX");
  std::unique_ptr<IndexFile> file;
  if (cdx) {
    file = CdxFile::open(index, false);
  } else {
    file = NtxFile::open(index, false);
  }
  const auto area = WorkArea::open(table, cdx ? "DBFCDX" : "DBFNTX", true, true);
  bindOrders(*file, cdx ? IndexDriver::Cdx : IndexDriver::Ntx, AreaRecord(*area));
  std::vector<std::pair<std::string, std::uint32_t>> out;
  for (const IndexEntry& e : scanAll(file->order(order))) out.emplace_back(e.key, e.recno);
  return normalised(out);
}

TEST(IndexPeerMaintenanceTest, ForeignNtxGetsOurAppendsAndChanges) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  TempDir dir;
  copyFixture("peers/writers/xbase64_i386_reindex/KUNDEN.DBF", dir.path());
  copyFixture("peers/writers/xbase64_i386_reindex/KUNDE.NTX", dir.path());
  const std::string table = dir.file("KUNDEN.DBF");
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFNTX", table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(dir.file("kunde")));
    const int kunde = areas.current()->fieldIndex("KUNDE") + 1;
    ASSERT_GT(kunde, 0);
    for (int i = 0; i < 15; ++i) {
      areas.DBAPPEND();
      areas.FIELDPUT(kunde, Value::text("N" + std::to_string(100 + i * 7 % 15)));
    }
    areas.current()->goTo(3);
    areas.FIELDPUT(kunde, Value::text("ZZZ"));
    ASSERT_TRUE(areas.DBSEEK(Value::text("ZZZ")));
    EXPECT_EQ(areas.current()->recNo(), 3u);
  }
  EXPECT_EQ(checkIndex(table, dir.file("KUNDE.NTX")), std::vector<std::string>{});
  const PeerListing theirs = peerListing(table, dir.file("KUNDE.NTX"), "");
  ASSERT_TRUE(theirs.ok) << theirs.raw;
  const auto ours = ourEntries(table, dir.file("KUNDE.NTX"), 0);
  EXPECT_EQ(ours.size(), 35u);
  EXPECT_EQ(normalised(theirs.entries), ours);
  EXPECT_NE(std::find(ours.begin(), ours.end(), std::make_pair(std::string("ZZZ"), 3u)),
            ours.end());
}

TEST(IndexPeerMaintenanceTest, ForeignCdxTagsWithConditionsFollowOurWrites) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  TempDir dir;
  copyFixture("peers/dbd-xbase/rooms.dbf", dir.path());
  copyFixture("peers/dbd-xbase/rooms.cdx", dir.path());
  const std::string table = dir.file("rooms.dbf");
  {
    // rooms.cdx is the structural index and comes with the table.
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
    ASSERT_EQ(areas.indexes(areas.currentArea())->files().size(), 1u);
    const std::vector<std::string> facilities = {"Audio", "Film", "Main", "", "Other"};
    for (int i = 0; i < 10; ++i) {
      areas.DBAPPEND();
      areas.FIELDPUT(1, Value::text("Room " + std::to_string(i)));
      areas.FIELDPUT(2, Value::text(facilities[static_cast<std::size_t>(i) % facilities.size()]));
    }
    areas.current()->goTo(5);
    areas.FIELDPUT(2, Value::text("Film"));
    areas.current()->goTo(6);
    areas.FIELDPUT(1, Value::text("Renamed"));
  }
  const std::string cdx = dir.file("rooms.cdx");
  EXPECT_EQ(checkIndex(table, cdx), std::vector<std::string>{});
  const auto file = CdxFile::open(cdx, false);
  for (std::size_t i = 0; i < file->orderCount(); ++i) {
    const std::string tag = file->order(i).info().name;
    SCOPED_TRACE(tag);
    const PeerListing theirs = peerListing(table, cdx, tag);
    ASSERT_TRUE(theirs.ok) << theirs.raw;
    EXPECT_EQ(normalised(theirs.entries), ourEntries(table, cdx, i));
  }
}

TEST(IndexPeerMaintenanceTest, FilesWeBuildReadTheSameForTheIndependentReader) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  TempDir dir;
  copyFixture("peers/writers/pydbf/KUNDEN.DBF", dir.path());
  const std::string table = dir.file("KUNDEN.DBF");
  createIndex(table, dir.file("name.ntx"), "", "NAME1");
  createIndex(table, dir.file("k.cdx"), "KUNDE", "KUNDE");
  // The independent reader knows single-field keys only.
  createIndex(table, dir.file("k.cdx"), "AKTNAME", "NAME1", "AKTIV");
  for (const std::string& index : {dir.file("name.ntx"), dir.file("k.cdx")}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(checkIndex(table, index), std::vector<std::string>{});
  }
  PeerListing ntx = peerListing(table, dir.file("name.ntx"), "");
  ASSERT_TRUE(ntx.ok) << ntx.raw;
  EXPECT_EQ(ntx.entries.size(), 20u);
  EXPECT_EQ(normalised(ntx.entries), ourEntries(table, dir.file("name.ntx"), 0));
  for (std::size_t i = 0; i < 2; ++i) {
    const PeerListing tag = peerListing(table, dir.file("k.cdx"), i == 0 ? "KUNDE" : "AKTNAME");
    ASSERT_TRUE(tag.ok) << tag.raw;
    EXPECT_EQ(tag.entries.size(), i == 0 ? 20u : 15u);
    EXPECT_EQ(normalised(tag.entries), ourEntries(table, dir.file("k.cdx"), i));
  }
}

}  // namespace
}  // namespace zandor::test
