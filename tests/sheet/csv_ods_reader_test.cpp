// CSV typing with German settings, and the .ods reader.

#include <gtest/gtest.h>

#include "sheet/cell_store.h"
#include "sheet/sheet_error.h"
#include "sheet/workbook_data.h"
#include "sheet_files.h"
#include "support/test_support.h"

namespace zandor::sheet {
namespace {

class ReaderTest : public ::testing::Test {
 protected:
  WorkbookData csv(const std::string& bytes) {
    test::writeBytes(dir_.path() / "daten.csv", bytes);
    return readSpreadsheetFile(dir_.file("daten.csv"));
  }
  WorkbookData ods(const std::string& tables, const std::string& active = "") {
    test::writeOds(dir_.path() / "t.ods", tables, active);
    return readSpreadsheetFile(dir_.file("t.ods"));
  }
  std::string odsRefusal(const std::string& tables) {
    try {
      ods(tables);
    } catch (const SheetReadError& e) {
      return e.what();
    }
    return "(gelesen)";
  }
  static const Cell* at(const WorkbookData& b, std::uint32_t r, std::uint32_t c) {
    return b.sheets[b.activeSheet].cells.find(r, c);
  }
  static std::u16string text(const WorkbookData& b, std::uint32_t r, std::uint32_t c) {
    const Cell* cell = at(b, r, c);
    if (!cell || cell->kind != CellKind::Text) return u"(kein Text)";
    return std::u16string(b.texts.get(cell->text));
  }
  static void expectNumber(const WorkbookData& b, std::uint32_t r, std::uint32_t c, double v) {
    const Cell* cell = at(b, r, c);
    ASSERT_TRUE(cell) << r << "," << c;
    EXPECT_EQ(cell->kind, CellKind::Number) << r << "," << c;
    EXPECT_DOUBLE_EQ(cell->number, v) << r << "," << c;
  }
  static void expectDate(const WorkbookData& b, std::uint32_t r, std::uint32_t c, double v) {
    const Cell* cell = at(b, r, c);
    ASSERT_TRUE(cell) << r << "," << c;
    EXPECT_EQ(cell->kind, CellKind::Date) << r << "," << c;
    EXPECT_NEAR(cell->number, v, 1e-9) << r << "," << c;
  }

