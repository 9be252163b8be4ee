// The cell store: runs of a value and repeated rows, also when cells come out of order.

#include <gtest/gtest.h>

#include "sheet/cell_store.h"

namespace zandor::sheet {
namespace {

Cell number(std::uint32_t column, double v, std::uint16_t repeat = 0) {
  Cell c;
  c.column = column;
  c.kind = CellKind::Number;
  c.number = v;
  c.repeat = repeat;
  return c;
}

double valueAt(const CellStore& s, std::uint32_t row, std::uint32_t column) {
  const Cell* c = s.find(row, column);
  return c ? c->number : -1;
}

TEST(CellStoreTest, RunsAndRepeatedRowsReadAsTheirCells) {
  CellStoreBuilder b;
  b.add(2, number(3, 1, 4));  // C2:G2
  b.add(2, number(9, 2));
  b.repeatRow(2, 3);        // rows 3 to 5 as row 2
  b.add(5, number(12, 3));  // only the last of the repeated rows has it
  b.add(7, number(1, 4));
  b.repeatRow(6, 100);  // a row without cells repeats nothing
  const CellStore s = b.finish();
  for (std::uint32_t r = 2; r <= 5; ++r) {
    EXPECT_EQ(valueAt(s, r, 2), -1) << r;
    for (std::uint32_t c = 3; c <= 7; ++c) EXPECT_EQ(valueAt(s, r, c), 1) << r << "," << c;
    EXPECT_EQ(valueAt(s, r, 8), -1) << r;
    EXPECT_EQ(valueAt(s, r, 9), 2) << r;
    EXPECT_EQ(valueAt(s, r, 12), r == 5 ? 3 : -1) << r;
  }
  EXPECT_EQ(valueAt(s, 6, 1), -1);
  EXPECT_EQ(valueAt(s, 7, 1), 4);
  EXPECT_EQ(valueAt(s, 8, 1), -1);
  EXPECT_EQ(s.firstRow(), 2u);
  EXPECT_EQ(s.lastRow(), 7u);
  EXPECT_EQ(s.lastColumn(), 12u);
  EXPECT_EQ(s.cellCount(), 4u * 6 + 1 + 1);
}

TEST(CellStoreTest, ACellOutOfOrderTakesRunsApartAndWinsItsPlace) {
  CellStoreBuilder b;
  b.add(1, number(1, 1, 2));  // A1:C1
  b.repeatRow(1, 2);          // rows 2 and 3
  b.add(2, number(2, 5));     // B2, written later, wins
  const CellStore s = b.finish();
  for (std::uint32_t r = 1; r <= 3; ++r) {
    EXPECT_EQ(valueAt(s, r, 1), 1) << r;
    EXPECT_EQ(valueAt(s, r, 2), r == 2 ? 5 : 1) << r;
    EXPECT_EQ(valueAt(s, r, 3), 1) << r;
    EXPECT_EQ(valueAt(s, r, 4), -1) << r;
  }
  EXPECT_EQ(s.cellCount(), 9u);
}

}  // namespace
}  // namespace zandor::sheet
