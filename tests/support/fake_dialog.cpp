#include "support/fake_dialog.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace zandor::test {

class FakeDialog::FakeControl : public Control {
 public:
  FakeControl(const ControlTemplate& t)
      : id_(t.id),
        kind_(t.kind),
        text_(t.caption),
        place_{t.rect.x, t.rect.y, t.rect.width, t.rect.height} {}

  int id() const override { return id_; }
  std::string text() const override { return text_; }
  void setText(const std::string& text) override { text_ = text; }
  bool checked() const override { return checked_; }
  void setChecked(bool on) override { checked_ = on; }
  std::vector<std::string> items() const override { return items_; }
  void setItems(const std::vector<std::string>& items) override {
    items_ = items;
    selection_ = -1;
  }
  int selection() const override { return selection_; }
  void setSelection(int index) override {
    selection_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
  }
  bool visible() const override { return visible_; }
  void setVisible(bool on) override { visible_ = on; }
  bool enabled() const override { return enabled_; }
  void setEnabled(bool on) override { enabled_ = on; }
  void setFocus() override {}
  void setInputRule(const InputRule& rule) override { rule_ = rule; }
  void place(int x, int y, int width, int height) override { place_ = {x, y, width, height}; }
  int progress() const override { return progress_; }
  void setProgress(int permille) override { progress_ = permille; }
  std::array<int, 4> placed() const { return place_; }

  ControlKind kind() const { return kind_; }
  const InputRule& rule() const { return rule_; }

 private:
  int id_;
  ControlKind kind_;
  std::string text_;
  bool checked_ = false;
  std::vector<std::string> items_;
  int selection_ = -1;
  bool visible_ = true;
  int progress_ = 0;
  bool enabled_ = true;
  InputRule rule_;
  std::array<int, 4> place_;
};

FakeDialog::FakeDialog(const DialogTemplate& tmpl, Script script)
    : name_(tmpl.name), title_(tmpl.title), script_(std::move(script)) {
  for (const ControlTemplate& c : tmpl.controls) {
    if (c.id != kNoId && !controls_.count(c.id)) {
      controls_[c.id] = std::make_unique<FakeControl>(c);
      if (c.kind == ControlKind::GridList) grids_[c.id] = std::make_unique<FakeGrid>();
    }
  }
}

FakeDialog::~FakeDialog() = default;

Control* FakeDialog::control(int id) {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second.get();
}

GridList* FakeDialog::gridList(int id) {
  const auto it = grids_.find(id);
  return it == grids_.end() ? nullptr : it->second.get();
}

FakeGrid& FakeDialog::grid(int id) {
  GridList* grid = gridList(id);
  if (grid == nullptr) throw std::logic_error("no grid list " + std::to_string(id));
  return static_cast<FakeGrid&>(*grid);
}

std::array<int, 4> FakeDialog::placeOf(int id) {
  return static_cast<FakeControl&>(OCTRL(*this, id)).placed();
}

void FakeDialog::resize(int width, int height) {
  if (onResized) onResized(width, height);
}

void FakeGrid::clickHeader(int column) {
  if (onHeaderClicked) onHeaderClicked(column);
}

int FakeGrid::dropDown(int row, int column, DropDownEnd how, std::optional<int> moveTo) {
  EXPECT_TRUE(column >= 0 && column < static_cast<int>(columns_.size()) &&
              columns_[static_cast<std::size_t>(column)].editable)
      << "no drop-down in column " << column;
  current_ = row;
  const int opened = highlightedEntry ? highlightedEntry(row, column) : -1;
  const int highlighted = moveTo ? *moveTo : opened;
  const std::optional<int> entry = droppedEntry(how, highlighted);
  if (onCellEdited) {
    CellEdit edit;
    edit.row = row;
    edit.column = column;
    edit.entry = entry;
    edit.key = how == DropDownEnd::Escape ? grid_key::kEscape : grid_key::kChosen;
    onCellEdited(edit);
  }
  return opened;
}

void FakeGrid::typeInto(int row, int column, const std::string& text, int key) {
  current_ = row;
  if (onCellEdited) {
    CellEdit edit;
    edit.row = row;
    edit.column = column;
    edit.typed = text;
    edit.key = key;
    onCellEdited(edit);
  }
}

std::vector<std::string> FakeGrid::columnCells(int column) const {
  std::vector<std::string> out;
  for (int row = 0; row < rowCount(); ++row) out.push_back(cell(row, column));
  return out;
}

int FakeDialog::runModal() {
  shown_ = true;
  if (script_) {
    script_(*this);
  } else {
    ADD_FAILURE() << "no script for dialog " << name_;
  }
  if (!result_) {
    ADD_FAILURE() << "dialog " << name_ << " still open when its script ended";
    result_ = 0;
  }
  return *result_;
}

void FakeDialog::end(int result) {
  if (!result_) result_ = result;
}

void FakeDialog::click(int id) {
  if (!isOpen()) {
    ADD_FAILURE() << "click on closed dialog " << name_;
    return;
  }
  auto& c = static_cast<FakeControl&>(OCTRL(*this, id));
  if (!c.visible() || !c.enabled()) {
    ADD_FAILURE() << "click on hidden or disabled control " << id;
    return;
  }
  if (c.kind() == ControlKind::CheckBox) c.setChecked(!c.checked());
  if (c.kind() == ControlKind::RadioButton) c.setChecked(true);
  if (onClicked) onClicked(id);
}

void FakeDialog::type(int id, const std::string& text) {
  auto& c = static_cast<FakeControl&>(OCTRL(*this, id));
  c.setText(c.rule().apply(text));
  if (onChanged) onChanged(id);
}

void FakeDialog::select(int id, int index) {
  OCTRL(*this, id).setSelection(index);
  if (onChanged) onChanged(id);
}

}  // namespace zandor::test
