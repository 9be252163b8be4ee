// A big sheet part is parsed in two halves at once. Whatever the part holds, the result
// must be the one parsing it in one go gives: the same cells and texts, or the same error.

#include <gtest/gtest.h>

#include <charconv>
#include <string>

#include "sheet/cell_store.h"
#include "sheet/sheet_error.h"
#include "sheet/unicode_text.h"
#include "sheet/workbook_data.h"
#include "sheet_files.h"
#include "support/test_support.h"

namespace zandor::sheet {
namespace {

using test::XlsxContent;

// Every cell of the active sheet as text, or the error reading the file gave; halved tells
// whether the sheet was read in two halves.
std::string contentsOf(const std::string& file, const ReadLimits& limits, bool* halved) {
  try {
    const WorkbookData book = readSpreadsheetFile(file, limits);
    const SheetData& sheet = book.sheets[book.activeSheet];
    *halved = sheet.readInHalves;
    const CellStore& cells = sheet.cells;
    std::string out = "Zeilen " + std::to_string(cells.firstRow()) + "-" +
                      std::to_string(cells.lastRow()) + ", Zellen " +
                      std::to_string(cells.cellCount()) + "\n";
    if (cells.empty()) return out;
    for (std::uint32_t r = cells.firstRow(); r <= cells.lastRow(); ++r) {
      for (std::uint32_t c = cells.firstColumn(); c <= cells.lastColumn(); ++c) {
        const Cell* cell = cells.find(r, c);
        if (!cell) continue;
        out += std::to_string(r) + "/" + std::to_string(c) + ":";
        switch (cell->kind) {
          case CellKind::Text:
            out += "T" + utf16ToUtf8(book.textsOf(sheet).get(cell->text));
            break;
          case CellKind::Number:
          case CellKind::Date: {
            char digits[32];
            const auto end = std::to_chars(digits, digits + sizeof digits, cell->number).ptr;
            out += (cell->kind == CellKind::Date ? "D" : "N") + std::string(digits, end);
            break;
          }
          case CellKind::Boolean:
            out += cell->flag ? "W" : "F";
            break;
          default:
            out += "E" + std::to_string(cell->error);
        }
        out += "\n";
      }
    }
    return out;
  } catch (const SheetReadError& e) {
    return std::string("FEHLER: ") + e.what();
  }
}

class SheetHalvesTest : public ::testing::Test {
 protected:
  // The file read in two halves and in one go; both must agree. True when the halves
  // were joined (the second one used).
  bool readsAlike(const test::ZipParts& parts, ReadLimits limits = {}) {
    test::writeZip(dir_.path() / "t.xlsx", parts);
    const std::string file = dir_.file("t.xlsx");
    bool halved = false;
    limits.splitFrom = UINT64_MAX;
    const std::string whole = contentsOf(file, limits, &halved);
    EXPECT_FALSE(halved);
    limits.splitFrom = 1;
    const std::string halves = contentsOf(file, limits, &halved);
    EXPECT_EQ(halves, whole);
    last_ = whole;
    return halved;
  }
  bool readsAlike(const XlsxContent& content, const ReadLimits& limits = {}) {
    return readsAlike(test::xlsxParts(content), limits);
  }

  // Rows first to last: a number, a shared text, an inline text and a flag in each.
  static std::string rows(int first, int last, const std::string& between = "\n") {
    std::string xml;
    for (int r = first; r <= last; ++r) {
      const std::string n = std::to_string(r);
      xml += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + n + ".5</v></c><c r=\"B" + n +
             "\" t=\"s\"><v>" + std::to_string(r % 3) + "</v></c><c r=\"C" + n +
             "\" t=\"inlineStr\"><is><t>Zeile " + n + " \xc3\xa4</t></is></c><c r=\"D" + n +
             "\" t=\"b\"><v>" + std::to_string(r % 2) + "</v></c></row>" + between;
    }
    return xml;
  }
  static XlsxContent withRows(const std::string& sheetXml) {
    XlsxContent content;
    content.sharedStrings = "<si><t>null</t></si><si><t>eins</t></si><si><t>zwei</t></si>";
    content.sheets = {sheetXml};
    return content;
  }

