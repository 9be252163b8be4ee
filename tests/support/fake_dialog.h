#pragma once

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "resources/dialog_template.h"
#include "ui/dialog.h"

namespace zandor::test {

// A grid list for tests: shows what its model holds and plays the user's header clicks and
// in-cell edits.
class FakeGrid : public GridList {
 public:
  void setColumns(const std::vector<GridColumn>& columns) override { columns_ = columns; }
  void setModel(const GridModel* model) override { model_ = model; }
  void setDropDownEntries(const std::vector<std::string>& entries) override { entries_ = entries; }
  void refresh() override { ++refreshes_; }
  int currentRow() const override { return current_; }
  void setCurrentRow(int row) override { current_ = row; }

  // The user's actions. Opening the drop-down list on a cell moves the cursor there; the
  // user may move the highlight to another entry before the list closes.
  void clickHeader(int column);
  // The entry highlighted when the list opened.
  int dropDown(int row, int column, DropDownEnd how, std::optional<int> moveTo = std::nullopt);
  void typeInto(int row, int column, const std::string& text, int key = grid_key::kChosen);

  const std::vector<GridColumn>& columns() const { return columns_; }
  const std::vector<std::string>& dropDownEntries() const { return entries_; }
  int rowCount() const { return model_ ? model_->rowCount() : 0; }
  std::string cell(int row, int column) const { return model_ ? model_->cell(row, column) : ""; }
  // One column's cells, top to bottom.
  std::vector<std::string> columnCells(int column) const;
  int refreshes() const { return refreshes_; }

 private:
  std::vector<GridColumn> columns_;
  const GridModel* model_ = nullptr;
  std::vector<std::string> entries_;
  int current_ = -1;
  int refreshes_ = 0;
};

// A dialog for tests, built from a real template. Running it runs a script that plays the
// user: clicks, typing (through the input rule, as a field would take it), Escape and the
// close box. A modal dialog still open when its script ends fails the test.
class FakeDialog : public Dialog {
 public:
  using Script = std::function<void(FakeDialog&)>;

  FakeDialog(const DialogTemplate& tmpl, Script script);
  ~FakeDialog() override;

  Control* control(int id) override;
  GridList* gridList(int id) override;
  void setTitle(const std::string& title) override { title_ = title; }
  int runModal() override;
  void showModeless() override { shown_ = true; }
  void end(int result) override;
  void refresh() override { ++refreshes_; }
  bool shown() const override { return isOpen(); }

  // The user's actions.
  void click(int id);
  void type(int id, const std::string& text);
  void select(int id, int index);
  // The user drags the dialog to a new inner size (dialog units).
  void resize(int width, int height);
  FakeGrid& grid(int id);
  // Where the behaviour placed a control (x, y, width, height in dialog units).
  std::array<int, 4> placeOf(int id);
  bool pressEscape() { return requestClose(CloseReason::Escape); }
  bool pressCloseBox() { return requestClose(CloseReason::CloseBox); }

  const std::string& name() const { return name_; }
  const std::string& title() const { return title_; }
  bool isOpen() const { return shown_ && !result_; }
  int refreshes() const { return refreshes_; }
  std::optional<int> result() const { return result_; }
  std::string text(int id) { return OCTRL(*this, id).text(); }
  bool checked(int id) { return OCTRL(*this, id).checked(); }

 private:
  class FakeControl;

  std::string name_;
  std::string title_;
  std::map<int, std::unique_ptr<FakeControl>> controls_;
  std::map<int, std::unique_ptr<FakeGrid>> grids_;
  Script script_;
  bool shown_ = false;
  std::optional<int> result_;
  int refreshes_ = 0;
};

}  // namespace zandor::test
