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
  WorkbookData ods(const std::string& tables, const std::string& active = "",
                   const ReadLimits& limits = {}) {
    test::writeOds(dir_.path() / "t.ods", tables, active);
    return readSpreadsheetFile(dir_.file("t.ods"), limits);
  }
  std::string odsRefusal(const std::string& tables, const ReadLimits& limits = {}) {
    try {
      ods(tables, "", limits);
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
    return std::u16string(b.textsOf(b.sheets[b.activeSheet]).get(cell->text));
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
  // The limit counts what is stored: a repeated cell in a repeated row is stored once,
  // different cells each.
  ReadLimits small;
  small.maxCells = 1000;
  EXPECT_EQ(odsRefusal("<table:table table:name=\"a\"><table:table-row "
                       "table:number-rows-repeated=\"100\"><table:table-cell "
                       "office:value-type=\"float\" office:value=\"1\" "
                       "table:number-columns-repeated=\"100\"/></table:table-row></table:table>",
                       small),
            "(gelesen)");
  std::string distinct = "<table:table table:name=\"a\">";
  for (int r = 0; r < 1001; ++r)
    distinct += "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"" +
                std::to_string(r) + "\"/></table:table-row>";
  EXPECT_EQ(odsRefusal(distinct + "</table:table>", small),
            "Das Tabellenblatt hat zu viele Zellen (Grenze 1000).");
  EXPECT_EQ(odsRefusal("<table:table table:name=\"a\"><table:table-row><table:table-cell "
                       "office:value-type=\"float\" office:value=\"eins\"/></table:table-row>"
                       "</table:table>"),
            "Ung\xc3\xbcltige Zahl \"eins\".");
  EXPECT_EQ(odsRefusal(""), "Das Dokument hat kein Tabellenblatt.");
}

// LibreOffice writes a value filled down and right as one repeated cell in a repeated
// row: 2,930 rows of all 16,384 columns here, 48 million cells in a file of a few hundred
// bytes. They are stored as one run in one row range, not cell by cell.
TEST_F(ReaderTest, OdsRepeatedCellsAreStoredAsRuns) {
  const WorkbookData b =
      ods("<table:table table:name=\"a\">"
          "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell/>"
          "<table:table-cell office:value-type=\"float\" office:value=\"5\" "
          "table:number-columns-repeated=\"3\"/><table:table-cell/>"
          "<table:table-cell office:value-type=\"string\" table:number-columns-repeated=\"2\">"
          "<text:p>x</text:p></table:table-cell></table:table-row>"
          "<table:table-row table:number-rows-repeated=\"2930\"><table:table-cell "
          "office:value-type=\"float\" office:value=\"7\" "
          "table:number-columns-repeated=\"16384\"/></table:table-row>"
          "<table:table-row><table:table-cell table:number-columns-repeated=\"4\"/>"
          "<table:table-cell office:value-type=\"float\" office:value=\"9\"/></table:table-row>"
          "<table:table-row table:number-rows-repeated=\"1000000\"><table:table-cell "
          "table:number-columns-repeated=\"16384\"/></table:table-row></table:table>");
  const CellStore& cells = b.sheets[0].cells;
  for (std::uint32_t r : {1u, 2u}) {
    EXPECT_EQ(at(b, r, 1), nullptr);
    for (std::uint32_t c : {2u, 3u, 4u}) expectNumber(b, r, c, 5);
    EXPECT_EQ(at(b, r, 5), nullptr);
    EXPECT_EQ(text(b, r, 6), u"x");
    EXPECT_EQ(text(b, r, 7), u"x");
    EXPECT_EQ(at(b, r, 8), nullptr);
  }
  for (std::uint32_t r : {3u, 4u, 1500u, 2932u}) {
    for (std::uint32_t c : {1u, 2u, 9000u, 16384u}) expectNumber(b, r, c, 7);
  }
  EXPECT_EQ(at(b, 2933, 1), nullptr);
  expectNumber(b, 2933, 5, 9);
  EXPECT_EQ(at(b, 2933, 6), nullptr);
  EXPECT_EQ(at(b, 2934, 5), nullptr);
  EXPECT_EQ(cells.firstColumn(), 1u);
  EXPECT_EQ(cells.lastColumn(), 16384u);
  EXPECT_EQ(cells.lastRow(), 2933u);
  EXPECT_EQ(cells.cellCount(), 2u * 5 + 2930u * 16384 + 1);
  // The row ranges and a handful of cells, not 16 bytes per cell (768 MB).
  EXPECT_LT(cells.storedBytes(), 64u * 1024);
}

}  // namespace
}  // namespace zandor::sheet

