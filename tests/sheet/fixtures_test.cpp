// Workbooks written by LibreOffice (tests/data/sheets, made by make_fixtures.sh) and by the
// other writers in ../shared: every format delivers the same values; and the dump command.

#include <gtest/gtest.h>

#include <filesystem>

#include "base/date.h"
#include "sheet/cell_store.h"
#include "sheet/workbook_data.h"
#include "support/test_support.h"

namespace zandor::sheet {
namespace {

std::string fixture(const std::string& name) {
  return std::string(ZANDOR_SOURCE_DIR) + "/tests/data/sheets/" + name;
}

// A sheet as comparable text: one line per stored cell.
std::string describe(WorkbookData& book, std::size_t sheetIndex) {
  const SheetData& sheet = book.sheet(sheetIndex);
  std::string out;
  const CellStore& cells = sheet.cells;
  for (std::uint32_t r = cells.firstRow(); r <= cells.lastRow(); ++r) {
    for (std::uint32_t c = cells.firstColumn(); c <= cells.lastColumn(); ++c) {
      const Cell* cell = cells.find(r, c);
      if (!cell) continue;
      out += std::to_string(r) + "," + std::to_string(c) + ":";
      switch (cell->kind) {
        case CellKind::Number:
          out += "N" + std::to_string(cell->number);
          break;
        case CellKind::Date:
          out += "D" + std::to_string(cell->number);
          break;
        case CellKind::Text: {
          const auto t = book.textsOf(sheet).get(cell->text);
          out += "C" + std::string(t.begin(), t.end());  // UTF-16 units, narrowed for tests
          for (char16_t u : t) {
            if (u > 0xFF) out += "#" + std::to_string(u);
          }
          break;
        }
        case CellKind::Boolean:
          out += cell->flag ? "L1" : "L0";
          break;
        case CellKind::Error:
          out += "E" + std::to_string(cell->error & 0xFFFF);
          break;
        case CellKind::Empty:
          out += "U";
          break;
      }
      out += "\n";
    }
  }
  return out;
}

TEST(Fixtures, LibreOfficeWorkbookReadsTheSameInAllThreeFormats) {
  WorkbookData xlsx = readSpreadsheetFile(fixture("mixed_lo.xlsx"));
  WorkbookData ods = readSpreadsheetFile(fixture("mixed_lo.ods"));
  WorkbookData xls = readSpreadsheetFile(fixture("mixed_lo.xls"));
  for (const WorkbookData* book : {&xlsx, &ods, &xls}) {
    ASSERT_EQ(book->sheets.size(), 2u);
    EXPECT_EQ(book->activeSheet, 1u);
    EXPECT_EQ(book->sheets[1].name, u"Daten");
  }
  const std::string expected = describe(xlsx, 1);
  EXPECT_EQ(describe(ods, 1), expected);
  EXPECT_EQ(describe(xls, 1), expected);
  EXPECT_EQ(describe(ods, 0), describe(xlsx, 0));
  EXPECT_EQ(describe(xls, 0), describe(xlsx, 0));
}

TEST(Fixtures, LibreOfficeWorkbookValues) {
  const WorkbookData book = readSpreadsheetFile(fixture("mixed_lo.xlsx"));
  const SheetData& sheet = book.sheets[1];
  auto text = [&](std::uint32_t r, std::uint32_t c) {
    const Cell* cell = sheet.cells.find(r, c);
    EXPECT_TRUE(cell && cell->kind == CellKind::Text) << r << "," << c;
    return cell ? std::u16string(book.texts.get(cell->text)) : std::u16string();
  };
  auto number = [&](std::uint32_t r, std::uint32_t c, CellKind kind) {
    const Cell* cell = sheet.cells.find(r, c);
    EXPECT_TRUE(cell && cell->kind == kind) << r << "," << c;
    return cell ? cell->number : -1.0;
  };
  EXPECT_EQ(text(2, 1), u"00123");
  EXPECT_EQ(text(2, 2), u"  M\u00fcller & S\u00f6hne  ");
  EXPECT_EQ(text(3, 2), u"Gr\u00f6\u00dfe \u00c4\u00d6\u00dc \u00e4\u00f6\u00fc \u00df \u20ac");
  EXPECT_EQ(number(2, 3, CellKind::Number), 1234.56);
  EXPECT_EQ(number(3, 3, CellKind::Number), 0.0);
  EXPECT_EQ(number(4, 3, CellKind::Number), 12345678901234.0);
  EXPECT_EQ(number(5, 3, CellKind::Number), -0.5);
  EXPECT_EQ(number(2, 4, CellKind::Date), 40983.0);  // 15.03.2012
  EXPECT_NEAR(number(3, 4, CellKind::Date), 44561 + 86398.0 / 86400, 1e-9);
  EXPECT_NEAR(number(4, 4, CellKind::Date), 8.25 / 24, 1e-9);  // a time alone
  EXPECT_EQ(number(2, 6, CellKind::Number), 2469.12);          // formula result
  EXPECT_EQ(text(4, 6), u"Nr. 4711");
  const Cell* error = sheet.cells.find(3, 6);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind, CellKind::Error);
  EXPECT_EQ(static_cast<std::uint32_t>(error->error), 0x800A07D7u);
  const Cell* flag = sheet.cells.find(2, 5);
  ASSERT_TRUE(flag && flag->kind == CellKind::Boolean);
  EXPECT_TRUE(flag->flag);
  EXPECT_EQ(sheet.cells.find(4, 2), nullptr);  // empty inside the data
  EXPECT_EQ(sheet.cells.find(5, 4), nullptr);
}

TEST(Fixtures, SharedWorkbooksOfOtherWritersAgree) {
  ZANDOR_REQUIRE_SHARED();
  const auto dir = test::sharedDir() / "fixtures" / "sheets";
  WorkbookData xlsx = readSpreadsheetFile((dir / "kunden.xlsx").string());
  WorkbookData xls = readSpreadsheetFile((dir / "kunden_lo.xls").string());
  EXPECT_EQ(describe(xls, xls.activeSheet), describe(xlsx, xlsx.activeSheet));
  EXPECT_EQ(xlsx.sheets[xlsx.activeSheet].cells.lastColumn(), 6u);
}

TEST(Fixtures, DumpCommandPrintsTheActiveSheet) {
  test::TempDir dir;
  std::string out;
  const std::string command = "cd '" + dir.path().string() + "' && '" + test::cliPath() +
                              "' sheet dump '" + fixture("mixed_lo.ods") + "'";
  ASSERT_EQ(test::runCommand(command, &out), 0);
  EXPECT_EQ(out,
            "1\t1\tC\tNUMMER\n1\t2\tC\tNAME\n1\t3\tC\tBETRAG\n1\t4\tC\tDATUM\n1\t5\tC\tAKTIV\n"
            "1\t6\tC\tFORMEL\n"
            "2\t1\tC\t00123\n2\t2\tC\t  M\xc3\xbcller & S\xc3\xb6hne  \n2\t3\tN\t1234.56\n"
            "2\t4\tD\t2012-03-15\n2\t5\tL\t.T.\n2\t6\tN\t2469.12\n"
            "3\t1\tC\tA-7\n3\t2\tC\tGr\xc3\xb6\xc3\x9f"
            "e \xc3\x84\xc3\x96\xc3\x9c \xc3\xa4\xc3\xb6"
            "\xc3\xbc \xc3\x9f \xe2\x82\xac\n3\t3\tN\t0\n3\t4\tD\t2021-12-31 23:59:58.000\n"
            "3\t5\tL\t.F.\n3\t6\tE\t#DIV/0!\n"
            "4\t1\tN\t4711\n4\t3\tN\t12345678901234\n4\t4\tD\t1899-12-30 08:15:00.000\n"
            "4\t6\tC\tNr. 4711\n"
            "5\t1\tC\tZ\n5\t2\tC\tEnde\n5\t3\tN\t-0.5\n5\t6\tL\t.F.\n");
  // The error cell is a value of its own, no unexpected type for the trace file.
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "trace.log"));

  ASSERT_NE(test::runCommand(
                "'" + test::cliPath() + "' sheet dump '" + dir.file("fehlt.xlsx") + "' 2>/dev/null",
                &out),
            0);
}

}  // namespace
}  // namespace zandor::sheet

