// Index files in work areas: adding them, the controlling order, seeking, the structural
// CDX and the keys that follow every written record.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/paths.h"
#include "support/test_support.h"
#include "table/index_build.h"
#include "table/table_create.h"
#include "table_test_util.h"

namespace zandor::test {
namespace {

// A customer table: KUNDE C(6), NAME C(12), NR N(6,0), AKTIV L.
std::string makeTable(const TempDir& dir, const std::string& name,
                      const std::vector<std::tuple<std::string, std::string, int, bool>>& rows) {
  const std::string path = dir.file(name);
  createTable(
      path, {{"KUNDE", 'C', 6, 0}, {"NAME", 'C', 12, 0}, {"NR", 'N', 6, 0}, {"AKTIV", 'L', 1, 0}});
  WorkAreas areas;
  EXPECT_TRUE(areas.DBUSEAREA(true, "DBFNTX", path, "", std::nullopt, false));
  for (const auto& [kunde, nameText, nr, aktiv] : rows) {
    areas.DBAPPEND();
    areas.FIELDPUT(1, Value::text(kunde));
    areas.FIELDPUT(2, Value::text(nameText));
    areas.FIELDPUT(3, Value::integer(nr));
    areas.FIELDPUT(4, Value::logical(aktiv));
  }
  areas.DBCLOSEAREA();
  return path;
}

TEST(AreaIndexTest, FirstTagInTheFileControlsWhateverItsName) {
  TempDir dir;
  const std::string table =
      makeTable(dir, "KUNDEN.dbf",
                {{"300", "Anna", 1, true}, {"100", "Zora", 2, true}, {"200", "Max", 3, false}});
  createIndex(table, dir.file("adkun.cdx"), "ZNAME", "NAME");
  createIndex(table, dir.file("adkun.cdx"), "AKUNDE", "KUNDE");

  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
  ASSERT_TRUE(areas.ORDLISTADD(dir.file("ADKUN")));
  EXPECT_EQ(areas.indexes(areas.currentArea())->controlling()->order->info().name, "ZNAME");
  // The area stands on the first record in that order.
  EXPECT_EQ(areas.current()->recNo(), 1u);
  EXPECT_TRUE(areas.DBSEEK(Value::text("Max")));
  EXPECT_EQ(areas.current()->recNo(), 3u);
  EXPECT_FALSE(areas.DBSEEK(Value::text("100")));
}

TEST(AreaIndexTest, StructuralCdxOpensWithTheTableAndGetsEveryAppendedKey) {
  TempDir dir;
  const std::string table =
      makeTable(dir, "ADRESSEN.dbf", {{"7", "Erna", 1, true}, {"3", "Olaf", 2, true}});
  createIndex(table, dir.file("adressen.cdx"), "KUNDE", "KUNDE");
  createIndex(table, dir.file("adressen.cdx"), "AKTIVE", "NAME", "AKTIV");
  {
    WorkAreas areas;
    ASSERT_TRUE(
        areas.DBUSEAREA(true, "DBFCDX", dir.file("ADRESSEN"), "cAlias", std::nullopt, false));
    AreaIndexes* ix = areas.indexes(areas.currentArea());
    ASSERT_NE(ix, nullptr);
    EXPECT_EQ(ix->files().size(), 1u);
    EXPECT_EQ(ix->controlling(), nullptr);
    EXPECT_EQ(areas.current()->recNo(), 1u);
    // Controlling nothing, the structural index gives no seek.
    const auto noOrder = errorOf([&] { areas.DBSEEK(Value::text("7")); });
    ASSERT_TRUE(noOrder);
    EXPECT_EQ(noOrder->genCode, 36);
    for (int i = 0; i < 3; ++i) {
      areas.DBAPPEND();
      areas.FIELDPUT(1, Value::text("N" + std::to_string(i)));
      areas.FIELDPUT(2, Value::text("Neu"));
      areas.FIELDPUT(4, Value::logical(i != 1));
    }
    areas.DBCLOSEAREA();
  }
  EXPECT_EQ(checkIndex(table, dir.file("adressen.cdx")), std::vector<std::string>{});
  const std::string bytes = readBytes(table);
  EXPECT_EQ(u32At(bytes, 4), 5u);
  EXPECT_EQ(bytes[28] & 1, 1) << "structural index flag";

  // Every record has its key, the FOR tag only the active ones.
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
  OpenIndex& file = *areas.indexes(areas.currentArea())->files().front();
  std::size_t all = 0, active = 0;
  for (auto e = file.orders[0].order->first(); e; e = file.orders[0].order->next()) ++all;
  for (auto e = file.orders[1].order->first(); e; e = file.orders[1].order->next()) ++active;
  EXPECT_EQ(all, 5u);
  EXPECT_EQ(active, 4u);
}

TEST(AreaIndexTest, SeekIsAPrefixMatchAndAMissLeavesAPhantomRecord) {
  TempDir dir;
  const std::string table = makeTable(
      dir, "T.dbf", {{"1000", "b", 1, true}, {"100", "a", 2, true}, {"20", "c", 3, true}});
  for (const char* index : {"T.cdx", "T.ntx"}) {
    SCOPED_TRACE(index);
    std::filesystem::remove(dir.file(index));
    createIndex(table, dir.file(index), "KUNDE", "KUNDE");
    // Read before the exclusive open, which lets no other reader in on Windows.
    const std::string before = readBytes(table);
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, index[2] == 'c' ? "DBFCDX" : "DBFNTX", table, "cAlias",
                                std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(dir.file(index)));
    EXPECT_TRUE(areas.DBSEEK(Value::text("100")));
    EXPECT_EQ(areas.current()->recNo(), 2u);
    EXPECT_TRUE(areas.found());
    EXPECT_TRUE(areas.DBSEEK(Value::text("10")));
    EXPECT_EQ(areas.current()->recNo(), 2u);
    EXPECT_TRUE(areas.DBSEEK(Value::text("1000")));
    EXPECT_EQ(areas.current()->recNo(), 1u);
    // Trailing blanks of the search text count.
    EXPECT_FALSE(areas.DBSEEK(Value::text("10 ")));
    EXPECT_FALSE(areas.DBSEEK(Value::text("3")));
    EXPECT_FALSE(areas.found());
    EXPECT_TRUE(areas.current()->eof());
    EXPECT_TRUE(areas.FIELDPUT(1, Value::text("999")).isNil());
    areas.DBCLOSEAREA();
    EXPECT_EQ(readBytes(table), before);
  }
}

TEST(AreaIndexTest, SeekErrorsNameTheDriver) {
  TempDir dir;
  const std::string table = makeTable(dir, "T.dbf", {{"1", "a", 1, true}});
  createIndex(table, dir.file("T.ntx"), "", "KUNDE");
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "DBFNTX", table, "cAlias", std::nullopt, false));
  const auto noOrder = errorOf([&] { areas.DBSEEK(Value::text("1")); });
  ASSERT_TRUE(noOrder);
  EXPECT_EQ(noOrder->genCode, 36);
  EXPECT_EQ(noOrder->subCode, 1201);
  EXPECT_EQ(noOrder->subsystem, "DBFNTX");
  EXPECT_EQ(noOrder->description, "Workarea not indexed");
  ASSERT_TRUE(areas.ORDLISTADD(dir.file("t")));
  const auto noValue = errorOf([&] { areas.DBSEEK(Value()); });
  ASSERT_TRUE(noValue);
  EXPECT_EQ(noValue->genCode, 1);
  EXPECT_EQ(noValue->subCode, 1001);
  // An empty name is no error, just nothing added.
  EXPECT_FALSE(areas.ORDLISTADD(""));
}