  test::TempDir dir_;
};

TEST_F(ReaderTest, CsvTypesCellsAsGermanSettingsDo) {
  const WorkbookData b =
      csv("1.234,56;12,5;-3;00123;0;1.23;12.5;1,5E3;5%\r\n"
          "15.03.2012;1.3.12;15.03.2012 08:30;08:15:30;31.02.2012\n"
          "WAHR;falsch;TRUE; 42 ;x;;\"\"\n");
  expectNumber(b, 1, 1, 1234.56);
  expectNumber(b, 1, 2, 12.5);
  expectNumber(b, 1, 3, -3);
  EXPECT_EQ(text(b, 1, 4), u"00123");  // article numbers keep their zeros
  expectNumber(b, 1, 5, 0);
  EXPECT_EQ(text(b, 1, 6), u"1.23");  // no thousands group of three
  EXPECT_EQ(text(b, 1, 7), u"12.5");  // a point is no decimal separator here
  expectNumber(b, 1, 8, 1500);
  expectNumber(b, 1, 9, 0.05);
  expectDate(b, 2, 1, 40983);
  expectDate(b, 2, 2, 40969);  // 01.03.2012
  expectDate(b, 2, 3, 40983 + 8.5 / 24);
  expectDate(b, 2, 4, (8 * 3600 + 15 * 60 + 30) / 86400.0);
  EXPECT_EQ(text(b, 2, 5), u"31.02.2012");
  ASSERT_TRUE(at(b, 3, 1));
  EXPECT_EQ(at(b, 3, 1)->kind, CellKind::Boolean);
  EXPECT_TRUE(at(b, 3, 1)->flag);
  EXPECT_EQ(at(b, 3, 2)->kind, CellKind::Boolean);
  EXPECT_FALSE(at(b, 3, 2)->flag);
  EXPECT_EQ(text(b, 3, 3), u"TRUE");
  expectNumber(b, 3, 4, 42);
  EXPECT_EQ(text(b, 3, 5), u"x");
  EXPECT_EQ(at(b, 3, 6), nullptr);
  EXPECT_EQ(at(b, 3, 7), nullptr);
  EXPECT_EQ(b.sheets[0].name, u"daten");
}

TEST_F(ReaderTest, CsvQuotesSeparatorsAndEncodings) {
  // Commas on the first line outside quotes outnumber the semicolon inside them.
  WorkbookData b = csv("\"a;b\",\"Zeile 1\r\nZeile 2\",\"sagt \"\"hallo\"\"\"\nx,y\n");
  EXPECT_EQ(text(b, 1, 1), u"a;b");
  EXPECT_EQ(text(b, 1, 2), u"Zeile 1\r\nZeile 2");
  EXPECT_EQ(text(b, 1, 3), u"sagt \"hallo\"");
  EXPECT_EQ(text(b, 2, 2), u"y");

  b =
      csv("\xEF\xBB\xBFM\xC3\xBCller\tGr\xC3\xB6\xC3\x9F"
          "e\n");  // UTF-8 with BOM, tabs
  EXPECT_EQ(text(b, 1, 1), u"M\u00fcller");
  EXPECT_EQ(text(b, 1, 2), u"Gr\u00f6\u00dfe");
  b = csv("M\xC3\xBCller;\xE2\x82\xAC\n");  // UTF-8 without BOM
  EXPECT_EQ(text(b, 1, 1), u"M\u00fcller");
  EXPECT_EQ(text(b, 1, 2), u"\u20ac");
  b =
      csv("M\xFCller;\x80;Stra\xDF"
          "e");  // Windows-1252, no line end at the end
  EXPECT_EQ(text(b, 1, 1), u"M\u00fcller");
  EXPECT_EQ(text(b, 1, 2), u"\u20ac");
  EXPECT_EQ(text(b, 1, 3), u"Stra\u00dfe");
}

const char* kTable =
    "<table:table table:name=\"Erste\"><table:table-row><table:table-cell "
    "office:value-type=\"float\" office:value=\"1\"/></table:table-row></table:table>"
    "<table:table table:name=\"Zweite\">"
    "<table:table-row>"
    "<table:table-cell office:value-type=\"string\"><text:p>Hallo<text:s text:c=\"3\"/>Welt"
    "<text:tab/>x</text:p><text:p>zweite <text:span>Zeile</text:span></text:p>"
    "<office:annotation><text:p>Kommentar</text:p></office:annotation></table:table-cell>"
    "<table:table-cell table:number-columns-repeated=\"2\"/>"
    "<table:table-cell office:value-type=\"percentage\" office:value=\"0.25\"/>"
    "<table:table-cell office:value-type=\"currency\" office:value=\"-12.5\"/>"
    "<table:table-cell office:value-type=\"date\" office:date-value=\"2012-03-15T08:30:00\"/>"
    "<table:table-cell office:value-type=\"time\" office:time-value=\"PT08H15M00S\"/>"
    "<table:table-cell office:value-type=\"boolean\" office:boolean-value=\"true\"/>"
    "<table:table-cell table:formula=\"of:=FALSE()\" office:value-type=\"float\" "
    "office:value=\"0\"/>"
    "<table:table-cell table:formula=\"of:=1/0\" office:value-type=\"string\" "
    "calcext:value-type=\"error\"><text:p>#DIV/0!</text:p></table:table-cell>"
    "</table:table-row>"
    "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell "
    "office:value-type=\"float\" office:value=\"7\" table:number-columns-repeated=\"2\"/>"
    "<table:covered-table-cell/><table:table-cell office:value-type=\"float\" "
    "office:value=\"8\"/></table:table-row>"
    "<table:table-row table:number-rows-repeated=\"1048000\"><table:table-cell "
    "table:number-columns-repeated=\"16384\"/></table:table-row>"
    "</table:table>";

TEST_F(ReaderTest, OdsValueTypesRepeatsAndActiveTable) {
  const WorkbookData b = ods(kTable, "Zweite");
  ASSERT_EQ(b.sheets.size(), 2u);
  EXPECT_EQ(b.activeSheet, 1u);
  EXPECT_EQ(text(b, 1, 1), u"Hallo   Welt\tx\nzweite Zeile");
  EXPECT_EQ(at(b, 1, 2), nullptr);
  EXPECT_EQ(at(b, 1, 3), nullptr);
  expectNumber(b, 1, 4, 0.25);
  expectNumber(b, 1, 5, -12.5);
  expectDate(b, 1, 6, 40983 + 8.5 / 24);
  expectDate(b, 1, 7, 8.25 / 24);
  ASSERT_TRUE(at(b, 1, 8));
  EXPECT_TRUE(at(b, 1, 8)->flag);
  EXPECT_EQ(at(b, 1, 9)->kind, CellKind::Boolean);
  EXPECT_FALSE(at(b, 1, 9)->flag);
  EXPECT_EQ(at(b, 1, 10)->kind, CellKind::Error);
  for (std::uint32_t r : {2u, 3u}) {
    expectNumber(b, r, 1, 7);
    expectNumber(b, r, 2, 7);
    EXPECT_EQ(at(b, r, 3), nullptr);  // covered by a merge
    expectNumber(b, r, 4, 8);
  }
  // The huge trailing repeat of empty rows costs nothing.
  EXPECT_EQ(b.sheets[1].cells.lastRow(), 3u);
  EXPECT_EQ(b.sheets[1].cells.cellCount(), 14u);

  EXPECT_EQ(ods(kTable).activeSheet, 0u);  // no view settings: the first sheet
}

TEST_F(ReaderTest, OdsRepeatsThatWouldFillTooMuchAreRefused) {
  EXPECT_EQ(odsRefusal("<table:table table:name=\"a\"><table:table-row "
                       "table:number-rows-repeated=\"2000000\"><table:table-cell "
                       "office:value-type=\"float\" office:value=\"1\"/></table:table-row>"
                       "</table:table>"),
            "Zeilen au\xc3\x9f"
            "erhalb des Tabellenblatts (Zeile 2000000).");
  EXPECT_EQ(odsRefusal("<table:table table:name=\"a\"><table:table-row><table:table-cell "
                       "office:value-type=\"float\" office:value=\"1\" "
                       "table:number-columns-repeated=\"99999\"/></table:table-row>"
                       "</table:table>"),
            "Zellen au\xc3\x9f"
            "erhalb des Tabellenblatts (Spalte 99999).");
  const ReadLimits saved = readLimits();
  readLimits().maxCells = 1000;
  EXPECT_EQ(odsRefusal("<table:table table:name=\"a\"><table:table-row "
                       "table:number-rows-repeated=\"100\"><table:table-cell "
                       "office:value-type=\"float\" office:value=\"1\" "
                       "table:number-columns-repeated=\"100\"/></table:table-row></table:table>"),
            "Das Tabellenblatt hat zu viele Zellen (Grenze 1000).");
  readLimits() = saved;
  EXPECT_EQ(odsRefusal("<table:table table:name=\"a\"><table:table-row><table:table-cell "
                       "office:value-type=\"float\" office:value=\"eins\"/></table:table-row>"
                       "</table:table>"),
            "Ung\xc3\xbcltige Zahl \"eins\".");
  EXPECT_EQ(odsRefusal(""), "Das Dokument hat kein Tabellenblatt.");
}

}  // namespace
}  // namespace zandor::sheet

