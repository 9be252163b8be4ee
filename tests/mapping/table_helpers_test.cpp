#include <gtest/gtest.h>

#include <map>

#include "app/startup.h"
#include "base/date.h"
#include "mapping/column_headings.h"
#include "mapping/table_helpers.h"
#include "state/app_state.h"

namespace zandor {
namespace {

TEST(ExcelColumn, LettersAsTheSpreadsheetNamesThem) {
  const std::map<int, std::string> expected = {
      {0, ""},      {-3, ""},     {1, "A"},     {26, "Z"},      {27, "AA"},
      {52, "AZ"},   {53, "BA"},   {78, "BZ"},   {256, "IV"},    {702, "ZZ"},
      {703, "AAA"}, {728, "AAZ"}, {729, "ABA"}, {18278, "ZZZ"}, {16384, "XFD"}};
  for (const auto& [n, letters] : expected) EXPECT_EQ(EXCELSPALTE(n), letters) << n;
}

TEST(ExcelColumn, EveryColumnOfASheetHasItsOwnLetters) {
  std::string previous;
  for (int n = 1; n <= 16384; ++n) {
    const std::string letters = EXCELSPALTE(n);
    // Shorter names come first, then alphabetical order: strictly increasing, no gaps.
    ASSERT_TRUE(letters.size() > previous.size() ||
                (letters.size() == previous.size() && letters > previous))
        << n;
    previous = letters;
  }
}

TEST(TableHelpers, AeindimTakesOneSlotOfEveryRow) {
  EXPECT_TRUE(AEINDIM(ColumnTable{}).empty());
  EXPECT_TRUE(AEINDIM(FieldTable{}, 2).empty());
  const ColumnTable columns = {noMappingRow(),
                               {Value::integer(1), Value::text("Name"), Value::text("A")},
                               {Value::integer(2), Value::text("Ort"), Value::text("B")}};
  EXPECT_EQ(AEINDIM(columns),
            (std::vector<Value>{Value::integer(0), Value::integer(1), Value::integer(2)}));
  EXPECT_EQ(AEINDIM(columns, 3),
            (std::vector<Value>{Value::text("0"), Value::text("A"), Value::text("B")}));
  EXPECT_EQ(AEINDIM(columns, 4), std::vector<Value>(3));

  FieldTable fields(2);
  fields[0][field_slot::kFieldName] = Value::text("NAME");
  fields[1][field_slot::kFieldName] = Value::text("ORT");
  EXPECT_EQ(AEINDIM(fields, 2), (std::vector<Value>{Value::text("NAME"), Value::text("ORT")}));
}

TEST(TableHelpers, AinitEmptiesBothTables) {
  AppState state;
  state.aFields.resize(3);
  state.aColumns = {noMappingRow()};
  state.cXlsFile = "x.xlsx";
  EXPECT_TRUE(AINIT(state));
  EXPECT_TRUE(state.aFields.empty());
  EXPECT_TRUE(state.aColumns.empty());
  EXPECT_EQ(state.cXlsFile, "x.xlsx");
}

class HeadingTest : public ::testing::Test {
 protected:
  void SetUp() override { setProgramDateSettings(); }
};

TEST_F(HeadingTest, HeadingTextsOfEachKind) {
  EXPECT_EQ(headingText(Value::text("  Name ")), "  Name ");
  EXPECT_EQ(headingText(Value::real(2008)), "2008.00");
  EXPECT_EQ(headingText(Value::real(1.5)), "1.50");
  EXPECT_EQ(headingText(Value::real(1.234)), "1.23");
  EXPECT_EQ(headingText(Value::real(-12345678901.5)), "-12345678901.50");
  EXPECT_EQ(headingText(Value::integer(7)), "7.00");
  EXPECT_EQ(headingText(Value::date(dayNumber(2013, 1, 22), (10 * 3600 + 30 * 60 + 5) * 1000 + 1)),
            "22.01.13 10:30:05");
  EXPECT_EQ(headingText(Value::date(0, 8 * 3600 * 1000)), "08:00:00");
  EXPECT_EQ(headingText(Value::logical(true)), ".T.");
  EXPECT_EQ(headingText(Value::list({})), "");
  EXPECT_FALSE(headingText(Value::real(std::numeric_limits<double>::infinity())));
  EXPECT_EQ(columnNumberHeading(3), "         3");
  EXPECT_EQ(columnNumberHeading(16384), "     16384");
}

// A first sheet row given as values per column; a missing column is an empty cell.
struct FakeRow {
  std::map<int, std::optional<Value>> cells;
  std::map<int, int> reads;
  // Columns whose second read fails.
  std::map<int, bool> failAgain;

  FirstRowReader reader() {
    return [this](int column) -> std::optional<Value> {
      const int count = ++reads[column];
      if (count > 1 && failAgain[column]) return std::nullopt;
      auto it = cells.find(column);
      return it == cells.end() ? std::optional<Value>(Value()) : it->second;
    };
  }
};

TEST_F(HeadingTest, TheScanEndsAtTheFirstEmptyCell) {
  FakeRow row;
  row.cells = {{1, Value::text("Name")}, {2, Value::text("Ort")}, {4, Value::text("PLZ")}};
  const ColumnTable table = columnTableFromFirstRow(16384, row.reader());
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0], noMappingRow());
  EXPECT_EQ(table[1], (ColumnRow{Value::integer(1), Value::text("Name"), Value::text("A")}));
  EXPECT_EQ(table[2], (ColumnRow{Value::integer(2), Value::text("Ort"), Value::text("B")}));
  EXPECT_EQ(row.reads.count(4), 0u);

  for (const Value& stopper :
       {Value::text(" \t\r\n"), Value::real(0), Value::logical(false), Value::date(0)}) {
    FakeRow blank;
    blank.cells = {{1, Value::logical(true)}, {2, stopper}, {3, Value::text("C")}};
    const ColumnTable t = columnTableFromFirstRow(16384, blank.reader());
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1][column_slot::kColHeading], Value::text(".T."));
  }
  FakeRow empty;
  EXPECT_EQ(columnTableFromFirstRow(16384, empty.reader()), ColumnTable{noMappingRow()});
}

TEST_F(HeadingTest, UnreadableCellsAndAFullRow) {
  FakeRow row;
  for (int n = 1; n <= 30; ++n) row.cells[n] = Value::real(n);
  row.failAgain[3] = true;
  row.cells[5] = Value::real(std::numeric_limits<double>::quiet_NaN());
  // The sheet ends at column 30; the scan must stop there, not ask beyond.
  const ColumnTable table = columnTableFromFirstRow(30, row.reader());
  ASSERT_EQ(table.size(), 31u);
  EXPECT_EQ(table[3][column_slot::kColHeading], Value::text("         3"));
  EXPECT_EQ(table[5][column_slot::kColHeading], Value::text("         5"));
  EXPECT_EQ(table[30], (ColumnRow{Value::integer(30), Value::text("30.00"), Value::text("AD")}));
  EXPECT_EQ(row.reads.count(31), 0u);

  FakeRow failing;
  failing.cells = {{1, Value::text("A")}, {2, std::nullopt}, {3, Value::text("C")}};
  EXPECT_EQ(columnTableFromFirstRow(100, failing.reader()).size(), 2u);
}

}  // namespace
}  // namespace zandor