namespace zandor::sheet {
namespace {

TEST(Fixtures, KindIsToldByContentNotByName) {
  test::TempDir dir;
  const std::pair<const char*, const char*> renamed[] = {{"mixed_lo.ods", "tabelle.xlsx"},
                                                         {"mixed_lo.xlsx", "vorlage.xltm"},
                                                         {"mixed_lo.xls", "daten.csv"},
                                                         {"mixed_lo.xlsx", "ohne_endung"}};
  WorkbookData original = readSpreadsheetFile(fixture("mixed_lo.xlsx"));
  const std::string expected = describe(original, 1);
  for (const auto& [from, to] : renamed) {
    std::filesystem::copy_file(fixture(from), dir.path() / to);
    WorkbookData book = readSpreadsheetFile(dir.file(to));
    EXPECT_EQ(describe(book, book.activeSheet), expected) << from << " as " << to;
  }
}

// One cell moved to the last place of an .xls sheet (IV65536) makes the used range the
// whole sheet; the dump still prints exactly the cells there are, the moved one last, without
// a request for each of the 16 million empty cells between.
TEST(Fixtures, DumpOfAUsedRangeMadeHugeByOneCellPrintsTheCellsThereAre) {
  ZANDOR_REQUIRE_SHARED();
  test::TempDir dir;
  std::string bytes = test::readBytes(test::sharedDir() / "fixtures" / "sheets" / "kunden_lo.xls");
  const std::size_t label = bytes.find(std::string("\xfd\x00\x0a\x00", 4));
  ASSERT_NE(label, std::string::npos);
  std::string out;
  ASSERT_EQ(test::runCommand(
                "'" + test::cliPath() + "' sheet dump '" +
                    (test::sharedDir() / "fixtures" / "sheets" / "kunden_lo.xls").string() + "'",
                &out),
            0);
  const std::string first = out.substr(0, out.find('\n') + 1);
  bytes.replace(label + 4, 4, "\xff\xff\xff\x00", 4);  // row 65536, column 256
  test::writeBytes(dir.file("weit.xls"), bytes);
  std::string far;
  ASSERT_EQ(
      test::runCommand("'" + test::cliPath() + "' sheet dump '" + dir.file("weit.xls") + "'", &far),
      0);
  const std::string moved = first.substr(first.find('\t', first.find('\t') + 1));
  EXPECT_EQ(far, out.substr(first.size()) + "65536\t256" + moved);
}

}  // namespace
}  // namespace zandor::sheet
