#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "import/import_fixture.h"
#include "import/import_run.h"

namespace zandor {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

std::string cell(const std::string& text) {
  return "<table:table-cell office:value-type=\"string\"><text:p>" + text +
         "</text:p></table:table-cell>";
}
std::string errorCell(const std::string& formula, const std::string& shown) {
  return "<table:table-cell table:formula=\"of:=" + formula +
         "\" office:value-type=\"string\" calcext:value-type=\"error\"><text:p>" + shown +
         "</text:p></table:table-cell>";
}
std::string row(const std::string& cells) {
  return "<table:table-row>" + cells + "</table:table-row>";
}

// A flat OpenDocument sheet whose third row shows error values: in a mapped column and in
// the stop column.
std::string sheetWithErrorCells() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document "
         "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
         "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
         "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
         "xmlns:calcext=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\" "
         "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body>"
         "<office:spreadsheet><table:table table:name=\"Blatt1\">" +
         row(cell("Kunde") + cell("Name") + cell("Wert")) +
         row(cell("K1") + cell("A") + cell("1")) +
         row(cell("K2") + errorCell("1/0", "#DIV/0!") + errorCell("NA()", "#N/A")) +
         row(cell("K3") + cell("C") + cell("3")) +
         "</table:table></office:spreadsheet></office:body></office:document>";
}

class ErrorCellImportTest : public test::ImportFixture {
 protected:
  void SetUp() override {
    ImportFixture::SetUp();
    makeTable("KUNDEN.DBF", {{"KUNDE", 'C', 10, 0}, {"NAME1", 'C', 20, 0}});
    state.cXlsFile = data.file("fehler.fods");
    test::writeBytes(state.cXlsFile, sheetWithErrorCells());
    map("KUNDE", 1);
    map("NAME1", 2);
    state.nStopColumn = 3;
  }
};

// An error value in the stop column does not end the data, and each error value read for a
// row is a row error; the field it was meant for stays blank.
TEST_F(ErrorCellImportTest, ErrorValuesAreRowErrorsNotEmptyCells) {
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Summary);
  EXPECT_EQ(state.nErrors, 2);
  const std::vector<std::string> lines = logLines();
  EXPECT_THAT(lines, Contains("Fehlerwert #DIV/0! in Excelfeld B3"));
  EXPECT_THAT(lines, Contains("Fehlerwert #NV in Excelfeld C3"));
  EXPECT_THAT(lines, Contains("Es wurden 2 Fehler protokolliert"));
  const std::vector<std::string> rows = records();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_THAT(rows[1], HasSubstr("K2"));
  EXPECT_THAT(rows[2], HasSubstr("K3"));
  EXPECT_THAT(ui.informationTexts().back(), HasSubstr("3 neue Datens"));
}

// The stop column read again as a mapped field: its error is logged once, as the field's.
TEST_F(ErrorCellImportTest, AnErrorValueReadTwiceIsLoggedOnce) {
  state.nStopColumn = 2;
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Summary);
  const std::vector<std::string> lines = logLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Fehlerwert #DIV/0! in Excelfeld B3"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Fehlerwert #NV in Excelfeld C3"), 0);
  EXPECT_EQ(state.nErrors, 1);
}

TEST_F(ErrorCellImportTest, SheetDumpShowsErrorValues) {
  std::string out;
  ASSERT_EQ(test::runCommand("'" + test::cliPath() + "' sheet dump '" + state.cXlsFile + "'", &out),
            0);
  EXPECT_THAT(out, HasSubstr("3\t2\tE\t#DIV/0!\n3\t3\tE\t#NV\n"));
}

}  // namespace
}  // namespace zandor
