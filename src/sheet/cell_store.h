#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandor::sheet {

// Limits of a sheet, as the spreadsheet application has them.
constexpr std::uint32_t kMaxRows = 1048576;
constexpr std::uint32_t kMaxColumns = 16384;
// Limits of what one file may put into memory (zip bombs, endless repeats). Tests lower
// them to try the refusals on small files.
struct ReadLimits {
  std::uint64_t maxCells = 50'000'000;         // stored cells (or runs of them) per sheet
  std::uint64_t maxTextUnits = 1'000'000'000;  // UTF-16 units of all texts of a file
  std::uint64_t maxPartBytes = 1ull << 30;     // inflated size of one zip part
  // Not a limit: sheet parts from this inflated size on are parsed in two halves at once.
  std::uint64_t splitFrom = 8u << 20;
};
ReadLimits& readLimits();

enum class CellKind : std::uint8_t { Empty, Number, Date, Text, Boolean, Error };

// One stored cell: 16 bytes. Number and Date hold the serial (days since 30.12.1899),
// Text an index into the text pool, Error the VT_ERROR code. A cell may stand for a run:
// the same value in `repeat` more columns to its right.
struct Cell {
  std::uint32_t column = 0;
  CellKind kind = CellKind::Empty;
  std::uint16_t repeat = 0;
  union {
    double number;
    std::uint32_t text;
    bool flag;
    std::int32_t error;
  };
  Cell() : number(0) {}
};

// The texts of a workbook in one buffer.
class TextPool {
 public:
  std::uint32_t add(std::u16string_view text);
  // Adds all texts of other behind these, numbered on.
  void append(const TextPool& other);
  std::u16string_view get(std::uint32_t index) const {
    return std::u16string_view(units_.data() + starts_[index], starts_[index + 1] - starts_[index]);
  }
  std::size_t size() const { return starts_.size() - 1; }
  // UTF-16 units of all texts.
  std::size_t units() const { return units_.size(); }
  // Room for texts read from an XML part of xmlBytes, which cannot hold more units than
  // bytes nor more texts than one per minBytesPerText. Address space only (pages are
  // touched as texts come), so that the pool does not grow by copying itself over and over
  // into fresh memory; a hint, capped, never a failure.
  void reserveFor(std::uint64_t xmlBytes, std::uint64_t minBytesPerText);

 private:
  void checkRoom(std::size_t more) const;

  std::u16string units_;
  std::vector<std::uint64_t> starts_{0};
};

// The cells of one sheet, by row, then column. Built once, then only read.
class CellStore {
 public:
  // 1-based row and column; nullptr for an empty cell. The cell found may be a run that
  // begins left of column.
  const Cell* find(std::uint32_t row, std::uint32_t column) const {
    if (row == 0 || row >= rows_.size()) return nullptr;
    const RowCells cells = rows_[row];
    if (cells.begin == cells.end) return nullptr;
    // Dense rows (the usual case) find the cell at its offset.
    const std::uint32_t first = cells_[cells.begin].column;
    const std::uint32_t guess = cells.begin + (column - first);
    if (column >= first && guess < cells.end && cells_[guess].column == column)
      return &cells_[guess];
    return findInRow(cells.begin, cells.end, column);
  }

  bool empty() const { return cells_.empty(); }
  std::uint32_t firstRow() const { return firstRow_; }
  std::uint32_t lastRow() const { return lastRow_; }
  std::uint32_t firstColumn() const { return firstColumn_; }
  std::uint32_t lastColumn() const { return lastColumn_; }
  // The cells the sheet holds, each cell of a run and of a repeated row counted.
  std::uint64_t cellCount() const { return cellCount_; }
  // Memory the stored form takes: runs and repeated rows are stored once.
  std::size_t storedBytes() const {
    return cells_.capacity() * sizeof(Cell) + rows_.capacity() * sizeof(RowCells);
  }

  // Renumbers the text cells, for readers that learn the final numbers of their texts only
  // after the cells are stored.
  template <class Renumber>
  void renumberTexts(Renumber renumber) {
    for (Cell& c : cells_) {
      if (c.kind == CellKind::Text) c.text = renumber(c.text);
    }
  }

 private:
  friend class CellStoreBuilder;
  const Cell* findInRow(std::uint32_t begin, std::uint32_t end, std::uint32_t column) const;

  // The cells of a row are cells_[begin, end); repeated rows share one range.
  struct RowCells {
    std::uint32_t begin = 0, end = 0;
  };

  std::vector<Cell> cells_;
  std::vector<RowCells> rows_;  // index r: the cells of row r
  std::uint32_t firstRow_ = 0, lastRow_ = 0, firstColumn_ = 0, lastColumn_ = 0;
  std::uint64_t cellCount_ = 0;
};

// Collects cells in any order (usually row by row); a later cell at the same place wins.
// Throws SheetReadError beyond the limits.
class CellStoreBuilder {
 public:
  void add(std::uint32_t row, const Cell& cell);
  // The cells of row, the last one added, stand in the times rows below it as well. Rows
  // repeated in order are stored once.
  void repeatRow(std::uint32_t row, std::uint64_t times);
  // Room for the number of cells a file announces (a hint only, so capped).
  void reserve(std::uint64_t cells);
  // Stored cells and runs so far.
  std::uint64_t count() const { return count_; }
  // Takes the cells of a builder that collected the cells coming after these, with the
  // result of adding them here one by one; false, with neither changed, where that cannot
  // be done in one go: either builder is out of order, later begins in a row not below
  // these, or the cells would be too many.
  bool appendLater(CellStoreBuilder&& later);
  // As CellStore::renumberTexts, for the cells collected so far.
  template <class Renumber>
  void renumberTexts(Renumber renumber) {
    for (Cell& c : store_.cells_) {
      if (c.kind == CellKind::Text) c.text = renumber(c.text);
    }
    for (Placed& p : placed_) {
      if (p.cell.kind == CellKind::Text) p.cell.text = renumber(p.cell.text);
    }
  }
  CellStore finish();

 private:
  struct Placed {
    std::uint32_t row;
    Cell cell;
  };
  void countOne();
  void place(std::uint32_t row, const Cell& cell);
  void switchToUnordered();

  // While cells come in order they go straight into the store; otherwise into placed_,
  // one by one (runs and repeated rows taken apart).
  CellStore store_;
  std::uint32_t row_ = 0;
  std::vector<Placed> placed_;
  bool ordered_ = true;
  std::uint64_t count_ = 0;
  // Of the cells in order, as the store reports them: each cell of a run and of a repeated
  // row counted, and the columns they span.
  std::uint64_t units_ = 0;
  std::uint32_t firstColumn_ = kMaxColumns, lastColumn_ = 0;
};

}  // namespace zandor::sheet