TEST(AreaIndexTest, MissingOrDamagedIndexFilesAreRefused) {
  TempDir dir;
  const std::string table = makeTable(dir, "T.dbf", {{"1", "a", 1, true}});
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
  const auto missing = errorOf([&] { areas.ORDLISTADD(dir.file("nothere")); });
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->genCode, 21);
  EXPECT_EQ(missing->subCode, 1003);

  writeBytes(dir.file("short.cdx"), std::string(1024, '\0'));
  const auto damaged = errorOf([&] { areas.ORDLISTADD(dir.file("short.cdx")); });
  ASSERT_TRUE(damaged);
  EXPECT_EQ(damaged->genCode, 32);
  EXPECT_EQ(damaged->subCode, 1012);
  AreaIndexes* ix = areas.indexes(areas.currentArea());
  EXPECT_TRUE(ix == nullptr || ix->files().empty());
  EXPECT_EQ(readBytes(dir.file("short.cdx")), std::string(1024, '\0'));
}

TEST(AreaIndexTest, DamagedStructuralIndexKeepsTheTableClosed) {
  TempDir dir;
  const std::string table = makeTable(dir, "ADRESSEN.dbf", {{"1", "a", 1, true}});
  writeBytes(dir.file("Adressen.CDX"), std::string(3000, '\x07'));
  const std::string before = readBytes(table);
  WorkAreas areas;
  const auto damaged =
      errorOf([&] { areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false); });
  ASSERT_TRUE(damaged);
  EXPECT_EQ(damaged->genCode, 32);
  EXPECT_EQ(damaged->subCode, 1012);
  EXPECT_EQ(areas.current(), nullptr);
  EXPECT_EQ(areas.areaOf("cAlias"), 0);
  // Under the NTX driver the same table opens, the CDX file is not its business.
  EXPECT_TRUE(areas.DBUSEAREA(true, "DBFNTX", table, "cAlias", std::nullopt, false));
  areas.DBCLOSEAREA();
  EXPECT_EQ(readBytes(table), before);
  EXPECT_EQ(readBytes(dir.file("Adressen.CDX")), std::string(3000, '\x07'));
}

