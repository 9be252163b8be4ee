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
  std::uint64_t maxCells = 50'000'000;         // stored (non-empty) cells per sheet
  std::uint64_t maxTextUnits = 1'000'000'000;  // UTF-16 units of all texts of a file
  std::uint64_t maxPartBytes = 1ull << 30;     // inflated size of one zip part
};
ReadLimits& readLimits();

enum class CellKind : std::uint8_t { Empty, Number, Date, Text, Boolean, Error };

// One stored cell: 16 bytes. Number and Date hold the serial (days since 30.12.1899),
// Text an index into the text pool, Error the VT_ERROR code.
struct Cell {
  std::uint32_t column = 0;
  CellKind kind = CellKind::Empty;
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
  std::u16string_view get(std::uint32_t index) const {
    return std::u16string_view(units_.data() + starts_[index], starts_[index + 1] - starts_[index]);
  }
  std::size_t size() const { return starts_.size() - 1; }

 private:
  std::u16string units_;
  std::vector<std::uint64_t> starts_{0};
};

// The cells of one sheet, by row, then column. Built once, then only read.
class CellStore {
 public:
  // 1-based row and column; nullptr for an empty cell.
  const Cell* find(std::uint32_t row, std::uint32_t column) const {
    if (row == 0 || row >= rowStarts_.size() - 1) return nullptr;
    const std::uint32_t begin = rowStarts_[row], end = rowStarts_[row + 1];
    if (begin == end) return nullptr;
    // Dense rows (the usual case) find the cell at its offset.
    const std::uint32_t guess = begin + (column - cells_[begin].column);
    if (column >= cells_[begin].column && guess < end && cells_[guess].column == column)
      return &cells_[guess];
    return findInRow(begin, end, column);
  }

  bool empty() const { return cells_.empty(); }
  std::uint32_t firstRow() const { return firstRow_; }
  std::uint32_t lastRow() const { return lastRow_; }
  std::uint32_t firstColumn() const { return firstColumn_; }
  std::uint32_t lastColumn() const { return lastColumn_; }
  std::size_t cellCount() const { return cells_.size(); }

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

  std::vector<Cell> cells_;
  std::vector<std::uint32_t> rowStarts_{0, 0};  // index r: first cell of row r
  std::uint32_t firstRow_ = 0, lastRow_ = 0, firstColumn_ = 0, lastColumn_ = 0;
};

// Collects cells in any order (usually row by row); a later cell at the same place wins.
// Throws SheetReadError beyond the limits.
class CellStoreBuilder {
 public:
  void add(std::uint32_t row, const Cell& cell);
  // Room for the number of cells a file announces (a hint only, so capped).
  void reserve(std::uint64_t cells);
  std::uint64_t count() const { return count_; }
  CellStore finish();

 private:
  struct Placed {
    std::uint32_t row;
    Cell cell;
  };
  void switchToUnordered();

  // While cells come in order they go straight into the store; otherwise into placed_.
  CellStore store_;
  std::uint32_t row_ = 0;
  std::vector<Placed> placed_;
  bool ordered_ = true;
  std::uint64_t count_ = 0;
};

}  // namespace zandor::sheet
