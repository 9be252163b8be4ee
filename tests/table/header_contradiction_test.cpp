#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "base/encoding.h"
#include "support/test_support.h"
#include "table/layout_check.h"
#include "table/memo_file.h"
#include "table/record_check.h"
#include "table/table_create.h"
#include "table/table_error.h"
#include "table/work_area.h"
#include "table_test_util.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;
using ::testing::HasSubstr;

// KUNDE C(10), NAME1 C(30), UMSATZ N(12,2), GEBDAT D, AKTIV L, NOTIZ M: record length 72,
// descriptors end at 224.
std::string makeTable(const TempDir& dir, MemoKind memoKind = MemoKind::Dbt3) {
  const std::string path = dir.file("ADRESSEN.DBF");
  createTable(path,
              {{"KUNDE", 'C', 10, 0},
               {"NAME1", 'C', 30, 0},
               {"UMSATZ", 'N', 12, 2},
               {"GEBDAT", 'D', 8, 0},
               {"AKTIV", 'L', 1, 0},
               {"NOTIZ", 'M', 10, 0}},
              memoKind);
  auto area = WorkArea::open(path, "DBFNTX", false, false);
  for (int i = 1; i <= 3; ++i) {
    area->append();
    area->putField(0, Value::text("K" + std::to_string(i)));
    area->putField(1, Value::text("Name " + std::to_string(i)));
    area->putField(5, Value::text("Notiz " + std::to_string(i)));
  }
  area->close();
  return path;
}

// The reason a writable open refuses the table with, or "" when it opens.
std::string writeRefusal(const std::string& path) {
  try {
    WorkArea::open(path, "DBFNTX", false, false);
  } catch (const TableError& e) {
    EXPECT_EQ(e.error().genCode, gen::kCorruption) << e.error().text();
    return cp1252ToUtf8(e.error().reason);
  }
  return {};
}

std::string memoPathOf(const std::string& table, const char* extension = ".dbt") {
  return table.substr(0, table.size() - 4) + extension;
}

struct Damage {
  const char* what;
  std::function<void(std::string& table, std::string& memo)> apply;
  const char* named;  // part of the reason given
};

