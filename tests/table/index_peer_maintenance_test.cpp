// Index files of other writers maintained through our work areas, and files we build, read
// back by an independent reader.
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
