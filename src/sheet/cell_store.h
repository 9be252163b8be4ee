#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandor::sheet {

// Limits of a sheet, as the spreadsheet application has them.
constexpr std::uint32_t kMaxRows = 1048576;
constexpr std::uint32_t kMaxColumns = 16384;
// Limits of what one file may put into memory (zip bombs, endless repeats). Given where a
// workbook is opened and handed down to its readers, which may run on threads of their own.
struct ReadLimits {
  std::uint64_t maxCells = 50'000'000;         // stored cells (or runs of them) per sheet
  std::uint64_t maxTextUnits = 1'000'000'000;  // UTF-16 units of all texts of a file
  std::uint64_t maxPartBytes = 1ull << 30;     // inflated size of one zip part
  // Not a limit: sheet parts from this inflated size on are parsed in two halves at once.
  std::uint64_t splitFrom = 8u << 20;
};

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
  TextPool() = default;
  // Refuses texts beyond maxUnits UTF-16 units in all.
  explicit TextPool(std::uint64_t maxUnits) : maxUnits_(maxUnits) {}
  std::uint64_t maxUnits() const { return maxUnits_; }
  std::uint32_t add(std::u16string_view text);
  // Adds all texts of other behind these, numbered on.
  void append(const TextPool& other);
  // As append, taking other's texts over where they are instead of copying them (once; a
  // pool that took texts over copies any more it is given).
  void takeBehind(TextPool&& other);
  std::u16string_view get(std::uint32_t index) const {
    if (index < earlierCount_) return textOf(earlierUnits_, earlierStarts_, index);
    return textOf(units_, starts_, index - earlierCount_);
  }
  std::size_t size() const { return earlierCount_ + starts_.size() - 1; }
  // UTF-16 units of all texts.
  std::size_t units() const { return earlierUnits_.size() + units_.size(); }
  // Room for texts read from an XML part of xmlBytes, which cannot hold more units than
  // bytes nor more texts than one per minBytesPerText. Address space only (pages are
  // touched as texts come), so that the pool does not grow by copying itself over and over
  // into fresh memory; a hint, capped, never a failure.
  void reserveFor(std::uint64_t xmlBytes, std::uint64_t minBytesPerText);

 private:
  void checkRoom(std::size_t more) const;
  void appendTexts(const std::u16string& units, const std::vector<std::uint64_t>& starts);
  static std::u16string_view textOf(const std::u16string& units,
                                    const std::vector<std::uint64_t>& starts, std::uint32_t index) {
    return std::u16string_view(units.data() + starts[index], starts[index + 1] - starts[index]);
  }

  // Texts numbered from 0: the first earlierCount_ in the earlier part, the rest in units_.
  std::u16string earlierUnits_;
  std::vector<std::uint64_t> earlierStarts_{0};
  std::uint32_t earlierCount_ = 0;
  std::u16string units_;
  std::vector<std::uint64_t> starts_{0};
  std::uint64_t maxUnits_ = ReadLimits{}.maxTextUnits;
};

// The cells of one sheet, by row, then column. Built once, then only read.
class CellStore {
 public:
  // 1-based row and column; nullptr for an empty cell. The cell found may be a run that
  // begins left of column.
  const Cell* find(std::uint32_t row, std::uint32_t column) const {
    if (row == 0 || row >= rows_.size()) return nullptr;
    RowCells cells = rows_[row];
    if (cells.begin == cells.end) return nullptr;
    // A row's cells all lie in one part.
    const Cell* part = cells_.data();
    if (cells.begin < earlierCount_) {
      part = earlier_.data();
    } else {
      cells.begin -= earlierCount_;
      cells.end -= earlierCount_;
    }
    // Dense rows (the usual case) find the cell at its offset.
    const std::uint32_t first = part[cells.begin].column;
    const std::uint32_t guess = cells.begin + (column - first);
    if (column >= first && guess < cells.end && part[guess].column == column) return &part[guess];
    return findInRow(part + cells.begin, part + cells.end, column);
  }

  bool empty() const { return cells_.empty() && earlier_.empty(); }
  std::uint32_t firstRow() const { return firstRow_; }
  std::uint32_t lastRow() const { return lastRow_; }
  std::uint32_t firstColumn() const { return firstColumn_; }
  std::uint32_t lastColumn() const { return lastColumn_; }
  // The cells the sheet holds, each cell of a run and of a repeated row counted.
  std::uint64_t cellCount() const { return cellCount_; }
  // Memory the stored form takes: runs and repeated rows are stored once.
  std::size_t storedBytes() const {
    return (earlier_.capacity() + cells_.capacity()) * sizeof(Cell) +
           rows_.capacity() * sizeof(RowCells);
  }

  // Renumbers the text cells, for readers that learn the final numbers of their texts only
  // after the cells are stored.
  template <class Renumber>
  void renumberTexts(Renumber renumber) {
    for (std::vector<Cell>* part : {&earlier_, &cells_}) {
      for (Cell& c : *part) {
        if (c.kind == CellKind::Text) c.text = renumber(c.text);
      }
    }
  }

 private:
  friend class CellStoreBuilder;
  static const Cell* findInRow(const Cell* begin, const Cell* end, std::uint32_t column);
  // Cell number i, of either part.
  const Cell& cellAt(std::uint32_t i) const {
    return i < earlierCount_ ? earlier_[i] : cells_[i - earlierCount_];
  }

  // The cells of a row are cells_[begin, end); repeated rows share one range.
  struct RowCells {
    std::uint32_t begin = 0, end = 0;
  };

  // Cells numbered from 0 in row order: the first earlierCount_ in earlier_, the rest in
  // cells_. A sheet read in halves keeps the first half's cells where they are instead of
  // copying the second's behind them.
  std::vector<Cell> earlier_;
  std::vector<Cell> cells_;
  std::uint32_t earlierCount_ = 0;
  std::vector<RowCells> rows_;  // index r: the cells of row r
  std::uint32_t firstRow_ = 0, lastRow_ = 0, firstColumn_ = 0, lastColumn_ = 0;
  std::uint64_t cellCount_ = 0;
};

// Collects cells in any order (usually row by row); a later cell at the same place wins.
// Throws SheetReadError beyond the limits.
class CellStoreBuilder {
 public:
  explicit CellStoreBuilder(std::uint64_t maxCells) : maxCells_(maxCells) {}
  void add(std::uint32_t row, const Cell& cell);
  // The cells of row, the last one added, stand in the times rows below it as well. Rows
  // repeated in order are stored once.
  void repeatRow(std::uint32_t row, std::uint64_t times);
  // Room for the number of cells a file announces (a hint only, so capped).
  void reserve(std::uint64_t cells);
  // Stored cells and runs so far.
  std::uint64_t count() const { return count_; }
  // Takes the cells of a builder that collected the cells coming after these, with the
  // result of adding them here one by one (they stay where they are, and so do these);
  // false, with neither changed, where that cannot be done in one go: either builder is out
  // of order or was joined before, later begins in a row not below these, or the cells
  // would be too many.
  bool appendLater(CellStoreBuilder&& later);
  // As CellStore::renumberTexts, for the cells collected so far.
  template <class Renumber>
  void renumberTexts(Renumber renumber) {
    store_.renumberTexts(renumber);
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
  std::uint64_t maxCells_;
  // Of the cells in order, as the store reports them: each cell of a run and of a repeated
  // row counted, and the columns they span.
  std::uint64_t units_ = 0;
  std::uint32_t firstColumn_ = kMaxColumns, lastColumn_ = 0;
};

}  // namespace zandor::sheet