// Every header fact the layout rests on, contradicted in turn: the table is refused for
// writing with the contradiction named, no byte of it or its memo file changes, and it can
// still be read where the reading rules allow.
TEST(HeaderContradictionTest, EachContradictionIsRefusedForWritingWithNothingChanged) {
  const Damage damages[] = {
      {"a field shorter than the record length says",
       [](std::string& t, std::string&) { t[32 + 32 + 16] = 28; }, "Satzlänge im Dateikopf ist 72"},
      {"a record length beyond the fields", [](std::string& t, std::string&) { t[10] = 80; },
       "die Felder ergeben 72"},
      {"a header length without room for the descriptors' end mark",
       [](std::string& t, std::string&) { t[8] = static_cast<char>(224); }, "Kopflänge 224"},
      {"no end mark after the descriptors", [](std::string& t, std::string&) { t[224] = ' '; },
       "Endezeichen"},
      {"records counted that the file does not hold",
       [](std::string& t, std::string&) { t[4] = 9; }, "zählt 9 Datensätze, die Datei hält nur 3"},
      {"a header length that moves the records",
       [](std::string& t, std::string&) {
         t[8] = 1;  // 257 instead of 225
         t[9] = 1;
       },
       "zählt 3 Datensätze, die Datei hält nur 2"},
      {"a date field of six bytes",
       [](std::string& t, std::string&) {
         t[32 + 3 * 32 + 16] = 6;
         t[10] = 70;
       },
       "Typ D hat die Länge 6"},
      {"as many decimals as the number field is long",
       [](std::string& t, std::string&) { t[32 + 2 * 32 + 17] = 12; }, "12 Nachkommastellen"},
      {"a memo file whose next free block lies far beyond its end",
       [](std::string&, std::string& m) { m.replace(0, 4, "\xff\xff\xff\x7f", 4); },
       "nennt Block 2147483647"},
      {"a memo file whose next free block lies one block beyond its end",
       [](std::string&, std::string& m) { m[0] = static_cast<char>(m.size() / 512 + 1); },
       "als nächsten freien"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    TempDir dir;
    const std::string path = makeTable(dir);
    std::string table = readBytes(path);
    std::string memo = readBytes(memoPathOf(path));
    d.apply(table, memo);
    writeBytes(path, table);
    writeBytes(memoPathOf(path), memo);
    EXPECT_THAT(writeRefusal(path), HasSubstr(d.named));
    EXPECT_EQ(readBytes(path), table);
    EXPECT_EQ(readBytes(memoPathOf(path)), memo);
  }
}

// dbf check reports a contradicting header as damage, whatever the index files say.
TEST(HeaderContradictionTest, TheCheckReportsTheContradiction) {
  TempDir dir;
  const std::string path = makeTable(dir);
  const std::string index = dir.file("adkun.ntx");
  std::string out;
  ASSERT_EQ(test::runCommand("'" + test::cliPath() + "' dbf index '" + path + "' '" + index +
                             "' --key KUNDE 2>&1"),
            0);
  ASSERT_EQ(
      test::runCommand("'" + test::cliPath() + "' dbf check '" + path + "' '" + index + "'", &out),
      0)
      << out;
  std::string memo = readBytes(memoPathOf(path));
  memo.replace(0, 4, "\xff\xff\xff\x7f", 4);
  writeBytes(memoPathOf(path), memo);
  EXPECT_EQ(
      test::runCommand("'" + test::cliPath() + "' dbf check '" + path + "' '" + index + "'", &out),
      1);
  EXPECT_THAT(out, HasSubstr("ADRESSEN.DBF: beschädigt: ADRESSEN.dbt: Die Memodatei nennt Block "
                             "2147483647 als nächsten freien"));
}

TEST(HeaderContradictionTest, ASoundTableAndItsMemoFileOpenForWriting) {
  for (MemoKind kind : {MemoKind::Dbt3, MemoKind::Dbt4, MemoKind::Fpt}) {
    TempDir dir;
    const std::string path = makeTable(dir, kind);
    EXPECT_EQ(writeRefusal(path), "");
    EXPECT_EQ(WorkArea::open(path, "DBFNTX", true, true)->damage(), std::nullopt);
  }
}

// The field places a Visual FoxPro table keeps in its descriptors must be the ones the
// lengths make; other writers leave memory there, which is not looked at.
TEST(HeaderContradictionTest, VisualFoxProFieldPlacesMustMatchTheLengths) {
  ZANDOR_REQUIRE_SHARED();
  TempDir dir;
  const fs::path table = test::copyFixture("peers/dbd-xbase/afox5.dbf", dir.path());
  test::copyFixture("peers/dbd-xbase/afox5.FPT", dir.path());
  EXPECT_EQ(writeRefusal(table.string()), "");
  std::string bytes = readBytes(table);
  bytes[32 + 32 + 12] = static_cast<char>(bytes[32 + 32 + 12] + 2);  // the second field
  writeBytes(table, bytes);
  EXPECT_THAT(writeRefusal(table.string()), HasSubstr("laut Feldbeschreibung bei Byte"));

  const std::string plain = makeTable(dir);
  bytes = readBytes(plain);
  bytes[32 + 32 + 12] = 0x55;  // a dBase III descriptor keeps an address there
  writeBytes(plain, bytes);
  EXPECT_EQ(writeRefusal(plain), "");
}

// None of the tables other programs wrote is taken for damaged.
TEST(HeaderContradictionTest, TablesOfIndependentWritersAgreeWithThemselves) {
  ZANDOR_REQUIRE_SHARED();
  int checked = 0;
  for (const auto& entry :
       fs::recursive_directory_iterator(test::sharedDir() / "fixtures" / "peers")) {
    std::string ext = entry.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".dbf") continue;
    SCOPED_TRACE(entry.path().string());
    std::unique_ptr<WorkArea> area;
    try {
      area = WorkArea::open(entry.path().string(), "DBFNTX", true, true);
    } catch (const TableError&) {
      continue;  // refused as not supported or without its memo file: not ours to judge here
    }
    EXPECT_EQ(area->damage(), std::nullopt);
    ++checked;
  }
  EXPECT_GT(checked, 60);
}

