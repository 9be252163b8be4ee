#include "win32/list_view_grid.h"

#include <algorithm>

#include "base/text.h"
#include "ui/event_guard.h"
#include "win32/screen_metrics.h"
#include "win32/win32_text.h"

namespace zandor::win32 {

namespace {

constexpr UINT kEditDone = WM_APP + 1;
constexpr UINT_PTR kSubclassId = 1;
constexpr int kEditorId = 1;
// Room below the cell for the editor's open list, in pixels at 96 dpi.
constexpr int kOpenListHeight = 240;

}  // namespace

ListViewGrid::ListViewGrid(HWND listView) : list_(listView) {
  SetWindowSubclass(list_, &ListViewGrid::listProcedure, kSubclassId,
                    reinterpret_cast<DWORD_PTR>(this));
  ListView_SetExtendedListViewStyle(list_,
                                    LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
}

ListViewGrid::~ListViewGrid() {
  closeEditor();
  if (IsWindow(list_)) RemoveWindowSubclass(list_, &ListViewGrid::listProcedure, kSubclassId);
}

void ListViewGrid::setColumns(const std::vector<GridColumn>& columns) {
  finishEdit();
  while (ListView_DeleteColumn(list_, 0)) {
  }
  columns_ = columns;
  HWND header = ListView_GetHeader(list_);
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    std::wstring text = wide(columns_[c].header);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = 60;
    column.pszText = text.data();
    column.iSubItem = static_cast<int>(c);
    SendMessageW(list_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    // Headings centred over cells that stay left-aligned.
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    item.fmt = HDF_STRING | HDF_CENTER;
    SendMessageW(header, HDM_SETITEMW, c, reinterpret_cast<LPARAM>(&item));
  }
  refresh();
}

void ListViewGrid::setModel(const GridModel* model) {
  model_ = model;
  refresh();
}

void ListViewGrid::setDropDownEntries(const std::vector<std::string>& entries) {
  entries_ = entries;
}

void ListViewGrid::refresh() {
  const int row = currentRow();
  const int count = model_ != nullptr ? model_->rowCount() : 0;
  ListView_SetItemCountEx(list_, count, LVSICF_NOSCROLL);
  InvalidateRect(list_, nullptr, TRUE);
  fitWidths();
  if (row >= 0 && row < count) setCurrentRow(row);
}

int ListViewGrid::currentRow() const {
  return ListView_GetNextItem(list_, -1, LVNI_SELECTED);
}

void ListViewGrid::setCurrentRow(int row) {
  ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  const int count = model_ != nullptr ? model_->rowCount() : 0;
  if (row < 0 || row >= count) return;
  ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list_, row, FALSE);
}

void ListViewGrid::fitWidths() {
  const int dpi = screenDpi();
  const int count = model_ != nullptr ? model_->rowCount() : 0;
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    // A fixed width is kept unless the heading would be cut.
    const int heading = textWidth(list_, wide(columns_[c].header)) + MulDiv(16, dpi, 96);
    int width = columns_[c].width > 0 ? std::max(MulDiv(columns_[c].width, dpi, 96), heading) : 0;
    if (width == 0) {
      width = heading - MulDiv(16, dpi, 96);
      for (int r = 0; r < count; ++r) {
        width = std::max(width,
                         textWidth(list_, wide(trimRight(model_->cell(r, static_cast<int>(c))))));
      }
      width += MulDiv(16, dpi, 96);
    }
    ListView_SetColumnWidth(list_, static_cast<int>(c), width);
  }
}

int ListViewGrid::editableColumn() const {
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    if (columns_[c].editable) return static_cast<int>(c);
  }
  return -1;
}

int ListViewGrid::highlighted() const {
  if (editor_ == nullptr) return -1;
  const LRESULT index = SendMessageW(editor_, CB_GETCURSEL, 0, 0);
  return index < 0 ? -1 : static_cast<int>(index);
}