namespace zandor::sheet {
namespace {

// Elements and attributes count by their namespace, whatever prefix a writer binds to it;
// those of another namespace with the same local names are not the document's.
TEST_F(ReaderTest, OdsIsReadByNamespaceNotByPrefix) {
  const std::string ns =
      "xmlns:o=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:t=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:x=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
      "xmlns:ce=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\" "
      "xmlns:k=\"urn:oasis:names:tc:opendocument:xmlns:config:1.0\" "
      "xmlns:f=\"urn:example:fremd\" xmlns:table=\"urn:example:fremd\" "
      "xmlns:config=\"urn:example:fremd\"";
  const std::string content =
      "<?xml version=\"1.0\"?><o:document-content " + ns +
      "><o:body><o:spreadsheet>"
      "<f:table f:name=\"Fremd\"><t:table-row><t:table-cell o:value-type=\"float\" "
      "o:value=\"1\"/></t:table-row></f:table>"
      "<t:table t:name=\"Eins\"><t:table-row t:number-rows-repeated=\"2\" "
      "f:number-rows-repeated=\"9\">"
      "<t:table-cell o:value-type=\"string\"><x:p>a<x:s x:c=\"2\"/>b<f:s f:c=\"3\"/><x:tab/>"
      "<f:p>fremd</f:p></x:p><o:annotation><x:p>Notiz</x:p></o:annotation><f:annotation/>"
      "</t:table-cell>"
      "<t:table-cell o:value-type=\"float\" o:value=\"2.5\" t:number-columns-repeated=\"2\" "
      "f:number-columns-repeated=\"5\"/>"
      "<t:table-cell f:value-type=\"float\" f:value=\"3\"/>"
      "<t:table-cell o:value-type=\"float\" o:value=\"4\" ce:value-type=\"float\" "
      "f:formula=\"of:=TRUE()\"/>"
      "<table:table-cell o:value-type=\"float\" o:value=\"99\"/>"
      "<t:table-cell o:value-type=\"string\" ce:value-type=\"error\" f:value-type=\"x\">"
      "<x:p>#DIV/0!</x:p></t:table-cell></t:table-row></t:table>"
      "<t:table t:name=\"Zwei\"><t:table-row><t:table-cell o:value-type=\"boolean\" "
      "o:boolean-value=\"true\"/></t:table-row></t:table>"
      "</o:spreadsheet></o:body></o:document-content>";
  const std::string settings =
      "<?xml version=\"1.0\"?><o:document-settings " + ns +
      "><o:settings><k:config-item-set k:name=\"ooo:view-settings\">"
      "<k:config-item-map-indexed k:name=\"Views\"><k:config-item-map-entry>"
      "<config:config-item config:name=\"ActiveTable\">Eins</config:config-item>"
      "<k:config-item k:name=\"ActiveTable\" k:type=\"string\">Zwei</k:config-item>"
      "</k:config-item-map-entry></k:config-item-map-indexed></k:config-item-set>"
      "</o:settings></o:document-settings>";
  test::writeZip(dir_.path() / "p.ods",
                 {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                  {"content.xml", content},
                  {"settings.xml", settings}});
  WorkbookData b = readSpreadsheetFile(dir_.file("p.ods"));
  ASSERT_EQ(b.sheets.size(), 2u);
  EXPECT_EQ(b.sheets[0].name, u"Eins");
  ASSERT_EQ(b.activeSheet, 1u);
  ASSERT_TRUE(at(b, 1, 1));
  EXPECT_EQ(at(b, 1, 1)->kind, CellKind::Boolean);
  EXPECT_TRUE(at(b, 1, 1)->flag);

  b.activeSheet = 0;
  b.sheet(0);
  for (std::uint32_t r : {1u, 2u}) {
    // The text of a foreign element counts (as OpenDocument has it), but it is no paragraph.
    EXPECT_EQ(text(b, r, 1), u"a  b\tfremd") << r;
    expectNumber(b, r, 2, 2.5);
    expectNumber(b, r, 3, 2.5);
    EXPECT_EQ(at(b, r, 4), nullptr) << r;
    expectNumber(b, r, 5, 4);
    ASSERT_TRUE(at(b, r, 6)) << r;
    EXPECT_EQ(at(b, r, 6)->kind, CellKind::Error) << r;
    EXPECT_EQ(at(b, r, 7), nullptr) << r;
  }
  EXPECT_EQ(b.sheets[0].cells.lastRow(), 2u);
}

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
