#include "table/cdx_file.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "base/error.h"
#include "base/text.h"
#include "index_model.h"
#include "support/test_support.h"
#include "table/index_key.h"

namespace zandor {
namespace {

using Model = std::set<std::pair<std::string, std::uint32_t>>;

std::vector<IndexEntry> listed(const Model& m) {
  std::vector<IndexEntry> out;
  for (const auto& [k, r] : m) out.push_back({k, r});
  return out;
}

TEST(CdxFile, TagsComeInHeaderOrderWhateverTheirNames) {
  test::TempDir dir;
  std::string path = dir.file("order.cdx");
  {
    auto f = CdxFile::create(path);
    f->addTag({"ZZZ", "NAME", "", 'C', 10, false, false, false}, {});
    f->addTag({"AAA", "NAME", "", 'C', 10, false, false, false}, {});
    f->addTag({"MMM", "NAME", "", 'C', 10, false, false, false}, {});
    f->commit();
  }
  auto f = CdxFile::open(path, false);
  ASSERT_EQ(f->orderCount(), 3u);
  EXPECT_EQ(f->order(0).info().name, "ZZZ");
  EXPECT_EQ(f->order(1).info().name, "AAA");
  EXPECT_EQ(f->order(2).info().name, "MMM");
  EXPECT_TRUE(f->check().ok());
}

// Several tags of one file change together; their pages interleave but never overlap.
TEST(CdxFile, TagsOfOneFileChangeTogether) {
  test::TempDir dir;
  std::string path = dir.file("two.cdx");
  Model names, amounts;
  std::map<std::uint32_t, std::string> amountOf;
  std::mt19937 rng(3);
  {
    auto f = CdxFile::create(path);
    f->addTag({"NAME", "NAME", "", 'C', 12, false, false, false}, {});
    f->addTag({"AMOUNT", "AMOUNT", "", 'N', 8, false, false, false}, {});
    f->commit();
  }
  for (int round = 0; round < 4; ++round) {
    auto f = CdxFile::open(path, true);
    f->order(1).setKeyType('N');
    for (int i = 0; i < 3000; ++i) {
      auto recno = static_cast<std::uint32_t>(round * 3000 + i + 1);
      std::string name = padRight("N" + std::to_string(rng() % 400), 12);
      std::string amount = sortableDouble(static_cast<double>(rng() % 1000) - 500);
      ASSERT_TRUE(f->order(0).insert(name, recno));
      ASSERT_TRUE(f->order(1).insert(amount, recno));
      names.insert({name, recno});
      amounts.insert({amount, recno});
      amountOf[recno] = amount;
      if (i % 4 == 3) {  // take an older record out of both
        auto it = names.begin();
        std::advance(it, static_cast<long>(rng() % names.size()));
        std::uint32_t gone = it->second;
        ASSERT_TRUE(f->order(0).remove(it->first, gone));
        names.erase(it);
        std::string amountKey = amountOf.at(gone);
        ASSERT_TRUE(f->order(1).remove(amountKey, gone));
        amounts.erase({amountKey, gone});
      }
      f->commit();
    }
    CheckReport report = f->check();
    ASSERT_TRUE(report.ok()) << report.problems.front();
    EXPECT_EQ(report.keyCount, names.size() + amounts.size());
    EXPECT_EQ(test::scanAll(f->order(0)), listed(names));
    EXPECT_EQ(test::scanAll(f->order(1)), listed(amounts));
  }
}

TEST(CdxFile, TagAddedToAFileWithDataAndTagReplaced) {
  test::TempDir dir;
  std::string path = dir.file("add.cdx");
  {
    auto f = CdxFile::create(path);
    std::vector<IndexEntry> entries;
    for (std::uint32_t r = 1; r <= 2000; ++r)
      entries.push_back({padRight(std::to_string(r), 10), r});
    f->addTag({"FIRST", "NAME", "", 'C', 10, false, false, false}, entries);
    f->commit();
  }
  {
    auto f = CdxFile::open(path, true);
    f->addTag({"SECOND", "UPPER(NAME)", "!DELETED()", 'C', 10, true, true, true},
              {{padRight("B", 10), 2}, {padRight("A", 10), 1}, {padRight("A", 10), 3}});
    f->commit();
    // Replacing FIRST keeps the number of tags and the other tag's keys.
    f->addTag({"FIRST", "NAME", "", 'C', 10, false, false, false}, {{padRight("X", 10), 7}});
    f->commit();
  }
  auto f = CdxFile::open(path, false);
  ASSERT_EQ(f->orderCount(), 2u);
  EXPECT_EQ(f->order(0).info().name, "SECOND");
  const OrderInfo& second = f->order(0).info();
  EXPECT_TRUE(second.unique);
  EXPECT_TRUE(second.descending);
  EXPECT_TRUE(second.caseInsensitive);
  EXPECT_EQ(second.keyExpression, "UPPER(NAME)");
  EXPECT_EQ(second.forExpression, "!DELETED()");
  // unique keeps the lowest record of A; descending lists backwards
  EXPECT_EQ(test::scanAll(f->order(0)),
            (std::vector<IndexEntry>{{padRight("B", 10), 2}, {padRight("A", 10), 1}}));
  EXPECT_EQ(test::scanAll(f->order(1)), (std::vector<IndexEntry>{{padRight("X", 10), 7}}));
  EXPECT_TRUE(f->check().ok()) << f->check().problems.front();
  // a case-insensitive order upper-cases search values
  EXPECT_EQ(f->order(0).searchKeyFor(Value::text("a")), "A");
  EXPECT_EQ(f->order(0).seek("A")->recno, 1u);
}

TEST(CdxFile, SeekIsAPrefixMatchOnBlankPaddedKeys) {
  test::TempDir dir;
  auto f = CdxFile::create(dir.file("seek.cdx"));
  CdxOrder& o = f->addTag({"KUNDE", "KUNDE", "", 'C', 10, false, false, false},
                          {{padRight("1000", 10), 1}, {padRight("100", 10), 2}});
  EXPECT_EQ(o.seek(o.searchKeyFor(Value::text("100")))->recno, 2u);
  EXPECT_EQ(o.seek(o.searchKeyFor(Value::text("10")))->recno, 2u);
  EXPECT_EQ(o.seek(o.searchKeyFor(Value::text("1000")))->recno, 1u);
  EXPECT_EQ(o.seek(o.searchKeyFor(Value::text("100 ")))->recno, 2u);
  EXPECT_FALSE(o.seek(o.searchKeyFor(Value::text("2"))).has_value());
  EXPECT_FALSE(o.next().has_value());  // end of file after a miss
}

TEST(CdxFile, SingleOrderFileOfAnotherWriter) {
  ZANDOR_REQUIRE_SHARED();
  test::TempDir dir;
  auto copy = test::copyFixture("peers/codebase/examples/STUDENT2.CDX", dir.path());
  auto f = CdxFile::open(copy.string(), true);
  EXPECT_FALSE(f->compound());
  ASSERT_EQ(f->orderCount(), 1u);
  EXPECT_EQ(f->order(0).info().name, "STUDENT2");
  EXPECT_EQ(f->order(0).info().keyExpression, "L_NAME");
  std::size_t before = test::scanAll(f->order(0)).size();
  ASSERT_TRUE(f->order(0).insert(padRight("Zander", 15), 99));
  f->commit();
  EXPECT_TRUE(f->check().ok());
  auto again = CdxFile::open(copy.string(), false);
  EXPECT_EQ(test::scanAll(again->order(0)).size(), before + 1);
}

}  // namespace
}  // namespace zandor

namespace zandor {
namespace {

TEST(CdxFile, ChangesToAFileOpenedForReadingAreRefused) {
  test::TempDir dir;
  std::string path = dir.file("ro.cdx");
  {
    auto f = CdxFile::create(path);
    f->addTag({"NAME", "NAME", "", 'C', 10, false, false, false}, {{padRight("A", 10), 1}});
    f->commit();
  }
  std::string before = test::readBytes(path);
  auto f = CdxFile::open(path, false);
  ErrorGuard guard;
  try {
    f->order(0).insert(padRight("B", 10), 2);
    FAIL() << "insert into a read-only file";
  } catch (const ErrorException& e) {
    EXPECT_EQ(e.error().genCode, 24);
  }
  f->commit();
  EXPECT_TRUE(test::readBytes(path) == before);
  EXPECT_EQ(test::scanAll(f->order(0)).size(), 1u);
}

}  // namespace
}  // namespace zandor
