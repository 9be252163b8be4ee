// The .xlsx reader on hand-made workbooks: cell kinds, positions, date formats, and files
// it must refuse with a reason.

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "sheet/cell_store.h"
#include "sheet/serial_date.h"
#include "sheet/sheet_error.h"
#include "sheet/workbook_data.h"
#include "sheet_files.h"
#include "support/test_support.h"

namespace zandor::sheet {
namespace {

using test::XlsxContent;

class XlsxReaderTest : public ::testing::Test {
 protected:
  WorkbookData read(const XlsxContent& content) {
    test::writeXlsx(dir_.path() / "t.xlsx", content);
    return readSpreadsheetFile(dir_.file("t.xlsx"));
  }
  std::string refusal(const XlsxContent& content, const ReadLimits& limits = {}) {
    return refusalOf(test::xlsxParts(content), limits);
  }
  std::string refusalOf(const test::ZipParts& parts, const ReadLimits& limits = {}) {
    test::writeZip(dir_.path() / "t.xlsx", parts);
    return refusalOfFile(dir_.file("t.xlsx"), limits);
  }
  std::string refusalOfFile(const std::string& file, const ReadLimits& limits = {}) {
    try {
      readSpreadsheetFile(file, limits);
    } catch (const SheetReadError& e) {
      return e.what();
    }
    return "(gelesen)";
  }
  static const SheetData& sheet(const WorkbookData& b) { return b.sheets[b.activeSheet]; }
  static std::u16string text(const WorkbookData& b, std::uint32_t r, std::uint32_t c) {
    const Cell* cell = sheet(b).cells.find(r, c);
    if (!cell || cell->kind != CellKind::Text) return u"(kein Text)";
    return std::u16string(b.texts.get(cell->text));
  }
  static const Cell* at(const WorkbookData& b, std::uint32_t r, std::uint32_t c) {
    return sheet(b).cells.find(r, c);
  }