namespace zandor::sheet {
namespace {

TEST_F(ReaderTest, FlatOdsIsReadOtherXmlRefused) {
  const std::string ns =
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
      "xmlns:calcext=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\" "
      "xmlns:config=\"urn:oasis:names:tc:opendocument:xmlns:config:1.0\"";
  test::writeBytes(
      dir_.path() / "flach.fods",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document " + ns +
          " office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:settings>"
          "<config:config-item-set config:name=\"ooo:view-settings\">"
          "<config:config-item-map-indexed config:name=\"Views\"><config:config-item-map-entry>"
          "<config:config-item config:name=\"ActiveTable\" config:type=\"string\">Zweite"
          "</config:config-item></config:config-item-map-entry></config:config-item-map-indexed>"
          "</config:config-item-set></office:settings><office:body><office:spreadsheet>" +
          kTable + "</office:spreadsheet></office:body></office:document>");
  const WorkbookData b = readSpreadsheetFile(dir_.file("flach.fods"));
  EXPECT_EQ(b.activeSheet, 1u);
  EXPECT_EQ(text(b, 1, 1), u"Hallo   Welt\tx\nzweite Zeile");
  expectNumber(b, 3, 4, 8);

  test::writeBytes(dir_.path() / "andere.xml", "<?xml version=\"1.0\"?><Workbook/>");
  try {
    readSpreadsheetFile(dir_.file("andere.xml"));
    ADD_FAILURE() << "read";
  } catch (const SheetReadError& e) {
    EXPECT_STREQ(e.what(), "Die XML-Datei ist keine Tabelle, die gelesen werden kann.");
  }
}

}  // namespace
}  // namespace zandor::sheet
