// Tables whose header marks a code page other than Windows-1252: their text is stored, keyed
// and sought in that page, read back as 1252, and a character the page lacks is never
// written as another one.
#include <gtest/gtest.h>

#include <set>

#include "base/text.h"
#include "support/test_support.h"
#include "table/cdx_file.h"
#include "table/code_page.h"
#include "table/index_build.h"
#include "table/table_create.h"
#include "table/table_error.h"
#include "table/unsupported.h"
#include "table_test_util.h"

namespace zandor {
namespace {

using test::TempDir;

TEST(CodePageTest, MarksNameTheirPagesAndTranslateBothWays) {
  const auto dos = TableCodePage::ofMark(0x01);
  ASSERT_TRUE(dos.has_value());
  EXPECT_EQ(dos->number(), 437);
  EXPECT_EQ(dos->fromAnsi("M\xfcller \xc4\xd6\xdc\xdf"), "M\x81ller \x8e\x99\x9a\xe1");
  EXPECT_EQ(dos->toAnsi("M\x81ller \x8e\x99\x9a\xe1"), "M\xfcller \xc4\xd6\xdc\xdf");
  // Box drawing has no 1252 character; the euro sign no 437 one.
  EXPECT_EQ(dos->toAnsi("a\xc4z"), "a?z");
  char missing = 0;
  EXPECT_EQ(dos->fromAnsi("5 \x80", &missing), std::nullopt);
  EXPECT_EQ(missing, '\x80');

  const auto international = TableCodePage::ofMark(0x02);
  ASSERT_TRUE(international.has_value());
  EXPECT_EQ(international->number(), 850);
  EXPECT_EQ(international->fromAnsi("\xe4\xf6\xfc\xc0\xf8"), "\x84\x94\x81\xb7\x9b");

  for (std::uint8_t mark : {0x00, 0x03, 0x57}) {
    const auto same = TableCodePage::ofMark(mark);
    ASSERT_TRUE(same.has_value());
    EXPECT_FALSE(same->translates());
    EXPECT_EQ(same->fromAnsi("\x80\xfc\x81"), "\x80\xfc\x81");
  }
  // Two-byte pages keep ASCII; each other character reads as one "?".
  const auto chinese = TableCodePage::ofMark(0x7A);
  ASSERT_TRUE(chinese.has_value());
  EXPECT_EQ(chinese->toAnsi("ab\xd6\xd0 c"), "ab? c");
  EXPECT_EQ(chinese->fromAnsi("abc"), "abc");
  EXPECT_EQ(chinese->fromAnsi("\xfc"), std::nullopt);
  EXPECT_EQ(TableCodePage::ofMark(0x7F), std::nullopt);
}

// Whatever a page takes comes back unchanged, and no two characters share a byte.
TEST(CodePageTest, EveryKnownPageRoundTripsWhatItHolds) {
  int pages = 0;
  for (int mark = 0; mark < 256; ++mark) {
    const auto page = TableCodePage::ofMark(static_cast<std::uint8_t>(mark));
    if (!page || !page->translates()) continue;
    ++pages;
    SCOPED_TRACE(page->number());
    std::set<std::string> stored;
    int held = 0;
    for (int c = 0x20; c < 256; ++c) {
      const std::string text(1, static_cast<char>(c));
      const auto bytes = page->fromAnsi(text);
      if (c < 0x80) {
        EXPECT_EQ(bytes, text);
      }
      if (!bytes) continue;
      ++held;
      EXPECT_EQ(page->toAnsi(*bytes), text);
      EXPECT_TRUE(stored.insert(*bytes).second);
    }
    EXPECT_GE(held, 0x60);
  }
  EXPECT_GE(pages, 50);
}

class CodePageTableTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string table = dir.file("ADRESSEN.DBF");
  std::string cdx = dir.file("ADRESSEN.CDX");