// A memo text without its end mark, followed by nothing but zeros or by more bytes than any
// text holds, and a length field out of all proportion are not read on to the end of the
// file: each is a read error that says why, and the check names it.
TEST(MemoReadLimitTest, DamagedTextsEndWithAReadErrorInsteadOfTheWholeFile) {
  struct Case {
    const char* what;
    MemoKind kind;
    char filler;  // what follows text 1 up to 20 MB
    const char* named;
  };
  const Case cases[] = {
      {"dBase III text without end mark, zeros after it", MemoKind::Dbt3, '\0',
       "gefolgt von Nullbytes"},
      {"dBase III text without end mark, 20 MB of bytes after it", MemoKind::Dbt3, 'x',
       "länger als 16 MB"},
      {"FoxPro text of almost 2 GB", MemoKind::Fpt, '\0', "länger als 16 MB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = makeTable(dir, c.kind);
    const std::string memoPath = memoPathOf(path, c.kind == MemoKind::Fpt ? ".fpt" : ".dbt");
    std::string memo = readBytes(memoPath);
    if (c.kind == MemoKind::Dbt3) {
      std::replace(memo.begin(), memo.end(), '\x1a', '.');  // the texts lose their end marks
    } else {
      memo.replace(512 + 4, 4, "\x7f\xff\xff\xf0", 4);  // text 1's length: almost 2 GB
    }
    const std::size_t size = MemoFile::kMaxText + (4u << 20);
    if (c.filler == '\0') {
      writeBytes(memoPath, memo);
      fs::resize_file(memoPath, size);  // sparse: costs nothing
    } else {
      writeBytes(memoPath, memo + std::string(size - memo.size(), c.filler));
    }
    auto area = WorkArea::open(path, "DBFNTX", true, true);
    area->goTo(1);
    const std::optional<Error> error = test::errorOf([&] { area->fieldValue(5); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->genCode, gen::kRead);
    EXPECT_THAT(cp1252ToUtf8(error->reason), HasSubstr(c.named));
    ASSERT_NE(area->memo(), nullptr);
    const auto problem = area->memo()->referenceProblem(c.kind == MemoKind::Fpt ? 8 : 1);
    ASSERT_TRUE(problem.has_value());
    EXPECT_THAT(cp1252ToUtf8(*problem), HasSubstr(c.named));
  }
}

// Records a kill left behind the counted ones: whole ones are records, one whose copy was cut
// short is not, whichever field the copy stopped in.
TEST(RecordCheckTest, ACopyCutShortIsToldFromAWholeRecord) {
  TempDir dir;
  const std::string path = makeTable(dir);
  auto area = WorkArea::open(path, "DBFNTX", true, true);
  area->goTo(2);
  const std::string whole = area->record();
  const DbfLayout& layout = area->layout();
  EXPECT_TRUE(isWholeRecord(layout, whole));
  std::string deleted = whole;
  deleted[0] = '*';
  EXPECT_TRUE(isWholeRecord(layout, deleted));
  // Cut after the flag, inside the text, the number, the date, the logical and the memo field.
  for (std::size_t cut : {1u, 15u, 45u, 58u, 61u, 63u}) {
    SCOPED_TRACE(cut);
    std::string torn = whole;
    std::fill(torn.begin() + static_cast<std::ptrdiff_t>(cut), torn.end(), '\0');
    EXPECT_FALSE(isWholeRecord(layout, torn));
  }
  std::string letters = whole;
  letters.replace(53, 8, "2024AB01");  // the date field
  EXPECT_FALSE(isWholeRecord(layout, letters));
  EXPECT_FALSE(isWholeRecord(layout, whole.substr(1)));
}

}  // namespace
}  // namespace zandor