LRESULT ListViewGrid::customDraw(NMLVCUSTOMDRAW& draw) const {
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
      return draw.iSubItem >= 0 && draw.iSubItem < static_cast<int>(columns_.size()) &&
                     columns_[static_cast<std::size_t>(draw.iSubItem)].editable
                 ? CDRF_NOTIFYPOSTPAINT
                 : CDRF_DODEFAULT;
    case CDDS_ITEMPOSTPAINT | CDDS_SUBITEM: {
      // An editable cell shows the arrow of the drop-down list it opens.
      RECT cell{};
      ListView_GetSubItemRect(list_, static_cast<int>(draw.nmcd.dwItemSpec), draw.iSubItem,
                              LVIR_BOUNDS, &cell);
      RECT arrow{std::max(cell.left, cell.right - GetSystemMetrics(SM_CXVSCROLL)), cell.top + 1,
                 cell.right - 1, cell.bottom - 1};
      DrawFrameControl(draw.nmcd.hdc, &arrow, DFC_SCROLL, DFCS_SCROLLCOMBOBOX);
      return CDRF_DODEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

LRESULT ListViewGrid::notify(const NMHDR& header) {
  switch (header.code) {
    case NM_CUSTOMDRAW:
      return customDraw(
          const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header)));
    case LVN_GETDISPINFOW: {
      auto& info = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header));
      if ((info.item.mask & LVIF_TEXT) == 0 || info.item.cchTextMax <= 0) break;
      cellText_.clear();
      if (model_ != nullptr && info.item.iItem < model_->rowCount()) {
        cellText_ = wide(trimRight(model_->cell(info.item.iItem, info.item.iSubItem)));
      }
      const std::size_t n = std::min<std::size_t>(
          cellText_.size(), static_cast<std::size_t>(info.item.cchTextMax - 1));
      std::copy_n(cellText_.begin(), n, info.item.pszText);
      info.item.pszText[n] = L'\0';
      break;
    }
    case LVN_COLUMNCLICK: {
      const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
      runGuarded([&] {
        // An edit still open belongs to its row as it stands now.
        finishEdit();
        if (onHeaderClicked) onHeaderClicked(column);
      });
      break;
    }
    case NM_CLICK:
    case NM_DBLCLK: {
      LVHITTESTINFO hit{};
      hit.pt = reinterpret_cast<const NMITEMACTIVATE&>(header).ptAction;
      if (ListView_SubItemHitTest(list_, &hit) < 0 || hit.iItem < 0) break;
      if (hit.iSubItem < 0 || hit.iSubItem >= static_cast<int>(columns_.size()) ||
          !columns_[static_cast<std::size_t>(hit.iSubItem)].editable)
        break;
      openEditor(hit.iItem, hit.iSubItem, header.code == NM_CLICK);
      break;
    }
    case LVN_KEYDOWN: {
      const WORD key = reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey;
      const int row = currentRow();
      if (row < 0 || editableColumn() < 0) break;
      if (key == VK_F4) openEditor(row, editableColumn(), true);
      if (key == VK_F2) openEditor(row, editableColumn(), false);
      break;
    }
    case LVN_BEGINSCROLL:
      finishEdit();
      break;
    default:
      break;
  }
  return 0;
}

