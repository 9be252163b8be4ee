#pragma once

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/grid_list.h"

namespace zandor::win32 {

// The grid list as a report-style list view that asks the behaviour's model for each cell
// it draws (a virtual list: nothing is copied). An editable cell opens a drop-down list
// into which a number may also be typed: a click on the cell, F4 or Alt+Down opens it with
// its list, a double click, F2 or a typed character as a typed edit. Enter, Escape, a
// click on an entry or the focus moving elsewhere end the edit.
class ListViewGrid : public GridList {
 public:
  explicit ListViewGrid(HWND listView);
  ~ListViewGrid() override;
  ListViewGrid(const ListViewGrid&) = delete;
  ListViewGrid& operator=(const ListViewGrid&) = delete;

  void setColumns(const std::vector<GridColumn>& columns) override;
  void setModel(const GridModel* model) override;
  void setDropDownEntries(const std::vector<std::string>& entries) override;
  void refresh() override;
  int currentRow() const override;
  void setCurrentRow(int row) override;

  // A notification the list view sent its dialog; the result the dialog passes back.
  LRESULT notify(const NMHDR& header);
  HWND window() const { return list_; }
  // The open in-cell editor (a combo box), or nullptr.
  HWND editor() const { return editor_; }
  // Opens the editor of a cell: with its list shown, or for typing.
  void openEditor(int row, int column, bool withList);
  // Ends an open edit and hands it over now (before the rows move).
  void finishEdit();

 private:
  enum class End { Entry, Enter, Escape, FocusLost };
  static LRESULT CALLBACK listProcedure(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK editProcedure(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  LRESULT listMessage(HWND, UINT, WPARAM, LPARAM);
  LRESULT editMessage(HWND, UINT, WPARAM, LPARAM);
  void conclude(End how);
  void deliverPending();
  void closeEditor();
  void fitWidths();
  LRESULT customDraw(NMLVCUSTOMDRAW& draw) const;
  int editableColumn() const;
  int highlighted() const;

  HWND list_;
  const GridModel* model_ = nullptr;
  std::vector<GridColumn> columns_;
  std::vector<std::string> entries_;
  std::wstring cellText_;  // the text handed to the list view for the cell it draws
  HWND editor_ = nullptr;
  HWND editorEdit_ = nullptr;
  int editRow_ = -1;
  int editColumn_ = -1;
  bool listShown_ = false;
  bool concluded_ = false;
  std::optional<CellEdit> pending_;
};

}  // namespace zandor::win32
