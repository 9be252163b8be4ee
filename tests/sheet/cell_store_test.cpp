// The cell store: runs of a value and repeated rows, also when cells come out of order.

#include <gtest/gtest.h>

#include "sheet/cell_store.h"
#include "sheet/sheet_error.h"

#include <string>

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

constexpr std::uint64_t kMaxCells = ReadLimits{}.maxCells;

double valueAt(const CellStore& s, std::uint32_t row, std::uint32_t column) {
  const Cell* c = s.find(row, column);
  return c ? c->number : -1;
}

TEST(CellStoreTest, RunsAndRepeatedRowsReadAsTheirCells) {
  CellStoreBuilder b(kMaxCells);
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
  CellStoreBuilder b(kMaxCells);
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

// Every cell of rows 1..lastRow, columns 1..20, as "row/column=value" lines.
std::string everyCell(const CellStore& s, std::uint32_t lastRow) {
  std::string out;
  for (std::uint32_t r = 1; r <= lastRow; ++r) {
    for (std::uint32_t c = 1; c <= 20; ++c) {
      if (const Cell* cell = s.find(r, c))
        out +=
            std::to_string(r) + "/" + std::to_string(c) + "=" + std::to_string(cell->number) + "\n";
    }
  }
  return out;
}

// A sheet read in halves: the later builder's cells are taken over where they are, and the
// store reads exactly as if every cell had been added to one builder.
TEST(CellStoreTest, CellsOfALaterBuilderReadAsIfAddedOneByOne) {
  // Dense rows, a sparse one (searched, not found at its offset), runs, a repeated row and
  // empty rows on both sides of the seam and between the halves.
  auto first = [](CellStoreBuilder& b) {
    b.add(1, number(1, 1));
    b.add(1, number(2, 2, 3));  // B1:E1
    b.add(3, number(2, 3));
    b.add(3, number(9, 4));
    b.repeatRow(3, 2);
  };
  auto later = [](CellStoreBuilder& b) {
    b.add(8, number(1, 5));
    b.add(8, number(4, 6));
    b.add(8, number(17, 7, 2));  // Q8:S8
    b.add(9, number(3, 8));
    b.repeatRow(9, 1);
    b.add(12, number(20, 9));
  };
  CellStoreBuilder whole(kMaxCells);
  first(whole);
  later(whole);
  whole.add(12, number(20, 10));  // out of order after all: the later cell wins
  CellStoreBuilder joined(kMaxCells), second(kMaxCells);
  first(joined);
  later(second);
  ASSERT_TRUE(joined.appendLater(std::move(second)));
  EXPECT_EQ(joined.count(), 9u);  // stored cells and runs
  // What comes after the join is added as to a single builder, out of order included.
  joined.add(12, number(20, 10));
  const CellStore a = whole.finish();
  const CellStore b = joined.finish();
  EXPECT_EQ(everyCell(b, 13), everyCell(a, 13));
  EXPECT_NE(everyCell(b, 13).find("8/18=7"), std::string::npos);
  EXPECT_NE(everyCell(b, 13).find("12/20=10"), std::string::npos);
  EXPECT_EQ(b.cellCount(), a.cellCount());
  EXPECT_EQ(b.firstRow(), a.firstRow());
  EXPECT_EQ(b.lastRow(), a.lastRow());
  EXPECT_EQ(b.lastColumn(), a.lastColumn());

  // Still in order after the join: rows added below read as well.
  CellStoreBuilder inOrder(kMaxCells), tail(kMaxCells);
  first(inOrder);
  later(tail);
  ASSERT_TRUE(inOrder.appendLater(std::move(tail)));
  inOrder.add(12, number(21, 11));  // U12, right of the later half's last cell
  inOrder.add(14, number(2, 12));
  inOrder.repeatRow(14, 1);
  const CellStore c = inOrder.finish();
  EXPECT_EQ(valueAt(c, 12, 20), 9);
  EXPECT_EQ(valueAt(c, 12, 21), 11);
  EXPECT_EQ(valueAt(c, 15, 2), 12);
  EXPECT_EQ(valueAt(c, 1, 5), 2);
  EXPECT_EQ(valueAt(c, 4, 9), 4);
  EXPECT_EQ(valueAt(c, 10, 3), 8);
  EXPECT_EQ(c.cellCount(), 19u + 1 + 2);  // each cell of the runs and repeated rows
}

TEST(CellStoreTest, ALaterBuilderThatCannotBeTakenOverChangesNothing) {
  CellStoreBuilder b(kMaxCells), overlapping(kMaxCells), third(kMaxCells), fourth(kMaxCells);
  b.add(5, number(1, 1));
  overlapping.add(5, number(2, 2));  // begins in a row these reached
  EXPECT_FALSE(b.appendLater(std::move(overlapping)));
  third.add(6, number(1, 3));
  ASSERT_TRUE(b.appendLater(std::move(third)));
  fourth.add(7, number(1, 4));
  EXPECT_FALSE(b.appendLater(std::move(fourth)));  // joined once already
  const CellStore s = b.finish();
  EXPECT_EQ(valueAt(s, 5, 1), 1);
  EXPECT_EQ(valueAt(s, 5, 2), -1);
  EXPECT_EQ(valueAt(s, 6, 1), 3);
  EXPECT_EQ(valueAt(s, 7, 1), -1);
  EXPECT_EQ(s.cellCount(), 2u);
}

// The limits a builder and a pool are given are theirs: counted over both parts of a
// join, and a refused join leaves the cells where they were.
TEST(CellStoreTest, TheLimitGivenRefusesTheCellBeyondIt) {
  CellStoreBuilder b(3), later(3);
  b.add(1, number(1, 1));
  b.add(1, number(2, 2));
  later.add(2, number(1, 3));
  later.add(2, number(2, 4));
  EXPECT_FALSE(b.appendLater(std::move(later)));  // four cells
  b.add(2, number(1, 3));
  EXPECT_THROW(b.add(2, number(2, 4)), SheetReadError);
  CellStoreBuilder roomy(4), tail(4);
  roomy.add(1, number(1, 1));
  roomy.add(1, number(2, 2));
  tail.add(2, number(1, 3));
  tail.add(2, number(2, 4));
  ASSERT_TRUE(roomy.appendLater(std::move(tail)));
  EXPECT_THROW(roomy.add(3, number(1, 5)), SheetReadError);
}

TEST(TextPoolTest, TheLimitGivenRefusesTextsBeyondIt) {
  TextPool pool(7), other;
  pool.add(u"vier");
  other.add(u"f\u00fcnf");
  EXPECT_THROW(pool.append(other), SheetReadError);
  EXPECT_THROW(pool.takeBehind(std::move(other)), SheetReadError);
  EXPECT_EQ(pool.add(u"ach"), 1u);
  EXPECT_THROW(pool.add(u"x"), SheetReadError);
  EXPECT_EQ(pool.size(), 2u);
}

std::string allTexts(const TextPool& pool) {
  std::string out;
  for (std::uint32_t i = 0; i < pool.size(); ++i) {
    for (char16_t u : pool.get(i)) out += static_cast<char>(u);
    out += '|';
  }
  return out;
}

TEST(TextPoolTest, TextsTakenOverOrAppendedAreNumberedOn) {
  TextPool a, b, c;
  a.add(u"eins");
  a.add(u"");
  b.add(u"zwei");
  b.add(u"drei");
  c.add(u"vier");
  a.takeBehind(std::move(b));
  EXPECT_EQ(allTexts(a), "eins||zwei|drei|");
  EXPECT_EQ(a.units(), 12u);
  EXPECT_EQ(b.size(), 0u);
  // Added and appended texts go behind the ones taken over, a second take-over is copied.
  EXPECT_EQ(a.add(u"f\u00fcnf"), 4u);
  a.takeBehind(std::move(c));
  EXPECT_EQ(allTexts(a), "eins||zwei|drei|f\xfcnf|vier|");
  EXPECT_EQ(a.size(), 6u);
  // A pool in two parts appended to another or taken over by it gives all its texts.
  TextPool d, e;
  d.add(u"null");
  d.append(a);
  EXPECT_EQ(allTexts(d), "null|eins||zwei|drei|f\xfcnf|vier|");
  e.takeBehind(std::move(a));
  EXPECT_EQ(allTexts(e), "eins||zwei|drei|f\xfcnf|vier|");
  EXPECT_EQ(e.units(), 20u);
}

}  // namespace
}  // namespace zandor::sheet
