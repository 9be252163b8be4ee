#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zandor {

// The grid list: rows and cells read on demand from the behaviour's own table (a view, not
// a copy), column headers that report clicks, and one kind of in-cell editor, a drop-down
// list into which a number may also be typed. Texts are Windows-1252 bytes.

// What the grid shows; the behaviour answers from its data each time the grid asks.
class GridModel {
 public:
  virtual ~GridModel() = default;
  virtual int rowCount() const = 0;
  virtual std::string cell(int row, int column) const = 0;
};

struct GridColumn {
  std::string header;
  int width = 0;  // pixels at 96 dpi; 0: as wide as the widest cell (trailing blanks not counted)
  bool editable = false;
};

// Key codes that end an edit.
namespace grid_key {
constexpr int kChosen = 0;  // a click on an entry, Enter, or the focus moving elsewhere
constexpr int kEscape = 27;
}  // namespace grid_key

// The end of an in-cell edit: either an entry of the drop-down list or typed text.
struct CellEdit {
  int row = 0;
  int column = 0;
  std::optional<int> entry;  // the chosen entry's index
  std::string typed;         // text typed into the cell, when no entry was chosen
  int key = grid_key::kChosen;
};

// How a drop-down list closed.
enum class DropDownEnd { Clicked, Enter, Escape, FocusLost };

// The entry a closed drop-down list passes on, or nothing. A click or Enter passes the
// entry it was on; losing the focus passes the highlighted entry, or the first when none is
// highlighted; Escape passes nothing.
std::optional<int> droppedEntry(DropDownEnd how, int highlighted);

class GridList {
 public:
  virtual ~GridList() = default;

  // The columns, left to right; resets the rows from the model.
  virtual void setColumns(const std::vector<GridColumn>& columns) = 0;
  // The data shown; not owned, and read again on every refresh.
  virtual void setModel(const GridModel* model) = 0;
  // The entries of the drop-down lists of editable columns, fixed while the grid lives.
  virtual void setDropDownEntries(const std::vector<std::string>& entries) = 0;
  // Reads all rows again after the data changed or was reordered.
  virtual void refresh() = 0;
  // The row of the cursor (-1: none).
  virtual int currentRow() const = 0;
  virtual void setCurrentRow(int row) = 0;

  // A click on the header of a column (0-based).
  std::function<void(int column)> onHeaderClicked;
  // The drop-down entry highlighted when the list opens on a cell (-1: none).
  std::function<int(int row, int column)> highlightedEntry;
  // An in-cell edit ended (also by Escape, with its key code).
  std::function<void(const CellEdit& edit)> onCellEdited;
};

}  // namespace zandor