TEST(AreaIndexTest, NumberWrittenIntoTheKeyFieldMovesTheKey) {
  TempDir dir;
  const std::string table = makeTable(dir, "T.dbf", {{"a", "a", 5, true}, {"b", "b", 9, true}});
  for (const char* index : {"NR.cdx", "NR.ntx"}) {
    SCOPED_TRACE(index);
    createIndex(table, dir.file(index), "NR", "NR");
    {
      WorkAreas areas;
      ASSERT_TRUE(areas.DBUSEAREA(true, index[3] == 'c' ? "DBFCDX" : "DBFNTX", table, "cAlias",
                                  std::nullopt, false));
      ASSERT_TRUE(areas.ORDLISTADD(dir.file(index)));
      ASSERT_TRUE(areas.DBSEEK(Value::integer(5)));
      const std::uint32_t rec = areas.current()->recNo();
      areas.FIELDPUT(3, Value::integer(77));
      EXPECT_FALSE(areas.DBSEEK(Value::integer(5)));
      EXPECT_TRUE(areas.DBSEEK(Value::integer(77)));
      EXPECT_EQ(areas.current()->recNo(), rec);
      areas.FIELDPUT(3, Value::integer(5));
    }
    EXPECT_EQ(checkIndex(table, dir.file(index)), std::vector<std::string>{});
  }
}

TEST(AreaIndexTest, KeyThatCannotBeEvaluatedIsReportedAndTheOtherOrdersFollow) {
  TempDir dir;
  const std::string table = makeTable(dir, "T.dbf", {{"a", "a", 5, true}, {"b", "b", 4, true}});
  createIndex(table, dir.file("x.cdx"), "KUNDE", "KUNDE");
  createIndex(table, dir.file("x.cdx"), "INV", "STR(100/NR)");
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(dir.file("x")));
    areas.current()->goTo(1);
    areas.FIELDPUT(1, Value::text("z"));
    areas.FIELDPUT(3, Value::integer(0));
    const auto failed = errorOf([&] { areas.DBSEEK(Value::text("z")); });
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->genCode, 32);
    EXPECT_EQ(failed->subCode, 1012);
    EXPECT_NE(failed->operation.find("INV"), std::string::npos) << failed->operation;
    IndexOrder& kunde = *areas.indexes(areas.currentArea())->files().front()->orders[0].order;
    const auto moved = kunde.seek("z");
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->recno, 1u);
    // The record stays changed; its next write brings every order up to date.
    areas.FIELDPUT(3, Value::integer(2));
    EXPECT_FALSE(errorOf([&] { EXPECT_TRUE(areas.DBSEEK(Value::text("z"))); }));
  }
  EXPECT_EQ(checkIndex(table, dir.file("x.cdx")), std::vector<std::string>{});
}

TEST(AreaIndexTest, SameFileAddedTwiceIsOpenOnce) {
  TempDir dir;
  const std::string table = makeTable(dir, "T.dbf", {{"a", "a", 5, true}});
  createIndex(table, dir.file("kunde.ntx"), "", "KUNDE");
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFNTX", table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(dir.file("kunde")));
    ASSERT_TRUE(areas.ORDLISTADD(dir.file("KUNDE.NTX")));
    EXPECT_EQ(areas.indexes(areas.currentArea())->files().size(), 1u);
    areas.DBAPPEND();
    areas.FIELDPUT(1, Value::text("b"));
  }
  // One copy means one key per record.
  EXPECT_EQ(checkIndex(table, dir.file("kunde.ntx")), std::vector<std::string>{});
}

TEST(AreaIndexTest, PendingChangeBeforeAddingAFileReachesThatFileToo) {
  TempDir dir;
  const std::string table = makeTable(dir, "T.dbf", {{"a", "a", 5, true}, {"b", "b", 6, true}});
  createIndex(table, dir.file("kunde.ntx"), "", "KUNDE");
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFNTX", table, "cAlias", std::nullopt, false));
    areas.current()->goTo(2);
    areas.FIELDPUT(1, Value::text("c"));
    ASSERT_TRUE(areas.ORDLISTADD(dir.file("kunde")));
    EXPECT_TRUE(areas.DBSEEK(Value::text("c")));
    EXPECT_EQ(areas.current()->recNo(), 2u);
    EXPECT_FALSE(areas.DBSEEK(Value::text("b")));
  }
  EXPECT_EQ(checkIndex(table, dir.file("kunde.ntx")), std::vector<std::string>{});
}

}  // namespace
}  // namespace zandor::test
