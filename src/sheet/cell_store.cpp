#include "sheet/cell_store.h"

#include <algorithm>

#include "sheet/sheet_error.h"

namespace zandor::sheet {

ReadLimits& readLimits() {
  static ReadLimits limits;
  return limits;
}

std::uint32_t TextPool::add(std::u16string_view text) {
  if (units_.size() + text.size() > readLimits().maxTextUnits)
    throw SheetReadError("Die Texte der Datei sind zu gro\xc3\x9f (Grenze " +
                         std::to_string(readLimits().maxTextUnits) + " Zeichen).");
  units_.append(text);
  starts_.push_back(units_.size());
  return static_cast<std::uint32_t>(starts_.size() - 2);
}

const Cell* CellStore::findInRow(std::uint32_t begin, std::uint32_t end,
                                 std::uint32_t column) const {
  auto first = cells_.begin() + begin, last = cells_.begin() + end;
  auto it = std::lower_bound(first, last, column,
                             [](const Cell& c, std::uint32_t col) { return c.column < col; });
  return it != last && it->column == column ? &*it : nullptr;
}

void CellStoreBuilder::add(std::uint32_t row, const Cell& cell) {
  if (row == 0 || row > kMaxRows || cell.column == 0 || cell.column > kMaxColumns)
    throw SheetReadError(
        "Zelle au\xc3\x9f"
        "erhalb des Tabellenblatts (Zeile " +
        std::to_string(row) + ", Spalte " + std::to_string(cell.column) + ").");
  if (cell.kind == CellKind::Empty) return;
  if (++count_ > readLimits().maxCells)
    throw SheetReadError("Das Tabellenblatt hat zu viele Zellen (Grenze " +
                         std::to_string(readLimits().maxCells) + ").");
  if (ordered_) {
    auto& cells = store_.cells_;
    if (row > row_ || (row == row_ && (cells.empty() || cell.column > cells.back().column))) {
      auto& starts = store_.rowStarts_;  // starts[r] = first cell of row r, for r <= row_
      while (row_ < row) {
        ++row_;
        if (starts.size() <= row_) starts.resize(row_ + 1);
        starts[row_] = static_cast<std::uint32_t>(cells.size());
      }
      cells.push_back(cell);
      return;
    }
    switchToUnordered();
  }
  placed_.push_back({row, cell});
}

void CellStoreBuilder::reserve(std::uint64_t cells) {
  constexpr std::uint64_t kMostReserved = 1u << 22;
  if (ordered_ && store_.cells_.empty())
    store_.cells_.reserve(static_cast<std::size_t>(std::min(cells, kMostReserved)));
}

void CellStoreBuilder::switchToUnordered() {
  ordered_ = false;
  const auto& cells = store_.cells_;
  const auto& starts = store_.rowStarts_;
  placed_.reserve(cells.size() + 1);
  std::uint32_t row = 1;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    while (row < row_ && starts[row + 1] <= i) ++row;
    placed_.push_back({row, cells[i]});
  }
  store_ = CellStore();
}

CellStore CellStoreBuilder::finish() {
  if (!ordered_) {
    std::stable_sort(placed_.begin(), placed_.end(), [](const Placed& a, const Placed& b) {
      return a.row != b.row ? a.row < b.row : a.cell.column < b.cell.column;
    });
    // The last one written to a place wins.
    ordered_ = true;
    row_ = 0;
    std::vector<Placed> placed = std::move(placed_);
    for (std::size_t i = 0; i < placed.size(); ++i) {
      if (i + 1 < placed.size() && placed[i + 1].row == placed[i].row &&
          placed[i + 1].cell.column == placed[i].cell.column)
        continue;
      --count_;
      add(placed[i].row, placed[i].cell);
    }
  }
  CellStore store = std::move(store_);
  store_ = CellStore();
  auto& cells = store.cells_;
  if (cells.empty()) {
    store.rowStarts_ = {0, 0};
    return store;
  }
  // No shrink_to_fit: copying the cells once more would double the peak memory.
  store.rowStarts_.resize(static_cast<std::size_t>(row_) + 2);
  store.rowStarts_[row_ + 1] = static_cast<std::uint32_t>(cells.size());
  store.lastRow_ = row_;
  store.firstRow_ = 1;
  while (store.rowStarts_[store.firstRow_] == store.rowStarts_[store.firstRow_ + 1])
    ++store.firstRow_;
  store.firstColumn_ = kMaxColumns;
  for (const Cell& c : cells) {
    store.firstColumn_ = std::min(store.firstColumn_, c.column);
    store.lastColumn_ = std::max(store.lastColumn_, c.column);
  }
  return store;
}

}  // namespace zandor::sheet
