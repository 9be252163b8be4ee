// Memo references that cannot be read whole are found, named by record and field, and
// reported by "dbf check" and "dbf repair" (which cannot mend them).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"
#include "table/index_build.h"
#include "table/memo_check.h"
#include "table/table_create.h"
#include "table/work_area.h"
#include "table/work_areas.h"

namespace zandor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// Where a field of a record lies in the table file.
std::size_t fieldOffset(const std::string& table, std::uint32_t recno, const std::string& name) {
  const auto area = WorkArea::open(table, "DBFNTX", true, true);
  const FieldInfo& field = area->fields()[static_cast<std::size_t>(area->fieldIndex(name))];
  return area->layout().headerLength + (recno - 1) * area->layout().recordLength + field.offset;
}

void patch(const std::string& file, std::size_t at, const std::string& bytes) {
  std::string all = readBytes(file);
  all.replace(at, bytes.size(), bytes);
  writeBytes(file, all);
}

// The block a ten-character memo field holds.
std::uint32_t blockOf(const std::string& table, std::uint32_t recno, const std::string& name) {
  return static_cast<std::uint32_t>(
      std::stoul(readBytes(table).substr(fieldOffset(table, recno, name), 10)));
}

class MemoCheckTest : public ::testing::TestWithParam<MemoKind> {};

TEST_P(MemoCheckTest, EachUnreadableReferenceIsNamedByRecordAndField) {
  const MemoKind kind = GetParam();
  TempDir dir;
  const std::string table = dir.file("notizen.dbf");
  const std::string memo = dir.file(kind == MemoKind::Fpt ? "notizen.fpt" : "notizen.dbt");
  const std::size_t blockSize = kind == MemoKind::Fpt ? 64 : 512;
  createTable(table, {{"NR", 'C', 3, 0}, {"NOTIZ", 'M', 10, 0}, {"INFO", 'M', 10, 0}}, kind);
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "", table, "", std::nullopt, false));
    for (int r = 1; r <= 4; ++r) {
      areas.DBAPPEND();
      areas.FIELDPUT(2, Value::text("Notiz " + std::to_string(r)));
      areas.FIELDPUT(3, Value::text(std::string(r == 4 ? 1500 : 20, 'i')));
    }
  }
  EXPECT_TRUE(checkMemoReferences(table, "DBFNTX").empty());

  patch(table, fieldOffset(table, 1, "NOTIZ"), "     99999");
  patch(table, fieldOffset(table, 2, "INFO"), "  12ab    ");
  const std::string memoBytes = readBytes(memo);
  // The last text of the file loses its end.
  const std::uint32_t last = blockOf(table, 4, "INFO");
  std::filesystem::resize_file(memo, last * blockSize + 700);
  std::vector<std::string> expected = {
      "Satz 1, Feld NOTIZ: Block 99999 liegt hinter dem Ende der Memodatei",
      "Satz 2, Feld INFO: keine Blocknummer im Feld"};
  const std::uint32_t third = blockOf(table, 3, "NOTIZ");
  if (kind == MemoKind::Dbt4) {
    patch(memo, third * blockSize, "\xff\xfe");
    expected.push_back("Satz 3, Feld NOTIZ: Block " + std::to_string(third) +
                       ": Blockkopf besch\xe4"
                       "digt");
  } else if (kind == MemoKind::Fpt) {
    patch(memo, third * blockSize, std::string("\x00\x00\x00\x07", 4));
    expected.push_back("Satz 3, Feld NOTIZ: Block " + std::to_string(third) +
                       ": Blockkopf besch\xe4"
                       "digt");
    // A block inside the 512-byte header of an FPT file.
    patch(table, fieldOffset(table, 3, "INFO"), "         2");
    expected.push_back("Satz 3, Feld INFO: Block 2 liegt im Dateikopf");
  }
  expected.push_back("Satz 4, Feld INFO: Block " + std::to_string(last) +
                     (kind == MemoKind::Dbt3
                          ? ": Text ohne Endezeichen, die Memodatei ist abgeschnitten"
                          : ": L\xe4nge 1508 reicht \xfc"
                            "ber das Ende der Memodatei"));
  EXPECT_EQ(checkMemoReferences(table, "DBFNTX"), expected);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MemoCheckTest,
                         ::testing::Values(MemoKind::Dbt3, MemoKind::Dbt4, MemoKind::Fpt));

