// Only the active sheet is read when a workbook is opened; the others are read when first
// asked for, with the values they would have had.

#include <gtest/gtest.h>

#include "base/error.h"
#include "sheet/ole_auto.h"
#include "sheet/sheet_error.h"
#include "sheet/workbook_data.h"
#include "sheet_files.h"
#include "support/test_support.h"

namespace zandor::sheet {
namespace {

std::u16string textAt(WorkbookData& book, std::size_t sheet, std::uint32_t r, std::uint32_t c) {
  const SheetData& s = book.sheet(sheet);
  const Cell* cell = s.cells.find(r, c);
  if (!cell || cell->kind != CellKind::Text) return u"(kein Text)";
  return std::u16string(book.textsOf(s).get(cell->text));
}

// The active sheet's own texts outweigh the shared ones: the pool keeps them in front and
// the shared ones behind, where a sheet read later must still find them.
TEST(LazySheets, SharedTextsFoundBehindTheActiveSheetsOwn) {
  test::TempDir dir;
  test::XlsxContent content;
  content.sharedStrings = "<si><t>geteilt</t></si><si><t>aktiv</t></si>";
  content.sheets = {
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>nur"
      "</t></is></c></row>",
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>ein "
      "eigener Text, l\xc3\xa4nger als alle geteilten</t></is></c><c r=\"C1\" t=\"s\"><v>0</v>"
      "</c></row>"};
  content.activeTab = 1;
  test::writeXlsx(dir.path() / "t.xlsx", content);

  WorkbookData book = readSpreadsheetFile(dir.file("t.xlsx"));
  EXPECT_EQ(book.texts.size(), 3u);
  EXPECT_EQ(textAt(book, 1, 1, 1), u"aktiv");
  EXPECT_EQ(textAt(book, 1, 1, 2), u"ein eigener Text, l\u00e4nger als alle geteilten");
  EXPECT_EQ(textAt(book, 1, 1, 3), u"geteilt");
  EXPECT_EQ(textAt(book, 0, 1, 1), u"geteilt");
  EXPECT_EQ(textAt(book, 0, 1, 2), u"nur");
}

TEST(LazySheets, XlsxSheetsBesideTheActiveOneAreReadWhenAskedFor) {
  test::TempDir dir;
  test::XlsxContent content;
  content.sharedStrings = "<si><t>geteilt</t></si><si><t>aktiv</t></si>";
  content.cellXfs = "<xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>";
  content.workbookPr = "<workbookPr date1904=\"1\"/>";
  content.sheets = {
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>nur hier"
      "</t></is></c><c r=\"C1\" s=\"1\"><v>0</v></c></row>",
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>eigen</t>"
      "</is></c></row>",
      "<row r=\"1\"><c r=\"A1\"><v>1</v></row>",               // broken: read only when asked for
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>7</v></c></row>"};  // names a text that is not there
  content.activeTab = 1;
  test::writeXlsx(dir.path() / "t.xlsx", content);

  WorkbookData book = readSpreadsheetFile(dir.file("t.xlsx"));
  ASSERT_EQ(book.sheets.size(), 4u);
  EXPECT_EQ(book.activeSheet, 1u);
  EXPECT_FALSE(book.sheets[0].loaded);
  EXPECT_FALSE(book.sheets[2].loaded);
  EXPECT_EQ(textAt(book, 1, 1, 1), u"aktiv");
  EXPECT_EQ(textAt(book, 1, 1, 2), u"eigen");

  EXPECT_EQ(textAt(book, 0, 1, 1), u"geteilt");
  EXPECT_EQ(textAt(book, 0, 1, 2), u"nur hier");
  const Cell* date = book.sheet(0).cells.find(1, 3);
  ASSERT_TRUE(date);
  EXPECT_EQ(date->kind, CellKind::Date);
  EXPECT_EQ(date->number, 1462.0);             // the 1904 system holds for every sheet
  EXPECT_EQ(textAt(book, 1, 1, 2), u"eigen");  // the active sheet's texts are unchanged

  try {
    book.sheet(2);
    ADD_FAILURE() << "broken sheet read";
  } catch (const SheetReadError& e) {
    EXPECT_NE(std::string(e.what()).find("Fehlerhaftes XML"), std::string::npos) << e.what();
  }
  EXPECT_THROW(book.sheet(3), SheetReadError);

  // Through the server: the broken sheet fails when it is asked for, not at Add.
  ErrorGuard guard;
  const Value app = CreateObject("Excel.Application");
  const Value workbook =
      oleRequest(oleRequest(app, "Workbooks"), "Add", {Value::text(dir.file("t.xlsx"))});
  const Value first = oleRequest(workbook, "Worksheets", {Value::integer(1)});
  const Value cell = oleRequest(first, "Cells", {Value::integer(1), Value::integer(2)});
  EXPECT_EQ(oleRequest(cell, "Value").asText(), "nur hier");
  EXPECT_THROW(oleRequest(workbook, "Worksheets", {Value::integer(3)}), ErrorException);
}

TEST(LazySheets, OdsTablesBesideTheActiveOneAreReadWhenAskedFor) {
  test::TempDir dir;
  const std::string tables =
      "<table:table table:name=\"Erste\"><table:table-row><table:table-cell "
      "office:value-type=\"string\"><text:p>eins</text:p></table:table-cell><table:table-cell "
      "office:value-type=\"float\" office:value=\"2\"/></table:table-row></table:table>"
      "<table:table table:name=\"Zweite\"><table:table-row><table:table-cell "
      "office:value-type=\"string\"><text:p>aktiv</text:p></table:table-cell></table:table-row>"
      "</table:table>";
  test::writeOds(dir.path() / "t.ods", tables, "Zweite");
  WorkbookData book = readSpreadsheetFile(dir.file("t.ods"));
  ASSERT_EQ(book.sheets.size(), 2u);
  EXPECT_EQ(book.activeSheet, 1u);
  EXPECT_FALSE(book.sheets[0].loaded);
  EXPECT_EQ(textAt(book, 1, 1, 1), u"aktiv");
  EXPECT_EQ(textAt(book, 0, 1, 1), u"eins");
  ASSERT_TRUE(book.sheet(0).cells.find(1, 2));
  EXPECT_EQ(book.sheet(0).cells.find(1, 2)->number, 2.0);

  // Settings naming no table: the first one is active and read.
  test::writeOds(dir.path() / "u.ods", tables, "Keine");
  WorkbookData other = readSpreadsheetFile(dir.file("u.ods"));
  EXPECT_EQ(other.activeSheet, 0u);
  EXPECT_TRUE(other.sheets[0].loaded);
  EXPECT_EQ(textAt(other, 0, 1, 1), u"eins");
}

}  // namespace
}  // namespace zandor::sheet
