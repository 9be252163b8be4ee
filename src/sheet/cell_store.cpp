#include "sheet/cell_store.h"

#include <algorithm>
#include <new>

#include "sheet/sheet_error.h"

namespace zandor::sheet {

void TextPool::checkRoom(std::size_t more) const {
  if (units() + more > maxUnits_)
    throw SheetReadError("Die Texte der Datei sind zu gro\xc3\x9f (Grenze " +
                         std::to_string(maxUnits_) + " Zeichen).");
}

std::uint32_t TextPool::add(std::u16string_view text) {
  checkRoom(text.size());
  units_.append(text);
  starts_.push_back(units_.size());
  return static_cast<std::uint32_t>(size() - 1);
}

void TextPool::reserveFor(std::uint64_t xmlBytes, std::uint64_t minBytesPerText) {
  constexpr std::uint64_t kMostBytes = 256u << 20;
  const std::uint64_t units = std::min({xmlBytes, maxUnits_, kMostBytes / 2});
  const std::uint64_t texts = std::min(xmlBytes / std::max<std::uint64_t>(minBytesPerText, 1) + 1,
                                       kMostBytes / sizeof(std::uint64_t));
  try {
    if (units > units_.capacity()) units_.reserve(static_cast<std::size_t>(units));
    if (texts > starts_.capacity()) starts_.reserve(static_cast<std::size_t>(texts));
  } catch (const std::bad_alloc&) {
    // Grown as texts come, as without the hint.
  }
}

void TextPool::appendTexts(const std::u16string& units, const std::vector<std::uint64_t>& starts) {
  const std::uint64_t base = units_.size();
  units_.append(units);
  starts_.reserve(starts_.size() + starts.size() - 1);
  for (std::size_t i = 1; i < starts.size(); ++i) starts_.push_back(base + starts[i]);
}

void TextPool::append(const TextPool& other) {
  checkRoom(other.units());
  appendTexts(other.earlierUnits_, other.earlierStarts_);
  appendTexts(other.units_, other.starts_);
}

void TextPool::takeBehind(TextPool&& other) {
  if (earlierCount_ > 0 || other.earlierCount_ > 0) {
    append(other);
    return;
  }
  checkRoom(other.units());
  earlierCount_ = static_cast<std::uint32_t>(size());
  earlierUnits_ = std::move(units_);
  earlierStarts_ = std::move(starts_);
  units_ = std::move(other.units_);
  starts_ = std::move(other.starts_);
  other = TextPool(other.maxUnits_);
}

const Cell* CellStore::findInRow(const Cell* begin, const Cell* end, std::uint32_t column) {
  const Cell* it = std::upper_bound(
      begin, end, column, [](std::uint32_t col, const Cell& c) { return col < c.column; });
  if (it == begin) return nullptr;
  --it;
  return column <= it->column + it->repeat ? it : nullptr;
}

void CellStoreBuilder::countOne() {
  if (++count_ > maxCells_)
    throw SheetReadError("Das Tabellenblatt hat zu viele Zellen (Grenze " +
                         std::to_string(maxCells_) + ").");
}

void CellStoreBuilder::add(std::uint32_t row, const Cell& cell) {
  if (row == 0 || row > kMaxRows || cell.column == 0 ||
      cell.column + std::uint32_t{cell.repeat} > kMaxColumns)
    throw SheetReadError(
        "Zelle au\xc3\x9f"
        "erhalb des Tabellenblatts (Zeile " +
        std::to_string(row) + ", Spalte " + std::to_string(cell.column + cell.repeat) + ").");
  if (cell.kind == CellKind::Empty) return;
  if (ordered_) {
    auto& cells = store_.cells_;
    auto& rows = store_.rows_;
    if (row > row_ ||
        (row == row_ && cell.column > cells.back().column + std::uint32_t{cells.back().repeat})) {
      countOne();
      const auto next = static_cast<std::uint32_t>(store_.earlierCount_ + cells.size());
      if (row > row_) {
        rows.resize(row + 1, {next, next});
        row_ = row;
      }
      cells.push_back(cell);
      rows[row].end = next + 1;
      units_ += 1u + cell.repeat;
      firstColumn_ = std::min(firstColumn_, cell.column);
      lastColumn_ = std::max(lastColumn_, cell.column + cell.repeat);
      return;
    }
    switchToUnordered();
  }
  place(row, cell);
}

bool CellStoreBuilder::appendLater(CellStoreBuilder&& later) {
  if (!ordered_ || !later.ordered_ || store_.earlierCount_ > 0 || later.store_.earlierCount_ > 0)
    return false;
  auto& rows = store_.rows_;
  const auto& laterRows = later.store_.rows_;
  if (later.store_.cells_.empty()) return true;
  std::uint32_t firstLater = 1;
  while (laterRows[firstLater].begin == laterRows[firstLater].end) ++firstLater;
  if (firstLater <= row_ || count_ + later.count_ > maxCells_) return false;
  // Rows between ours and later's first one stay empty, pointing where later's cells begin,
  // as the adds would have left them.
  const auto base = static_cast<std::uint32_t>(store_.cells_.size());
  store_.earlier_ = std::move(store_.cells_);
  store_.earlierCount_ = base;
  store_.cells_ = std::move(later.store_.cells_);
  if (rows.size() <= row_) rows.resize(row_ + 1, {base, base});
  rows.reserve(laterRows.size());
  for (std::size_t r = rows.size(); r < laterRows.size(); ++r)
    rows.push_back({laterRows[r].begin + base, laterRows[r].end + base});
  row_ = later.row_;
  count_ += later.count_;
  units_ += later.units_;
  firstColumn_ = std::min(firstColumn_, later.firstColumn_);
  lastColumn_ = std::max(lastColumn_, later.lastColumn_);
  later = CellStoreBuilder(later.maxCells_);
  return true;
}

void CellStoreBuilder::place(std::uint32_t row, const Cell& cell) {
  Cell one = cell;
  one.repeat = 0;
  for (std::uint32_t c = 0; c <= cell.repeat; ++c) {
    countOne();
    one.column = cell.column + c;
    placed_.push_back({row, one});
  }
}

void CellStoreBuilder::repeatRow(std::uint32_t row, std::uint64_t times) {
  if (times == 0) return;
  if (row == 0 || row + times > kMaxRows)
    throw SheetReadError(
        "Zeilen au\xc3\x9f"
        "erhalb des Tabellenblatts (Zeile " +
        std::to_string(row + times) + ").");
  if (ordered_) {
    if (row != row_) return;  // a row without cells
    auto& rows = store_.rows_;
    const CellStore::RowCells cells = rows[row];
    rows.resize(row + times + 1, cells);
    row_ = static_cast<std::uint32_t>(row + times);
    std::uint64_t inRow = 0;
    for (std::uint32_t i = cells.begin; i < cells.end; ++i) inRow += 1u + store_.cellAt(i).repeat;
    units_ += inRow * times;
    return;
  }
  std::vector<Cell> cells;
  for (const Placed& p : placed_) {
    if (p.row == row) cells.push_back(p.cell);
  }
  for (std::uint64_t r = 1; r <= times; ++r) {
    for (const Cell& c : cells) place(static_cast<std::uint32_t>(row + r), c);
  }
}

void CellStoreBuilder::reserve(std::uint64_t cells) {
  constexpr std::uint64_t kMostReserved = 1u << 22;
  if (ordered_ && store_.empty())
    store_.cells_.reserve(static_cast<std::size_t>(std::min(cells, kMostReserved)));
}

void CellStoreBuilder::switchToUnordered() {
  ordered_ = false;
  count_ = 0;
  const CellStore store = std::move(store_);
  store_ = CellStore();
  placed_.reserve(store.earlier_.size() + store.cells_.size() + 1);
  for (std::uint32_t row = 1; row < store.rows_.size(); ++row) {
    for (std::uint32_t i = store.rows_[row].begin; i < store.rows_[row].end; ++i)
      place(row, store.cellAt(i));
  }
}

CellStore CellStoreBuilder::finish() {
  if (!ordered_) {
    std::stable_sort(placed_.begin(), placed_.end(), [](const Placed& a, const Placed& b) {
      return a.row != b.row ? a.row < b.row : a.cell.column < b.cell.column;
    });
    // The last one written to a place wins.
    ordered_ = true;
    row_ = 0;
    count_ = 0;
    units_ = 0;
    firstColumn_ = kMaxColumns;
    lastColumn_ = 0;
    std::vector<Placed> placed = std::move(placed_);
    for (std::size_t i = 0; i < placed.size(); ++i) {
      if (i + 1 < placed.size() && placed[i + 1].row == placed[i].row &&
          placed[i + 1].cell.column == placed[i].cell.column)
        continue;
      add(placed[i].row, placed[i].cell);
    }
  }
  CellStore store = std::move(store_);
  store_ = CellStore();
  if (store.empty()) {
    store.rows_.clear();
    return store;
  }
  // No shrink_to_fit: copying the cells once more would double the peak memory.
  store.lastRow_ = row_;
  store.firstRow_ = 1;
  while (store.rows_[store.firstRow_].begin == store.rows_[store.firstRow_].end) ++store.firstRow_;
  store.firstColumn_ = firstColumn_;
  store.lastColumn_ = lastColumn_;
  store.cellCount_ = units_;
  return store;
}

}  // namespace zandor::sheet