int cli(const std::string& args, std::string* out) {
  return runCommand("'" + cliPath() + "' dbf " + args + " 2>&1", out);
}

// Copies of other writers' tables: sound, they repair and check clean; with a damaged memo
// file both commands name what they cannot read and exit 1, and the index is rebuilt anyway.
TEST(MemoCheckCommandTest, RepairAndCheckReportDamagedMemoFiles) {
  ZANDOR_REQUIRE_SHARED();
  TempDir dir;
  copyFixture("peers/dbd-xbase/afox5.dbf", dir.path());
  copyFixture("peers/dbd-xbase/afox5.FPT", dir.path());
  copyFixture("peers/dbd-xbase/test.dbf", dir.path());
  copyFixture("peers/dbd-xbase/test.dbt", dir.path());
  const std::string fox = dir.file("afox5.dbf");
  const std::string dbase = dir.file("test.dbf");
  const std::string cdx = dir.file("id.cdx");
  const std::string ntx = dir.file("id.ntx");
  std::string out;
  ASSERT_EQ(cli("index '" + fox + "' '" + cdx + "' --tag ID --key ID", &out), 0) << out;
  ASSERT_EQ(cli("index '" + dbase + "' '" + ntx + "' --key ID", &out), 0) << out;
  for (const auto& [table, index] : {std::pair{fox, cdx}, std::pair{dbase, ntx}}) {
    EXPECT_EQ(cli("repair '" + table + "' '" + index + "'", &out), 0) << out;
    EXPECT_THAT(out, Not(HasSubstr("Memo")));
    EXPECT_EQ(cli("check '" + table + "' '" + index + "'", &out), 0) << out;
  }

  // afox5: record 2's message runs past the end of the file; test: record 3's note points
  // behind it.
  const std::size_t message = fieldOffset(fox, 2, "MESSAGE");
  const std::string raw = readBytes(fox).substr(message, 4);
  const std::uint32_t block = static_cast<std::uint8_t>(raw[0]) |
                              static_cast<std::uint32_t>(static_cast<std::uint8_t>(raw[1])) << 8;
  patch(dir.file("afox5.FPT"), block * 64 + 4, std::string("\x00\x01\x00\x00", 4));
  patch(dbase, fieldOffset(dbase, 3, "NOTE"), "      4000");

  const std::string foxLine = "Satz 2, Feld MESSAGE: Block " + std::to_string(block) +
                              ": L\xc3\xa4nge 65544 reicht \xc3\xbc"
                              "ber das Ende der Memodatei";
  const std::string dbaseLine = "Satz 3, Feld NOTE: Block 4000 liegt hinter dem Ende der Memodatei";
  for (const auto& [table, index, line] :
       {std::tuple{fox, cdx, foxLine}, std::tuple{dbase, ntx, dbaseLine}}) {
    EXPECT_EQ(cli("repair '" + table + "' '" + index + "'", &out), 1) << out;
    EXPECT_THAT(out, HasSubstr(": neu aufgebaut"));
    EXPECT_THAT(out, HasSubstr("1 Memo-Verweise nicht lesbar, nicht repariert\n  " + line + "\n"));
    EXPECT_EQ(cli("check '" + table + "' '" + index + "'", &out), 1) << out;
    EXPECT_THAT(out, HasSubstr(": OK\n"));
    EXPECT_THAT(out, HasSubstr("1 Memo-Verweise nicht lesbar\n  " + line + "\n"));
  }
}

}  // namespace
}  // namespace zandor::test
