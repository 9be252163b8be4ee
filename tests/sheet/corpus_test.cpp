// Spreadsheets of other writers from ../shared/fixtures/sheets/corpus, each read as the
// writer meant it (the fixtures README says what each file shows).

#include <gtest/gtest.h>

#include <string>

#include "sheet/cell_store.h"
#include "sheet/serial_date.h"
#include "sheet/workbook_data.h"
#include "support/test_support.h"

namespace zandor::sheet {
namespace {

class CorpusTest : public ::testing::Test {
 protected:
  void SetUp() override { ZANDOR_REQUIRE_SHARED(); }

  static WorkbookData read(const std::string& name) {
    return readSpreadsheetFile(
        (test::sharedDir() / "fixtures" / "sheets" / "corpus" / name).string());
  }
  static const Cell* at(const WorkbookData& b, std::uint32_t r, std::uint32_t c) {
    return b.sheets[b.activeSheet].cells.find(r, c);
  }
  static std::u16string text(const WorkbookData& b, std::uint32_t r, std::uint32_t c) {
    const Cell* cell = at(b, r, c);
    if (!cell || cell->kind != CellKind::Text) return u"(kein Text)";
    return std::u16string(b.texts.get(cell->text));
  }
  static double date(const WorkbookData& b, std::uint32_t r, std::uint32_t c) {
    const Cell* cell = at(b, r, c);
    EXPECT_TRUE(cell && cell->kind == CellKind::Date) << r << "," << c;
    return cell && cell->kind == CellKind::Date ? cell->number : -1;
  }
  static double serial(int y, int m, int d) {
    double s = 0;
    EXPECT_TRUE(serialFromDate(y, m, d, &s));
    return s;
  }
};

TEST_F(CorpusTest, OnlyTheMainWorkbookPropertiesDecideTheDateSystem) {
  const WorkbookData crafted = read("t_1904_x15.xlsx");
  EXPECT_EQ(date(crafted, 1, 1), serial(1904, 1, 1));
  EXPECT_EQ(date(crafted, 1, 2), serial(2024, 1, 2));

  // Excel wrote each date also as the text it shows (column C).
  const WorkbookData excel = read("sjs__1904_1904.xlsx");
  const CellStore& cells = excel.sheets[excel.activeSheet].cells;
  ASSERT_GE(cells.lastRow(), 5u);
  for (std::uint32_t r = 1; r <= cells.lastRow(); ++r) {
    const std::u16string shown = text(excel, r, 3);
    double expected = 0;
    ASSERT_TRUE(serialFromIso(std::string(shown.begin(), shown.end()), &expected)) << r;
    EXPECT_EQ(date(excel, r, 2), expected) << r;
  }
}

TEST_F(CorpusTest, LineEndsInXmlTextAreLineFeeds) {
  const WorkbookData b = read("t_crlf.xlsx");
  EXPECT_EQ(text(b, 1, 1), u"plain\nsi");  // shared text
  EXPECT_EQ(text(b, 1, 2), u"rich\nrun");  // rich runs
  EXPECT_EQ(text(b, 1, 3), u"in\nline");   // inline text
  EXPECT_EQ(text(b, 1, 4), u"str\nv");     // cached formula text
  EXPECT_EQ(text(b, 1, 5), u"lone\ncr");   // a CR alone
  EXPECT_EQ(text(read("xw__rich_string12.xlsx"), 3, 1), u"This is\nbold\nand this is\nitalic");
}

TEST_F(CorpusTest, LenientWhereNothingIsLost) {
  // A part named in another letter case than its relationship says.
  EXPECT_EQ(text(read("cal__issue_419.xlsx"), 1, 1), u"Hello");

  // s="" on every cell: the default style.
  const WorkbookData empty = read("cal__empty_s_attribute.xlsx");
  EXPECT_EQ(text(empty, 1, 1), u"Name");
  EXPECT_EQ(text(empty, 5, 1), u"Sam");
  const Cell* number = at(empty, 5, 2);
  ASSERT_TRUE(number && number->kind == CellKind::Number);
  EXPECT_EQ(number->number, 4.0);

  // office:boolean-value="1".
  const WorkbookData ods = read("t_bool1.ods");
  const Cell* flag = at(ods, 4, 1);
  ASSERT_TRUE(flag && flag->kind == CellKind::Boolean);
  EXPECT_TRUE(flag->flag);
  EXPECT_EQ(text(ods, 5, 1), u"test");
  EXPECT_EQ(date(ods, 6, 1), serial(2016, 10, 20));
}

}  // namespace
}  // namespace zandor::sheet