void ListViewGrid::openEditor(int row, int column, bool withList) {
  finishEdit();
  if (model_ == nullptr || row < 0 || row >= model_->rowCount()) return;
  if (column < 0 || column >= static_cast<int>(columns_.size()) ||
      !columns_[static_cast<std::size_t>(column)].editable)
    return;
  setCurrentRow(row);
  RECT cell{};
  ListView_GetSubItemRect(list_, row, column, column == 0 ? LVIR_LABEL : LVIR_BOUNDS, &cell);
  const int dpi = screenDpi();
  editor_ = CreateWindowExW(
      0, WC_COMBOBOXW, L"", WS_CHILD | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, cell.left,
      cell.top, cell.right - cell.left, cell.bottom - cell.top + MulDiv(kOpenListHeight, dpi, 96),
      list_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditorId)), GetModuleHandleW(nullptr),
      nullptr);
  if (editor_ == nullptr) return;
  SendMessageW(editor_, WM_SETFONT, SendMessageW(list_, WM_GETFONT, 0, 0), FALSE);
  // The closed box as high as the row: the combo box adds its frame to the field's height.
  const int frame = GetSystemMetrics(SM_CYEDGE) * 2 + 2;
  SendMessageW(editor_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
               std::max<LPARAM>(8, cell.bottom - cell.top - frame));
  int widest = 0;
  for (const std::string& entry : entries_) {
    const std::wstring w = wide(entry);
    SendMessageW(editor_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
    widest = std::max(widest, textWidth(list_, w));
  }
  SendMessageW(editor_, CB_SETDROPPEDWIDTH,
               static_cast<WPARAM>(widest + GetSystemMetrics(SM_CXVSCROLL) + 8), 0);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  GetComboBoxInfo(editor_, &info);
  editorEdit_ = info.hwndItem;
  SetWindowSubclass(editorEdit_, &ListViewGrid::editProcedure, kSubclassId,
                    reinterpret_cast<DWORD_PTR>(this));
  editRow_ = row;
  editColumn_ = column;
  listShown_ = false;
  concluded_ = false;
  pending_.reset();
  int entry = -1;
  runGuarded([&] {
    if (highlightedEntry) entry = highlightedEntry(row, column);
  });
  if (entry >= static_cast<int>(entries_.size())) entry = -1;
  ShowWindow(editor_, SW_SHOW);
  SetFocus(editorEdit_);
  if (withList) {
    SendMessageW(editor_, CB_SHOWDROPDOWN, TRUE, 0);
    listShown_ = true;
    // The list opens on the cell's entry, or on none.
    SendMessageW(editor_, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  } else {
    SetWindowTextW(editorEdit_, wide(trimRight(model_->cell(row, column))).c_str());
    SendMessageW(editorEdit_, EM_SETSEL, 0, -1);
  }
}

void ListViewGrid::conclude(End how) {
  if (editor_ == nullptr || concluded_) return;
  concluded_ = true;
  CellEdit edit;
  edit.row = editRow_;
  edit.column = editColumn_;
  switch (how) {
    case End::Entry:
      edit.entry = droppedEntry(DropDownEnd::Clicked, highlighted());
      break;
    case End::Escape:
      edit.key = grid_key::kEscape;
      break;
    case End::Enter:
    case End::FocusLost:
      if (listShown_) {
        edit.entry = droppedEntry(how == End::Enter ? DropDownEnd::Enter : DropDownEnd::FocusLost,
                                  highlighted());
      } else {
        const int length = GetWindowTextLengthW(editorEdit_);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        text.resize(static_cast<std::size_t>(GetWindowTextW(editorEdit_, text.data(), length + 1)));
        edit.typed = narrow(text);
      }
      break;
  }
  pending_ = edit;
  if (how != End::FocusLost) SetFocus(list_);
  ShowWindow(editor_, SW_HIDE);
  // The behaviour redraws the list, which takes the editor away: it hears of the edit once
  // the editor's own messages are over.
  PostMessageW(list_, kEditDone, 0, 0);
}

void ListViewGrid::closeEditor() {
  if (editor_ == nullptr) return;
  HWND editor = editor_;
  editor_ = nullptr;
  if (IsWindow(editorEdit_)) {
    RemoveWindowSubclass(editorEdit_, &ListViewGrid::editProcedure, kSubclassId);
  }
  editorEdit_ = nullptr;
  if (IsWindow(editor)) DestroyWindow(editor);
}

void ListViewGrid::deliverPending() {
  closeEditor();
  if (!pending_) return;
  const CellEdit ended = *pending_;
  pending_.reset();
  runGuarded([&] {
    if (onCellEdited) onCellEdited(ended);
  });
}

void ListViewGrid::finishEdit() {
  if (editor_ != nullptr && !concluded_) conclude(End::FocusLost);
  if (pending_ || editor_ != nullptr) deliverPending();
}

LRESULT CALLBACK ListViewGrid::listProcedure(HWND hwnd, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                             DWORD_PTR self) {
  return reinterpret_cast<ListViewGrid*>(self)->listMessage(hwnd, message, w, l);
}

LRESULT CALLBACK ListViewGrid::editProcedure(HWND hwnd, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                             DWORD_PTR self) {
  return reinterpret_cast<ListViewGrid*>(self)->editMessage(hwnd, message, w, l);
}

LRESULT ListViewGrid::listMessage(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case kEditDone:
      deliverPending();
      return 0;
    case WM_COMMAND:
      if (editor_ != nullptr && reinterpret_cast<HWND>(l) == editor_) {
        switch (HIWORD(w)) {
          case CBN_DROPDOWN:
            listShown_ = true;
            break;
          case CBN_SELENDOK:
            // An entry clicked in the open list.
            if (GetKeyState(VK_LBUTTON) < 0 || GetKeyState(VK_RETURN) >= 0) conclude(End::Entry);
            break;
          case CBN_KILLFOCUS:
            conclude(End::FocusLost);
            break;
          default:
            break;
        }
        return 0;
      }
      break;
    case WM_CHAR:
      // A typed character starts a typed edit of the current row's editable cell.
      if (editor_ == nullptr && w >= 0x20 && currentRow() >= 0 && editableColumn() >= 0) {
        openEditor(currentRow(), editableColumn(), false);
        if (editorEdit_ != nullptr) SendMessageW(editorEdit_, WM_CHAR, w, l);
        return 0;
      }
      break;
    case WM_SYSKEYDOWN:
      if (w == VK_DOWN && editor_ == nullptr && currentRow() >= 0 && editableColumn() >= 0) {
        openEditor(currentRow(), editableColumn(), true);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      closeEditor();
      RemoveWindowSubclass(hwnd, &ListViewGrid::listProcedure, kSubclassId);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, w, l);
}

LRESULT ListViewGrid::editMessage(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_GETDLGCODE:
      // Enter and Escape end the edit here, not the dialog.
      return DefSubclassProc(hwnd, message, w, l) | DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
      if (w == VK_RETURN) {
        conclude(End::Enter);
        return 0;
      }
      if (w == VK_ESCAPE) {
        conclude(End::Escape);
        return 0;
      }
      break;
    case WM_CHAR:
      if (w == VK_RETURN || w == VK_ESCAPE) return 0;
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, w, l);
}

}  // namespace zandor::win32