  test::TempDir dir_;
};

TEST_F(XlsxReaderTest, StringsSharedInlineRichAndEscaped) {
  XlsxContent content;
  content.sharedStrings =
      "<si><t>eins</t></si>"
      "<si><r><rPr><b/></rPr><t>fett </t></r><r><t xml:space=\"preserve\">und  d\xc3\xbcnn</t></r>"
      "<rPh sb=\"0\" eb=\"1\"><t>PHONETIK</t></rPh></si>"
      "<si><t>Zeile_x000D__x000A_zwei _x005F_x0041_ &amp; &lt;</t></si>"
      "<si><t/></si>";
  content.sheets = {
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
      "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c>"
      "<c r=\"E1\" t=\"inlineStr\"><is><t> inline </t></is></c>"
      "<c r=\"F1\" t=\"inlineStr\"><is><r><t>a</t></r><r><t>b</t></r></is></c>"
      "<c r=\"G1\" t=\"str\"><f>A1&amp;\"x\"</f><v>einsx</v></c></row>"};
  const WorkbookData b = read(content);
  EXPECT_EQ(text(b, 1, 1), u"eins");
  EXPECT_EQ(text(b, 1, 2), u"fett und  d\u00fcnn");
  EXPECT_EQ(text(b, 1, 3), u"Zeile\r\nzwei _x0041_ & <");
  EXPECT_EQ(text(b, 1, 4), u"");
  EXPECT_EQ(text(b, 1, 5), u" inline ");
  EXPECT_EQ(text(b, 1, 6), u"ab");
  EXPECT_EQ(text(b, 1, 7), u"einsx");
}

TEST_F(XlsxReaderTest, IndexNumbersArePlainDigitsWithinRange) {
  XlsxContent content;
  content.sharedStrings = "<si><t>null</t></si><si><t>eins</t></si>";
  auto sheetWith = [&](const std::string& index, const std::string& style = "0") {
    content.sheets = {"<row r=\"1\"><c r=\"A1\" s=\"" + style + "\" t=\"s\"><v>" + index +
                      "</v></c></row>"};
    return content;
  };
  EXPECT_EQ(text(read(sheetWith("1")), 1, 1), u"eins");
  EXPECT_EQ(text(read(sheetWith("0001")), 1, 1), u"eins");
  EXPECT_EQ(text(read(sheetWith("-0")), 1, 1), u"null");      // what from_chars has always let by
  EXPECT_EQ(text(read(sheetWith(" 1\r\n")), 1, 1), u"eins");  // blanks around it say nothing
  for (const char* bad : {"-1", "+1", "1a", "1 1", "2147483648", "99999999999999999999"}) {
    EXPECT_EQ(refusal(sheetWith(bad)),
              "Ung\xc3\xbcltige Angabe Textindex=\"" + std::string(bad) + "\".")
        << bad;
  }
  EXPECT_EQ(refusal(sheetWith("0", "x")), "Ung\xc3\xbcltige Angabe s=\"x\".");
}

TEST_F(XlsxReaderTest, KindsAndPositionsWithoutReferences) {
  XlsxContent content;
  content.sheets = {
      // Row and cell positions continue from the previous ones when r is missing.
      "<row><c><v>1</v></c><c t=\"b\"><v>0</v></c><c t=\"e\"><v>#N/A</v></c></row>"
      "<row r=\"5\"><c r=\"C5\"><v>-2.5E3</v></c><c><v>7</v></c><c r=\"F5\" s=\"0\"/></row>"
      "<row><c t=\"d\"><v>2012-03-15T08:30:00</v></c><c r=\"Z6\" t=\"b\"><v>1</v></c></row>"};
  const WorkbookData b = read(content);
  const CellStore& cells = sheet(b).cells;
  ASSERT_TRUE(at(b, 1, 1));
  EXPECT_EQ(at(b, 1, 1)->number, 1.0);
  EXPECT_EQ(at(b, 1, 2)->kind, CellKind::Boolean);
  EXPECT_FALSE(at(b, 1, 2)->flag);
  EXPECT_EQ(at(b, 1, 3)->kind, CellKind::Error);
  EXPECT_EQ(static_cast<std::uint32_t>(at(b, 1, 3)->error), 0x800A07FAu);
  EXPECT_EQ(at(b, 5, 3)->number, -2500.0);
  EXPECT_EQ(at(b, 5, 4)->number, 7.0);
  EXPECT_EQ(at(b, 5, 6), nullptr);  // a styled cell without value is empty
  ASSERT_TRUE(at(b, 6, 1));
  EXPECT_EQ(at(b, 6, 1)->kind, CellKind::Date);
  EXPECT_DOUBLE_EQ(at(b, 6, 1)->number, 40983 + 8.5 / 24);
  EXPECT_TRUE(at(b, 6, 26)->flag);
  EXPECT_EQ(at(b, 2, 1), nullptr);
  EXPECT_EQ(cells.firstRow(), 1u);
  EXPECT_EQ(cells.lastRow(), 6u);
  EXPECT_EQ(cells.lastColumn(), 26u);
}

TEST_F(XlsxReaderTest, CellsOutOfOrderAreSortedAndTheLastWins) {
  XlsxContent content;
  content.sheets = {
      "<row r=\"3\"><c r=\"B3\"><v>3</v></c></row><row r=\"1\"><c r=\"C1\"><v>1</v></c>"
      "<c r=\"A1\"><v>2</v></c></row><row r=\"3\"><c r=\"B3\"><v>4</v></c></row>"};
  const WorkbookData b = read(content);
  EXPECT_EQ(at(b, 1, 1)->number, 2.0);
  EXPECT_EQ(at(b, 1, 3)->number, 1.0);
  EXPECT_EQ(at(b, 3, 2)->number, 4.0);
  EXPECT_EQ(sheet(b).cells.cellCount(), 3u);
}

TEST_F(XlsxReaderTest, DateFormatsBuiltInCustomAnd1904) {
  XlsxContent content;
  content.numFmts =
      "<numFmt numFmtId=\"164\" formatCode=\"dd/mm/yyyy\"/>"
      "<numFmt numFmtId=\"165\" formatCode=\"[h]:mm\"/>"
      "<numFmt numFmtId=\"166\" formatCode=\"#,##0.00 &quot;Tage&quot;\"/>"
      "<numFmt numFmtId=\"167\" formatCode=\"[Red]0.00\"/>"
      "<numFmt numFmtId=\"168\" formatCode=\"[$-407]DDDD, D. MMMM YYYY\"/>";
  content.cellXfs =
      "<xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/><xf numFmtId=\"165\"/>"
      "<xf numFmtId=\"166\"/><xf numFmtId=\"167\"/><xf numFmtId=\"168\"/><xf numFmtId=\"4\"/>"
      "<xf numFmtId=\"22\"/>";
  std::string row = "<row r=\"1\">";
  for (int s = 0; s < 9; ++s) row += "<c s=\"" + std::to_string(s) + "\"><v>40983</v></c>";
  row += "<c s=\"99\"><v>1</v></c></row>";
  content.sheets = {row};
  const WorkbookData b = read(content);
  const CellKind expected[] = {CellKind::Number, CellKind::Date,   CellKind::Date, CellKind::Date,
                               CellKind::Number, CellKind::Number, CellKind::Date, CellKind::Number,
                               CellKind::Date,   CellKind::Number};
  for (std::uint32_t c = 1; c <= 10; ++c) {
    ASSERT_TRUE(at(b, 1, c));
    EXPECT_EQ(at(b, 1, c)->kind, expected[c - 1]) << "style " << c - 1;
  }

  content.workbookPr = "<workbookPr date1904=\"1\"/>";
  const WorkbookData mac = read(content);
  EXPECT_EQ(at(mac, 1, 2)->number, 40983.0 + 1462);  // dates move, numbers do not
  EXPECT_EQ(at(mac, 1, 1)->number, 40983.0);
}

TEST_F(XlsxReaderTest, ElementsCountByNamespaceNotByPrefix) {
  constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  auto parts = test::xlsxParts(XlsxContent());
  for (auto& [name, data] : parts) {
    if (name == "xl/worksheets/data_a.xml")
      data = std::string("<x:worksheet xmlns:x=\"") + kMain +
             "\"><x:sheetData><x:row r=\"1\"><x:c r=\"a1\" s=\"1\"><x:v>40983</x:v></x:c>"
             "<c xmlns=\"urn:fremd\" r=\"B1\"><v>6</v></c><x:c r=\"c1\"><x:v> 7 </x:v></x:c>"
             "</x:row></x:sheetData></x:worksheet>";
    if (name == "xl/styles.xml")
      data = std::string("<s:styleSheet xmlns:s=\"") + kMain +
             "\"><s:cellXfs><s:xf numFmtId=\"0\"/><s:xf numFmtId=\"14\"/></s:cellXfs>"
             "</s:styleSheet>";
    if (name == "xl/workbook.xml") {
      // A workbookPr of another namespace says nothing about the date system.
      const std::size_t at = data.find("<sheets>");
      data.insert(at, "<o:workbookPr xmlns:o=\"urn:fremd\" date1904=\"1\"/>");
    }
  }
  test::writeZip(dir_.path() / "t.xlsx", parts);
  const WorkbookData b = readSpreadsheetFile(dir_.file("t.xlsx"));
  ASSERT_TRUE(at(b, 1, 1));
  EXPECT_EQ(at(b, 1, 1)->kind, CellKind::Date);
  EXPECT_EQ(at(b, 1, 1)->number, 40983.0);
  EXPECT_EQ(at(b, 1, 2), nullptr);
  ASSERT_TRUE(at(b, 1, 3));
  EXPECT_EQ(at(b, 1, 3)->number, 7.0);
}

TEST(SerialDates, PhantomLeapDayAndIsoForms) {
  EXPECT_EQ(automationSerial(1, false), 2.0);  // 01.01.1900
  EXPECT_EQ(automationSerial(59, false), 60.0);
  EXPECT_EQ(automationSerial(61, false), 61.0);  // 01.03.1900
  EXPECT_EQ(automationSerial(0.25, false), 0.25);
  double s = 0;
  EXPECT_TRUE(serialFromIso("1900-03-01", &s));
  EXPECT_EQ(s, 61.0);
  EXPECT_TRUE(serialFromIso("08:15:30", &s));
  EXPECT_DOUBLE_EQ(s, (8 * 3600 + 15 * 60 + 30) / 86400.0);
  EXPECT_TRUE(serialFromIso("2024-02-29T12:00:00Z", &s));
  EXPECT_EQ(s, 45351.5);
  EXPECT_FALSE(serialFromIso("2023-02-29", &s));
  EXPECT_FALSE(serialFromIso("15.03.2012", &s));
  EXPECT_TRUE(serialFromDuration("PT36H30M", &s));
  EXPECT_EQ(s, 1.5 + 0.5 / 24);
  EXPECT_FALSE(serialFromDuration("PT", &s));
  EXPECT_FALSE(isDateFormatCode("General"));
  EXPECT_FALSE(isDateFormatCode("0.00E+00"));
  EXPECT_FALSE(isDateFormatCode("\\d0"));
  EXPECT_TRUE(isDateFormatCode("hh:mm AM/PM"));
}

TEST_F(XlsxReaderTest, ActiveSheetIsTheSavedTabOrTheFirst) {
  XlsxContent content;
  content.sheets = {"<row r=\"1\"><c><v>1</v></c></row>", "<row r=\"1\"><c><v>2</v></c></row>"};
  EXPECT_EQ(read(content).activeSheet, 0u);
  content.activeTab = 1;
  const WorkbookData b = read(content);
  EXPECT_EQ(b.activeSheet, 1u);
  EXPECT_EQ(at(b, 1, 1)->number, 2.0);
  content.activeTab = 7;  // out of range: the first
  EXPECT_EQ(read(content).activeSheet, 0u);
}

TEST_F(XlsxReaderTest, LargestSheetPositionIsAcceptedBeyondItRefused) {
  XlsxContent content;
  content.sheets = {"<row r=\"1048576\"><c r=\"XFD1048576\"><v>1</v></c></row>"};
  const WorkbookData b = read(content);
  EXPECT_EQ(at(b, 1048576, 16384)->number, 1.0);
  EXPECT_EQ(sheet(b).cells.cellCount(), 1u);

  content.sheets = {"<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>"};
  EXPECT_EQ(refusal(content),
            "Zelle au\xc3\x9f"
            "erhalb des Tabellenblatts (Zeile 1, Spalte 16385).");
  content.sheets = {"<row r=\"1048577\"><c r=\"A1048577\"><v>1</v></c></row>"};
  EXPECT_EQ(refusal(content),
            "Zeile 1048577 liegt au\xc3\x9f"
            "erhalb des Tabellenblatts.");
  content.sheets = {"<row r=\"1\"><c r=\"AAAA1\"><v>1</v></c></row>"};
  EXPECT_EQ(refusal(content), "Ung\xc3\xbcltiger Zellbezug \"AAAA1\".");
}

TEST_F(XlsxReaderTest, BadContentIsRefusedWithAReason) {
  XlsxContent content;
  content.sharedStrings = "<si><t>a</t></si>";
  content.sheets = {"<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row>"};
  EXPECT_EQ(refusal(content), "Zelle A1 verweist auf den Text 1, es gibt nur 1.");
  content.sheets = {"<row r=\"1\"><c r=\"B1\"><v>12,5</v></c></row>"};
  EXPECT_EQ(refusal(content), "Ung\xc3\xbcltige Zahl \"12,5\" in Zelle B1.");
  content.sheets = {"<row r=\"1\"><c r=\"A1\"><v>1</v></row>"};
  EXPECT_EQ(
      refusal(content).rfind("Fehlerhaftes XML in \"xl/worksheets/data_a.xml\", Zeile 1: ", 0), 0u);

  auto parts = test::xlsxParts(XlsxContent());
  parts[0].second = "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\">]><Types/>";
  for (auto& p : parts) {
    if (p.first == "xl/workbook.xml")
      p.second = "<!DOCTYPE w [<!ENTITY a \"aaaa\">]><workbook><sheets/></workbook>";
  }
  EXPECT_EQ(refusalOf(parts), "Teil \"xl/workbook.xml\" enth\xc3\xa4lt eine DTD.");

  test::ZipParts noWorkbook = {{"[Content_Types].xml", "<Types/>"}};
  EXPECT_EQ(refusalOf(noWorkbook), "Keine Arbeitsmappe in der Datei (\"xl/workbook.xml\" fehlt).");
  auto binary = test::xlsxParts(XlsxContent());
  binary[1].second =
      "<Relationships><Relationship Id=\"rId1\" Type=\"http://schemas."
      "openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
      "Target=\"xl/workbook.bin\"/></Relationships>";
  binary.push_back({"xl/workbook.bin", std::string("\x83\x01\x00", 3)});
  EXPECT_EQ(refusalOf(binary), "Bin\xc3\xa4re Arbeitsmappen (.xlsb) werden nicht gelesen.");
  test::ZipParts otherZip = {{"readme.txt", "hallo"}};
  EXPECT_EQ(refusalOf(otherZip),
            "Die ZIP-Datei ist weder eine Excel- noch eine OpenDocument-Tabelle.");
}

// A big shared-texts part is read on a second thread while the sheets are read: cells may
// name texts that are not read yet, and the sheets' own texts are numbered only at the end.
// Whatever the timing, the result and the refusals are those of reading one after the other.
class BigSharedTextsTest : public XlsxReaderTest {
 protected:
  static constexpr int kCount = 60000;  // well over 1 MB of shared texts
  static std::string sharedTexts() {
    std::string xml;
    for (int i = 0; i < kCount; ++i)
      xml += "<si><t>gemeinsamer Text Nr. " + std::to_string(i) + "</t></si>";
    return xml;
  }
  static std::string sharedCell(const std::string& ref, int index) {
    return "<c r=\"" + ref + "\" t=\"s\"><v>" + std::to_string(index) + "</v></c>";
  }
};

TEST_F(BigSharedTextsTest, LateTextsAndOwnTextsInSeveralSheets) {
  XlsxContent content;
  content.sharedStrings = sharedTexts();
  content.sheets = {"<row r=\"1\">" + sharedCell("A1", kCount - 1) +
                        "<c r=\"B1\" t=\"inlineStr\"><is><t>eigen eins</t></is></c>" +
                        sharedCell("C1", 0) + "</row><row r=\"2\">" + sharedCell("A2", 31337) +
                        "<c r=\"B2\" t=\"str\"><v>Formel</v></c></row>",
                    "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>eigen zwei</t></is></c>" +
                        sharedCell("B1", kCount - 2) + "</row>"};
  content.activeTab = 0;
  WorkbookData b = read(content);
  ASSERT_EQ(b.sheets.size(), 2u);
  EXPECT_EQ(text(b, 1, 1), u"gemeinsamer Text Nr. 59999");
  EXPECT_EQ(text(b, 1, 2), u"eigen eins");
  EXPECT_EQ(text(b, 1, 3), u"gemeinsamer Text Nr. 0");
  EXPECT_EQ(text(b, 2, 1), u"gemeinsamer Text Nr. 31337");
  EXPECT_EQ(text(b, 2, 2), u"Formel");
  EXPECT_EQ(b.texts.size(), static_cast<std::size_t>(kCount) + 2);
  // The other sheet, read when asked for, has its texts in a pool of its own.
  const SheetData& second = b.sheet(1);
  ASSERT_TRUE(second.cells.find(1, 1) && second.cells.find(1, 2));
  EXPECT_EQ(b.textsOf(second).get(second.cells.find(1, 1)->text), u"eigen zwei");
  EXPECT_EQ(b.textsOf(second).get(second.cells.find(1, 2)->text), u"gemeinsamer Text Nr. 59998");
}

TEST_F(BigSharedTextsTest, RefusalsNameWhatReadingInOrderFindsFirst) {
  XlsxContent content;
  content.sharedStrings = sharedTexts();
  // The first missing text, even when a higher one and then broken XML come later.
  content.sheets = {"<row r=\"1\">" + sharedCell("A1", 5) + sharedCell("B1", kCount) +
                    sharedCell("C1", kCount + 7) + "</row><row r=\"2\"><c r=\"A2\"><v>1</v></row>"};
  EXPECT_EQ(refusal(content), "Zelle B1 verweist auf den Text 60000, es gibt nur 60000.");
  // Texts that all exist leave the broken XML as the reason.
  content.sheets = {"<row r=\"1\">" + sharedCell("A1", kCount - 1) +
                    "</row><row r=\"2\"><c r=\"A2\"><v>1</v></row>"};
  EXPECT_EQ(refusal(content).rfind("Fehlerhaftes XML in \"xl/worksheets/data_a.xml\"", 0), 0u);
  // A broken shared-texts part comes first, also before a broken sheet.
  content.sharedStrings = sharedTexts() + "<si><t>kaputt</si>";
  EXPECT_EQ(refusal(content).rfind("Fehlerhaftes XML in \"xl/sharedStrings.xml\"", 0), 0u);
  content.sheets = {"<row r=\"1\">" + sharedCell("A1", 1) + "</row>"};
  EXPECT_EQ(refusal(content).rfind("Fehlerhaftes XML in \"xl/sharedStrings.xml\"", 0), 0u);
}

TEST_F(XlsxReaderTest, BrokenFilesAndBombsAreRefused) {
  XlsxContent content;
  std::string rows;
  for (int r = 1; r <= 200; ++r)
    rows += "<row r=\"" + std::to_string(r) + "\"><c><v>" + std::to_string(r) + "</v></c></row>";
  content.sheets = {rows};
  test::writeXlsx(dir_.path() / "gut.xlsx", content);
  const std::string good = test::readBytes(dir_.path() / "gut.xlsx");

  // Cut anywhere: the central directory is gone or the entries do not inflate.
  for (std::size_t cut : {good.size() / 2, good.size() - 30, std::size_t{100}}) {
    test::writeBytes(dir_.path() / "kaputt.xlsx", good.substr(0, cut));
    const std::string why = refusalOfFile(dir_.file("kaputt.xlsx"));
    EXPECT_NE(why, "(gelesen)") << cut;
    EXPECT_NE(why.find("besch\xc3\xa4"
                       "digt"),
              std::string::npos)
        << why;
  }

  // More inflated bytes than allowed: refused while inflating, not after.
  ReadLimits small;
  small.maxPartBytes = 2000;
  EXPECT_EQ(refusalOfFile(dir_.file("gut.xlsx"), small),
            "Teil \"xl/worksheets/data_a.xml\" ist entpackt gr\xc3\xb6\xc3\x9f"
            "er als 2000 Bytes.");
  small = {};
  small.maxCells = 150;
  EXPECT_EQ(refusalOfFile(dir_.file("gut.xlsx"), small),
            "Das Tabellenblatt hat zu viele Zellen (Grenze 150).");
  EXPECT_EQ(readSpreadsheetFile(dir_.file("gut.xlsx")).sheets[0].cells.cellCount(), 200u);
}

// Where a deflated part lies in a zip written by libzip: its data and both copies of its CRC.
struct PartPlace {
  std::size_t data = 0, size = 0, localCrc = 0, centralCrc = 0;
};
PartPlace placeOf(const std::string& zip, const std::string& name) {
  auto u16 = [&](std::size_t at) {
    return static_cast<std::size_t>(static_cast<unsigned char>(zip[at]) |
                                    static_cast<unsigned char>(zip[at + 1]) << 8);
  };
  PartPlace place;
  for (std::size_t at = zip.find("PK\x03\x04"); at != std::string::npos;
       at = zip.find("PK\x03\x04", at + 4)) {
    if (zip.compare(at + 30, name.size(), name) != 0 || u16(at + 26) != name.size()) continue;
    EXPECT_EQ(u16(at + 8), 8u) << "not deflated";
    place.localCrc = at + 14;
    place.size = u16(at + 18) | u16(at + 20) << 16;
    place.data = at + 30 + u16(at + 26) + u16(at + 28);
  }
  for (std::size_t at = zip.find("PK\x01\x02"); at != std::string::npos;
       at = zip.find("PK\x01\x02", at + 4)) {
    if (zip.compare(at + 46, name.size(), name) == 0 && u16(at + 28) == name.size())
      place.centralCrc = at + 16;
  }
  return place;
}

// Damage inside a deflated part (small, and big enough to be inflated on a second thread)
// is refused, never read as data: a wrong CRC with intact data, and bytes flipped anywhere
// in the deflate stream.
TEST_F(XlsxReaderTest, DamagedDeflatedPartsAreRefused) {
  for (int rowCount : {300, 40000}) {
    std::string rows;
    for (int r = 1; r <= rowCount; ++r)
      rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" +
              std::to_string(r * 7) + "</v></c></row>";
    XlsxContent content;
    content.sheets = {rows};
    test::writeXlsx(dir_.path() / "gut.xlsx", content);
    const std::string good = test::readBytes(dir_.path() / "gut.xlsx");
    const PartPlace place = placeOf(good, "xl/worksheets/data_a.xml");
    ASSERT_GT(place.size, 100u) << rowCount;
    ASSERT_GT(place.centralCrc, 0u);
    EXPECT_EQ(refusalOfFile(dir_.file("gut.xlsx")), "(gelesen)");

    std::string wrongCrc = good;
    for (std::size_t at : {place.localCrc, place.centralCrc}) wrongCrc[at] ^= 0x5A;
    test::writeBytes(dir_.path() / "crc.xlsx", wrongCrc);
    EXPECT_EQ(refusalOfFile(dir_.file("crc.xlsx")),
              "Teil \"xl/worksheets/data_a.xml\" ist besch\xc3\xa4"
              "digt.")
        << rowCount;

    for (std::size_t step = 0; step < 16; ++step) {
      std::string flipped = good;
      // (The last byte may end in padding bits that carry nothing.)
      const std::size_t at = place.data + step * (place.size - 2) / 15;
      flipped[at] = static_cast<char>(flipped[at] ^ 0x24);
      test::writeBytes(dir_.path() / "kippe.xlsx", flipped);
      EXPECT_NE(refusalOfFile(dir_.file("kippe.xlsx")), "(gelesen)")
          << rowCount << " rows, byte " << at - place.data << " of " << place.size;
    }
  }
}

TEST_F(XlsxReaderTest, FaultsTheLibrariesFindAreDescribedInGerman) {
  XlsxContent content;
  content.sheets = {"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"};
  test::writeXlsx(dir_.path() / "gut.xlsx", content);
  const std::string good = test::readBytes(dir_.path() / "gut.xlsx");
  const std::size_t end = good.rfind(std::string("PK\x05\x06", 4));
  const std::size_t central = good.find(std::string("PK\x01\x02", 4));
  ASSERT_NE(end, std::string::npos);
  ASSERT_NE(central, std::string::npos);
  auto zipFault = [&](const std::string& bytes) {
    test::writeBytes(dir_.path() / "z.xlsx", bytes);
    return refusalOfFile(dir_.file("z.xlsx"));
  };
  const std::string damaged =
      "Die Datei ist besch\xc3\xa4"
      "digt (ZIP: ";
  EXPECT_EQ(zipFault(good.substr(0, good.size() - 30)), damaged + "Datei ist keine ZIP-Datei).");
  std::string disk = good;
  disk[end + 4] = 1;  // the number of this disk
  EXPECT_EQ(zipFault(disk), damaged + "mehrteilige ZIP-Archive werden nicht unterst\xc3\xbctzt).");
  std::string crc = good;
  crc[central + 16] ^= 0x5A;  // the central directory's CRC, not the local header's
  EXPECT_EQ(zipFault(crc), damaged +
                               "ZIP-Archiv ist in sich widerspr\xc3\xbc"
                               "chlich).");

  // Each fault reads alike from our parser and from expat, which reads the parts declaring
  // another encoding.
  const std::string where = "Fehlerhaftes XML in \"xl/worksheets/data_a.xml\", Zeile 1: ";
  const std::pair<std::string, std::string> faults[] = {
      {"<row r=\"1\"><c r=\"A1\"><v>1</v></row>", "End-Tag passt nicht zum Start-Tag"},
      {"<row r=\"1\"><c r=\"A1\" t=\"str\"><v>&nbsp;</v></c></row>", "undefinierte Entit\xc3\xa4t"},
      {"<row r=\"1\"><c r=\"A1\"><v a=1>1</v></c></row>",
       "nicht wohlgeformt (ung\xc3\xbcltiges Zeichen)"}};
  for (const auto& [rows, fault] : faults) {
    content.sheets = {rows};
    EXPECT_EQ(refusal(content), where + fault);
    test::ZipParts parts = test::xlsxParts(content);
    for (auto& [name, xml] : parts) {
      if (name == "xl/worksheets/data_a.xml")
        xml.replace(0, 21, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
    }
    EXPECT_EQ(refusalOf(parts), where + fault) << "expat";
  }
}

TEST_F(XlsxReaderTest, PasswordProtectedWorkbooksAreNamedAsSuch) {
  // Encrypted Office files are compound files holding the encrypted package.
  test::writeBytes(dir_.path() / "geheim.xlsx",
                   test::compoundFile({{u"EncryptionInfo", std::string(600, 'i')},
                                       {u"EncryptedPackage", std::string(1500, 'p')}}));
  EXPECT_EQ(refusalOfFile(dir_.file("geheim.xlsx")),
            "Die Arbeitsmappe ist kennwortgesch\xc3\xbctzt.");
  // BOF, then FILEPASS: an .xls saved with a password to open.
  const std::string biff = std::string("\x09\x08\x10\x00\x00\x06\x05\x00", 8) +
                           std::string(12, '\0') +
                           std::string("\x2F\x00\x02\x00\x00\x00\x0A\x00\x00\x00", 10);
  test::writeBytes(dir_.path() / "geheim.xls",
                   test::compoundFile({{u"Workbook", biff + std::string(600, '\0')}}));
  EXPECT_EQ(refusalOfFile(dir_.file("geheim.xls")),
            "Die Arbeitsmappe ist kennwortgesch\xc3\xbctzt.");
  test::writeBytes(dir_.path() / "anders.doc",
                   test::compoundFile({{u"WordDocument", std::string(700, 'w')}}));
  EXPECT_EQ(refusalOfFile(dir_.file("anders.doc")), "Die Datei ist keine Excel-Arbeitsmappe.");
  test::writeBytes(dir_.path() / "halb.xls",
                   test::compoundFile({{u"Workbook", std::string(700, 'w')}}).substr(0, 1100));
  EXPECT_NE(refusalOfFile(dir_.file("halb.xls"))
                .find("besch\xc3\xa4"
                      "digt"),
            std::string::npos);
}

}  // namespace
}  // namespace zandor::sheet

namespace zandor::sheet {
namespace {

// Parts above a megabyte are inflated on a second thread: results and refusals must be the
// same as for small parts, and a refusal must stop that thread.
TEST_F(XlsxReaderTest, BigPartsReadAndFailLikeSmallOnes) {
  std::string rows;
  for (int r = 1; r <= 40000; ++r)
    rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" +
            std::to_string(r) + "</v></c><c r=\"B" + std::to_string(r) + "\"><v>0.5</v></c></row>";
  ASSERT_GT(rows.size(), 1u << 20);
  XlsxContent content;
  content.sheets = {rows};
  const WorkbookData b = read(content);
  EXPECT_EQ(sheet(b).cells.cellCount(), 80000u);
  EXPECT_EQ(at(b, 40000, 1)->number, 40000.0);

  ReadLimits small;
  small.maxPartBytes = 1u << 20;
  EXPECT_EQ(refusal(content, small),
            "Teil \"xl/worksheets/data_a.xml\" ist entpackt gr\xc3\xb6\xc3\x9f"
            "er als 1048576 Bytes.");
  content.sheets = {rows + "<row r=\"40001\"><c r=\"A40001\"><v>1</v></row>"};
  EXPECT_EQ(refusal(content).rfind("Fehlerhaftes XML in \"xl/worksheets/data_a.xml\"", 0), 0u);
  content.sheets = {"<row r=\"1\"><c r=\"A1\"><v>x</v></c></row>" + rows};
  EXPECT_EQ(refusal(content), "Ung\xc3\xbcltige Zahl \"x\" in Zelle A1.");
}

}  // namespace
}  // namespace zandor::sheet

namespace zandor::sheet {
namespace {

// Cells and texts written as writers do (taken whole by the reader) and written so that
// every element goes tag by tag must be read alike.
TEST_F(XlsxReaderTest, CellsTakenWholeReadAsTagByTag) {
  std::mt19937 random(7);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const char* const texts[] = {
      "eins", "M\xc3\xbcller &amp; S\xc3\xb6hne", "_x000D_ Zeile", "", "  Blanks  ", "&lt;tag&gt;"};
  constexpr int kTexts = 6;
  std::string shared[2];
  for (int i = 0; i < kTexts; ++i) {
    shared[0] += std::string("<si><t>") + texts[i] + "</t></si>";
    shared[1] += std::string("<si ><t xml:space = \"preserve\" >") + texts[i] + "</t ></si >";
  }
  shared[0] += "<si/>";
  shared[1] += "<si ></si >";
  std::string rows[2];
  for (int r = 1; r <= 40; ++r) {
    rows[0] += "<row r=\"" + std::to_string(r) + "\">";
    rows[1] += "<row r=\"" + std::to_string(r) + "\">";
    for (int c = 0; c < 8; ++c) {
      const std::string ref = std::string(1, static_cast<char>('A' + c)) + std::to_string(r);
      std::string attrs, value;
      switch (pick(9)) {
        case 0:
          attrs = " t=\"s\"";
          value = std::to_string(pick(kTexts + 1));
          break;
        case 1:
          value = std::to_string(pick(100000)) + "." + std::to_string(pick(100));
          break;
        case 2:
          attrs = " s=\"1\"";
          value = std::to_string(30000 + pick(20000));
          break;
        case 3:
          attrs = " t=\"b\"";
          value = pick(2) ? "1" : "0";
          break;
        case 4:
          attrs = " t=\"e\"";
          value = "#DIV/0!";
          break;
        case 5:
          attrs = " t=\"str\"";
          value = "Formel &amp; " + std::to_string(pick(9));
          break;
        case 6:
          attrs = " s=\"1\"";
          break;   // formatted, but empty
        case 7: {  // an inline text, as streaming writers put it
          const std::string text = texts[pick(kTexts)];
          rows[0] += "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
          rows[1] +=
              "<c r = \"" + ref + "\" t=\"inlineStr\" ><is ><t >" + text + "</t ></is ></c >";
          continue;
        }
        default:
          continue;  // no cell
      }
      const std::string compact = "<c r=\"" + ref + "\"" + attrs;
      rows[0] += value.empty() && pick(2) ? compact + "/>" : compact + "><v>" + value + "</v></c>";
      rows[1] += "<c r = \"" + ref + "\"" + attrs + " ><v >" + value + "</v ></c >";
    }
    rows[0] += "</row>";
    rows[1] += "</row>";
  }
  WorkbookData books[2];
  for (int form = 0; form < 2; ++form) {
    XlsxContent content;
    content.numFmts = "<numFmt numFmtId=\"164\" formatCode=\"DD.MM.YYYY\"/>";
    content.cellXfs = "<xf numFmtId=\"0\"/><xf numFmtId=\"164\"/>";
    content.sharedStrings = shared[form];
    content.sheets = {rows[form]};
    books[form] = read(content);
  }
  const CellStore& taken = sheet(books[0]).cells;
  const CellStore& byTag = sheet(books[1]).cells;
  ASSERT_GT(taken.cellCount(), 200u);
  ASSERT_EQ(taken.cellCount(), byTag.cellCount());
  for (std::uint32_t r = 1; r <= 40; ++r) {
    for (std::uint32_t c = 1; c <= 8; ++c) {
      const Cell* a = taken.find(r, c);
      const Cell* b = byTag.find(r, c);
      ASSERT_EQ(a == nullptr, b == nullptr) << r << "/" << c;
      if (!a) continue;
      ASSERT_EQ(a->kind, b->kind) << r << "/" << c;
      if (a->kind == CellKind::Text)
        EXPECT_EQ(books[0].texts.get(a->text), books[1].texts.get(b->text)) << r << "/" << c;
      else if (a->kind == CellKind::Boolean)
        EXPECT_EQ(a->flag, b->flag);
      else if (a->kind == CellKind::Error)
        EXPECT_EQ(a->error, b->error);
      else
        EXPECT_EQ(a->number, b->number) << r << "/" << c;
    }
  }
  ASSERT_EQ(books[0].texts.size(), books[1].texts.size());
  for (std::uint32_t i = 0; i < books[0].texts.size(); ++i)
    EXPECT_EQ(books[0].texts.get(i), books[1].texts.get(i));
  // The shared texts decoded (where they stand in the pool depends on the inline ones).
  std::set<std::u16string> all;
  for (std::uint32_t i = 0; i < books[0].texts.size(); ++i) all.emplace(books[0].texts.get(i));
  EXPECT_TRUE(all.count(u"M\u00fcller & S\u00f6hne"));
  EXPECT_TRUE(all.count(u"\r Zeile"));
}

}  // namespace
}  // namespace zandor::sheet
