#pragma once

#include <QTableView>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/grid_list.h"

namespace zandor {

class GridTableModel;
class ChoiceDelegate;

// The grid list as a Qt table view over the behaviour's model: grid lines, centred headers,
// fixed or content widths, and a drop-down editor (into which a number may be typed) in the
// editable columns. A click on a cell's drop-down button opens the list; a double click
// or typing starts a typed edit.
class QtGrid : public GridList {
 public:
  explicit QtGrid(QWidget* parent);
  ~QtGrid() override;

  void setColumns(const std::vector<GridColumn>& columns) override;
  void setModel(const GridModel* model) override;
  void setDropDownEntries(const std::vector<std::string>& entries) override;
  void refresh() override;
  int currentRow() const override;
  void setCurrentRow(int row) override;

  QTableView* view() const { return view_; }
  const std::vector<std::string>& entries() const { return entries_; }
  // Hands an ended edit to the behaviour once the editor is gone.
  void deliver(const CellEdit& edit);
  // Ends an open edit and hands it over now (before the rows move).
  void finishEdit();
  // Opens the drop-down list of a cell, as a click on its button does.
  void openDropDown(int row, int column);

 private:
  void fitWidths();

  QTableView* view_;
  GridTableModel* model_;
  ChoiceDelegate* delegate_;
  std::vector<GridColumn> columns_;
  std::vector<std::string> entries_;
  std::optional<CellEdit> pending_;
};

}  // namespace zandor