  test::TempDir dir_;
  std::string last_;
};

TEST_F(SheetHalvesTest, JoinsHalvesOfAnOrdinarySheet) {
  EXPECT_TRUE(readsAlike(withRows(rows(1, 3000))));
  EXPECT_NE(last_.find("3000/3:TZeile 3000 \xc3\xa4\n"), std::string::npos);
  EXPECT_NE(last_.find("Zellen 12000\n"), std::string::npos);
  // Rows with gaps, blanks and line ends of every kind between them.
  EXPECT_TRUE(readsAlike(
      withRows(rows(5, 900, "\r\n") + rows(2000, 2900, "  \t") + rows(70000, 70500, "\r"))));
  // Only inline texts after the seam, shared ones before it.
  std::string mixed;
  for (int r = 1; r <= 3000; ++r) {
    const std::string n = std::to_string(r);
    mixed += r < 1500
                 ? "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"s\"><v>1</v></c></row>"
                 : "<row r=\"" + n + "\"><c t=\"inlineStr\"><is><t>" + n + "</t></is></c></row>";
  }
  EXPECT_TRUE(readsAlike(withRows(mixed)));
}

// The first row after the middle may begin chunks of inflated bytes later than the middle
// itself, here behind a long text: the first half still ends there and the halves join.
TEST_F(SheetHalvesTest, ASeamFarBehindTheMiddleStillJoinsTheHalves) {
  const std::string longText(600000, 'x');
  EXPECT_TRUE(
      readsAlike(withRows(rows(1, 1000) + "<row r=\"1001\"><c r=\"A1001\" t=\"inlineStr\"><is><t>" +
                          longText + "</t></is></c></row>" + rows(1002, 2000))));
  EXPECT_NE(last_.find("Zellen 7997\n"), std::string::npos) << last_.substr(0, 100);
  EXPECT_NE(last_.find("1001/1:T" + longText.substr(0, 10)), std::string::npos);
}

TEST_F(SheetHalvesTest, SecondHalfThatCannotStandAloneIsReadByTheFirst) {
  // Rows that do not say their number: the second half cannot know where it begins.
  std::string unnumbered;
  for (int r = 1; r <= 3000; ++r)
    unnumbered += "<row><c><v>" + std::to_string(r) + "</v></c></row>";
  EXPECT_FALSE(readsAlike(withRows(unnumbered)));
  EXPECT_NE(last_.find("3000/1:N3000"), std::string::npos);

  // The place of the seam inside a comment and a CDATA section full of row tags.
  std::string fake;
  for (int i = 0; i < 4000; ++i) fake += "<row r=\"1\"><c r=\"A1\"><v>9</v></c></row>";
  readsAlike(withRows(rows(1, 100) + "<!-- " + fake + " -->" + rows(101, 200)));
  EXPECT_NE(last_.find("Zellen 800\n"), std::string::npos) << last_.substr(0, 200);
  // Rows in a comment that the second half would read well, in order.
  EXPECT_FALSE(
      readsAlike(withRows(rows(1, 100) + "<!-- " + rows(101, 3000) + " -->" + rows(5000, 5100))));
  EXPECT_NE(last_.find("Zellen 804\n"), std::string::npos) << last_.substr(0, 200);
  readsAlike(withRows(rows(1, 100) +
                      "<row r=\"101\"><c r=\"A101\" t=\"inlineStr\"><is><t><![CDATA[" + fake +
                      "]]></t></is></c></row>" + rows(102, 200)));

  // Rows out of order across the halves and within the second.
  EXPECT_FALSE(readsAlike(withRows(rows(1000, 2500) + rows(1, 1000))));
  EXPECT_FALSE(readsAlike(withRows(rows(1, 1000) + rows(3000, 4000) + rows(2000, 2100))));
  EXPECT_NE(last_.find("2050/1:N2050.5"), std::string::npos);
  // A cell written twice: the later one wins.
  EXPECT_FALSE(
      readsAlike(withRows(rows(1, 2000) + "<row r=\"7\"><c r=\"A7\"><v>42</v></c></row>")));
  EXPECT_NE(last_.find("7/1:N42"), std::string::npos);
}

TEST_F(SheetHalvesTest, PrefixedAndRedeclaredNamespaces) {
  // Prefixed elements have no seam: the first reader reads them all.
  std::string prefixed;
  for (int r = 1; r <= 2000; ++r) {
    const std::string n = std::to_string(r);
    prefixed += "<x:row r=\"" + n + "\"><x:c r=\"A" + n + "\"><x:v>" + n + "</x:v></x:c></x:row>";
  }
  const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  test::ZipParts parts = test::xlsxParts(withRows(""));
  for (auto& [name, xml] : parts) {
    if (name == "xl/worksheets/data_a.xml")
      xml = "<x:worksheet xmlns:x=\"" + main + "\"><x:sheetData>" + prefixed +
            "</x:sheetData></x:worksheet>";
  }
  EXPECT_FALSE(readsAlike(parts));
  EXPECT_NE(last_.find("2000/1:N2000"), std::string::npos);

  // sheetData makes another namespace the default: its rows are none of ours, in either half.
  for (auto& [name, xml] : parts) {
    if (name == "xl/worksheets/data_a.xml")
      xml = "<x:worksheet xmlns:x=\"" + main + "\"><x:sheetData xmlns=\"urn:fremd\">" +
            rows(1, 2000) + "</x:sheetData></x:worksheet>";
  }
  readsAlike(parts);
  EXPECT_NE(last_.find("Zellen 0"), std::string::npos) << last_.substr(0, 200);
}

TEST_F(SheetHalvesTest, FaultsInEitherHalfAreTheOnesReadingInOneGoFinds) {
  const std::string before = rows(1, 1500), after = rows(1502, 3000);
  auto faulty = [&](const std::string& row1501) {
    readsAlike(withRows(before + row1501 + after));
    return last_;
  };
  EXPECT_EQ(faulty("<row r=\"1501\"><c r=\"A1501\"><v>x</v></c></row>"),
            "FEHLER: Ung\xc3\xbcltige Zahl \"x\" in Zelle A1501.");
  // The line of a fault counts the lines of the first half too.
  EXPECT_EQ(faulty("<row r=\"1501\"><c r=\"A1501\"><v>1</v></x></row>")
                .rfind("FEHLER: Fehlerhaftes XML in \"xl/worksheets/data_a.xml\", Zeile 1501:", 0),
            0u);
  EXPECT_EQ(faulty("<row r=\"1501\"><c r=\"A1501\" t=\"s\"><v>7</v></c></row>"),
            "FEHLER: Zelle A1501 verweist auf den Text 7, es gibt nur 3.");
  // A fault in the first half comes first, however many follow in the second.
  readsAlike(withRows("<row r=\"1\"><c r=\"A1\"><v>y</v></c></row>" + before +
                      "<row r=\"1501\"><c r=\"A1501\"><v>x</v></c></row>" + after));
  EXPECT_EQ(last_, "FEHLER: Ung\xc3\xbcltige Zahl \"y\" in Zelle A1.");
  // The document must end properly after the second half too.
  test::ZipParts parts = test::xlsxParts(withRows(before + after));
  for (auto& [name, xml] : parts) {
    if (name == "xl/worksheets/data_a.xml") xml.resize(xml.size() - 12);
  }
  readsAlike(parts);
  EXPECT_NE(last_.find("unerwartetes Ende (nicht abgeschlossenes Markup)"), std::string::npos)
      << last_;
}

TEST_F(SheetHalvesTest, LimitsCrossedInTheSecondHalf) {
  const XlsxContent content = withRows(rows(1, 3000));
  ReadLimits small;
  small.maxCells = 11000;
  readsAlike(content, small);
  EXPECT_EQ(last_, "FEHLER: Das Tabellenblatt hat zu viele Zellen (Grenze 11000).");
  small = {};
  small.maxTextUnits = 25000;
  readsAlike(content, small);
  EXPECT_EQ(last_.rfind("FEHLER: Die Texte der Datei sind zu gro", 0), 0u) << last_;
  small = {};
  for (const auto& [name, xml] : test::xlsxParts(content)) {
    if (name == "xl/worksheets/data_a.xml") small.maxPartBytes = xml.size() - 100;
  }
  readsAlike(content, small);
  EXPECT_EQ(last_.rfind("FEHLER: Teil \"xl/worksheets/data_a.xml\" ist entpackt", 0), 0u) << last_;
}

}  // namespace
}  // namespace zandor::sheet
