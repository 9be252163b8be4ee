#pragma once

#include <string>
#include <vector>

#include "base/value.h"
#include "state/mapping_tables.h"
#include "ui/grid_list.h"

namespace zandor {

// The mapping dialog's field list: one line per row of the field table, one column per slot.
// The table itself is the data; the list only reads it.
class FieldListModel : public GridModel {
 public:
  explicit FieldListModel(const FieldTable& fields) : fields_(fields) {}
  int rowCount() const override { return static_cast<int>(fields_.size()); }
  std::string cell(int row, int column) const override;

 private:
  const FieldTable& fields_;
};

// The nine columns in slot order: headers, widths, and column 6 the only editable one.
std::vector<GridColumn> fieldListColumns();

// The column of the list that holds the column choice (0-based).
constexpr int kChoiceColumn = field_slot::kColCaption;

// A slot's value as the list shows it.
std::string cellText(const Value& value);

// Sorts the rows of the table by one slot (stable; numbers before texts, texts by their
// bytes) and returns where the row that stood at `follow` stands now (-1 stays -1).
int sortFields(FieldTable& fields, int slot, bool ascending, int follow);

}  // namespace zandor