  void make(std::uint8_t mark) {
    createTable(table, {{"KUNDE", 'C', 6, 0}, {"NAME", 'C', 12, 0}, {"NOTIZ", 'M', 10, 0}});
    std::string bytes = test::readBytes(table);
    bytes[29] = static_cast<char>(mark);
    test::writeBytes(table, bytes);
    createIndex(table, cdx, "NAME", "UPPER(NAME)");
  }
};

TEST_F(CodePageTableTest, TextIsStoredKeyedAndSoughtInTheMarkedPage) {
  make(0x02);
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "A", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(cdx));
    for (const char* name : {"M\xfcller", "\xc4hre", "Zorn"}) {
      ASSERT_TRUE(areas.DBAPPEND());
      EXPECT_TRUE(areas.putField(2, Value::text(name)));
      EXPECT_TRUE(areas.putField(3, Value::text(std::string("Notiz ") + name)));
    }
    EXPECT_TRUE(areas.DBSEEK(Value::text("M\xfcLL")));
    EXPECT_EQ(areas.current()->recNo(), 1u);
    EXPECT_EQ(areas.FIELDGET(2), Value::text("M\xfcller      "));
    EXPECT_EQ(areas.FIELDGET(3), Value::text("Notiz M\xfcller"));
    EXPECT_TRUE(areas.DBSEEK(Value::text("\xc4")));
    EXPECT_EQ(areas.current()->recNo(), 2u);
    // A text the page cannot hold is the key of no record.
    EXPECT_FALSE(areas.DBSEEK(Value::text("M\x80")));
  }
  const std::string bytes = test::readBytes(table);
  EXPECT_EQ(test::rawRecord(bytes, 1).substr(7, 12), "M\x81ller      ");
  EXPECT_EQ(test::rawRecord(bytes, 2).substr(7, 12), "\x8ehre        ");
  // The keys are the stored bytes (UPPER changes a to z only), in the page's byte order.
  auto file = CdxFile::open(cdx, false);
  std::vector<std::string> keys;
  for (auto e = file->order(0).first(); e; e = file->order(0).next())
    keys.push_back(trimRight(e->key));
  EXPECT_EQ(keys, (std::vector<std::string>{"M\x81LLER", "ZORN", "\x8eHRE"}));
  EXPECT_TRUE(checkIndex(table, cdx).empty()) << checkIndex(table, cdx).front();
}

// A character the page lacks is refused as the value of its field, which keeps its bytes;
// the rest of the record is written.
TEST_F(CodePageTableTest, ACharacterThePageLacksIsRefusedNotReplaced) {
  make(0x01);
  auto area = WorkArea::open(table, "DBFCDX", false, false);
  area->append();
  area->putField(1, Value::text("Alt"));
  try {
    area->putField(1, Value::text("5 \x80"));
    ADD_FAILURE() << "no error";
  } catch (const TableError& e) {
    EXPECT_EQ(e.error().genCode, gen::kDataType);
  }
  EXPECT_EQ(area->fieldValue(1), Value::text("Alt         "));
  area->putField(0, Value::text("K1"));
  area->close();
  EXPECT_EQ(test::rawRecord(test::readBytes(table), 1).substr(1, 18), "K1    Alt         ");
}

// A mark we do not know: read as stored, refused for writing before anything changes.
TEST_F(CodePageTableTest, AnUnknownMarkIsRefusedForWriting) {
  make(0x00);
  {
    auto area = WorkArea::open(table, "DBFCDX", false, false);
    area->append();
    area->putField(1, Value::text("Caf\xe9"));
  }
  std::string bytes = test::readBytes(table);
  bytes[29] = '\x7f';
  test::writeBytes(table, bytes);
  try {
    WorkArea::open(table, "DBFCDX", false, false);
    ADD_FAILURE() << "opened for writing";
  } catch (const TableError& e) {
    EXPECT_TRUE(isUnsupportedError(e.error()));
    EXPECT_EQ(unsupportedFeatureOf(e.error()), "Codeseite mit der Kennung 0x7F");
  }
  EXPECT_EQ(test::readBytes(table), bytes);
  auto reading = WorkArea::open(table, "DBFCDX", true, true);
  EXPECT_EQ(reading->fieldValue(1), Value::text("Caf\xe9        "));
}

}  // namespace
}  // namespace zandor
