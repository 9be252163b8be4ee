#include "win32/template_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "ui/event_guard.h"
#include "win32/dialog_builder.h"
#include "win32/list_view_grid.h"
#include "win32/screen_metrics.h"
#include "win32/win32_text.h"

namespace zandor::win32 {

namespace {

HWND gMainWindow = nullptr;
std::vector<HWND>& modalStack() {
  static std::vector<HWND> stack;
  return stack;
}

std::wstring windowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

std::wstring comboItem(HWND combo, int index, bool listBox) {
  const UINT lengthMessage = listBox ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
  const UINT textMessage = listBox ? LB_GETTEXT : CB_GETLBTEXT;
  const LRESULT length = SendMessageW(combo, lengthMessage, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(combo, textMessage, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

// A control of a template dialog, reached through its dialog each time: a window its owner
// took along is simply no longer there.
class DialogControl : public Control {
 public:
  DialogControl(TemplateDialog& dialog, const ControlTemplate& tmpl, HWND hwnd)
      : dialog_(dialog), tmpl_(tmpl), hwnd_(hwnd) {}

  int id() const override { return tmpl_.id; }

  std::string text() const override {
    HWND h = handle();
    if (h == nullptr) return {};
    if (tmpl_.kind == ControlKind::DropDownList) {
      const int index = selection();
      return index < 0 ? std::string() : narrow(comboItem(h, index, false));
    }
    return narrow(windowText(h));
  }

  void setText(const std::string& text) override {
    HWND h = handle();
    if (h == nullptr) return;
    if (tmpl_.kind == ControlKind::DropDownList) {
      prompt_ = wide(text);
      InvalidateRect(h, nullptr, TRUE);
      return;
    }
    const std::wstring w = wide(text);
    // A stored value longer than the field's positions is shown whole.
    if (tmpl_.kind == ControlKind::Edit && rule_.positions > 0) {
      SendMessageW(h, EM_SETLIMITTEXT, std::max<std::size_t>(rule_.positions, w.size()), 0);
    }
    const bool before = dialog_.settingText();
    dialog_.setSettingText(true);
    SetWindowTextW(h, w.c_str());
    dialog_.setSettingText(before);
  }

  bool checked() const override {
    HWND h = handle();
    return h != nullptr && SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void setChecked(bool on) override {
    if (HWND h = handle()) SendMessageW(h, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  }

  std::vector<std::string> items() const override {
    std::vector<std::string> out;
    HWND h = handle();
    if (h == nullptr || !isList()) return out;
    const bool listBox = tmpl_.kind == ControlKind::ListBox;
    const LRESULT count = SendMessageW(h, listBox ? LB_GETCOUNT : CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) out.push_back(narrow(comboItem(h, i, listBox)));
    return out;
  }

  void setItems(const std::vector<std::string>& items) override {
    HWND h = handle();
    if (h == nullptr || !isList()) return;
    const bool listBox = tmpl_.kind == ControlKind::ListBox;
    SendMessageW(h, listBox ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
    int widest = 0;
    for (const std::string& item : items) {
      const std::wstring w = wide(item);
      SendMessageW(h, listBox ? LB_ADDSTRING : CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(w.c_str()));
      widest = std::max(widest, textWidth(h, w));
    }
    if (listBox) {
      SendMessageW(h, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
    } else {
      // The open list shows whole paths, even where the closed box shortens them.
      const int scrollBar = GetSystemMetrics(SM_CXVSCROLL);
      SendMessageW(h, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + scrollBar + 8), 0);
      SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }
  }

  int selection() const override {
    HWND h = handle();
    if (h == nullptr || !isList()) return -1;
    const LRESULT index =
        SendMessageW(h, tmpl_.kind == ControlKind::ListBox ? LB_GETCURSEL : CB_GETCURSEL, 0, 0);
    return index < 0 ? -1 : static_cast<int>(index);
  }
  void setSelection(int index) override {
    HWND h = handle();
    if (h == nullptr || !isList()) return;
    SendMessageW(h, tmpl_.kind == ControlKind::ListBox ? LB_SETCURSEL : CB_SETCURSEL,
                 static_cast<WPARAM>(index), 0);
  }

  bool visible() const override {
    HWND h = handle();
    return h != nullptr && (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0;
  }
  void setVisible(bool on) override {
    if (HWND h = handle()) ShowWindow(h, on ? SW_SHOWNA : SW_HIDE);
  }
  bool enabled() const override {
    HWND h = handle();
    return h != nullptr && IsWindowEnabled(h);
  }
  void setEnabled(bool on) override {
    if (HWND h = handle()) EnableWindow(h, on ? TRUE : FALSE);
  }
  void setFocus() override {
    if (HWND h = handle()) dialog_.focusWhenShown(h);
  }

  void setInputRule(const InputRule& rule) override {
    rule_ = rule;
    HWND h = handle();
    if (h == nullptr || tmpl_.kind != ControlKind::Edit) return;
    if (rule.positions > 0) {
      const int length = GetWindowTextLengthW(h);
      SendMessageW(h, EM_SETLIMITTEXT, static_cast<WPARAM>(std::max(rule.positions, length)), 0);
    }
    LONG style = GetWindowLongW(h, GWL_STYLE);
    style = rule.digitsOnly ? (style | ES_NUMBER) : (style & ~ES_NUMBER);
    SetWindowLongW(h, GWL_STYLE, style);
  }

  // The user changed the text: pasted letters go from a field of digits. The length is
  // the edit control's own limit, which lets a longer stored value stay whole.
  void userEdited() {
    HWND h = handle();
    if (h == nullptr || !rule_.digitsOnly) return;
    const std::string typed = narrow(windowText(h));
    const std::string kept = InputRule{0, true}.apply(typed);
    if (kept == typed) return;
    dialog_.setSettingText(true);
    SetWindowTextW(h, wide(kept).c_str());
    dialog_.setSettingText(false);
    SendMessageW(h, EM_SETSEL, kept.size(), static_cast<LPARAM>(kept.size()));
  }

  int progress() const override {
    HWND h = handle();
    return h != nullptr && tmpl_.kind == ControlKind::ProgressBar
               ? static_cast<int>(SendMessageW(h, PBM_GETPOS, 0, 0))
               : 0;
  }
  void setProgress(int permille) override {
    HWND h = handle();
    if (h == nullptr || tmpl_.kind != ControlKind::ProgressBar) return;
    SendMessageW(h, PBM_SETPOS, static_cast<WPARAM>(std::clamp(permille, 0, 1000)), 0);
  }

  void place(int x, int y, int width, int height) override {
    HWND h = handle();
    if (h == nullptr) return;
    if (tmpl_.kind == ControlKind::DropDownList) height += kDropDownOpenHeight;
    const RECT r = dialog_.toPixels({x, y, width, height});
    MoveWindow(h, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  }

  const std::wstring& prompt() const { return prompt_; }

 private:
  HWND handle() const { return dialog_.window() != nullptr && IsWindow(hwnd_) ? hwnd_ : nullptr; }
  bool isList() const {
    return tmpl_.kind == ControlKind::DropDownList || tmpl_.kind == ControlKind::ListBox;
  }

  TemplateDialog& dialog_;
  const ControlTemplate& tmpl_;
  HWND hwnd_;
  InputRule rule_;
  std::wstring prompt_;
};

}  // namespace

HWND ownerWindow() {
  if (!modalStack().empty()) return modalStack().back();
  return gMainWindow != nullptr && IsWindow(gMainWindow) ? gMainWindow : nullptr;
}

void setMainWindow(HWND window) {
  gMainWindow = window;
}

bool modalRunning() {
  return !modalStack().empty();
}

void pumpPaint() {
  MSG msg;
  // Sent messages are handled inside PeekMessage; posted and input messages stay queued.
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    DispatchMessageW(&msg);
  }
}

TemplateDialog::TemplateDialog(const DialogTemplate& tmpl, HWND owner) : tmpl_(tmpl) {
  const std::vector<std::uint8_t> bytes = buildDialogTemplate(tmpl);
  hwnd_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                     reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), owner,
                                     &TemplateDialog::procedure, reinterpret_cast<LPARAM>(this));
}

TemplateDialog::~TemplateDialog() {
  if (hwnd_ != nullptr) {
    HWND hwnd = hwnd_;
    hwnd_ = nullptr;
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    DestroyWindow(hwnd);
  }
}

INT_PTR CALLBACK TemplateDialog::procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<TemplateDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<TemplateDialog*>(l);
    SetWindowLongPtrW(hwnd, DWLP_USER, l);
    self->hwnd_ = hwnd;
  }
  if (message == WM_MEASUREITEM) {
    // Before WM_INITDIALOG: a drop-down list's entries are as high as a line of the font.
    auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(l);
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    item->itemHeight = static_cast<UINT>(metrics.tmHeight + 2);
    return TRUE;
  }
  if (self == nullptr) return FALSE;
  return self->handle(message, w, l);
}

void TemplateDialog::initialize() {
  for (HWND child = GetWindow(hwnd_, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children_.push_back(child);
  }
  for (std::size_t i = 0; i < tmpl_.controls.size() && i < children_.size(); ++i) {
    const ControlTemplate& c = tmpl_.controls[i];
    HWND child = children_[i];
    if (c.kind == ControlKind::ProgressBar) SendMessageW(child, PBM_SETRANGE32, 0, 1000);
    if (c.kind == ControlKind::Picture) {
      SendMessageW(child, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_ERROR)), 0);
    }
    if (c.id == kNoId) continue;
    if (c.kind == ControlKind::GridList && !grids_.count(c.id)) {
      grids_[c.id] = std::make_unique<ListViewGrid>(child);
    }
    if (c.kind == ControlKind::PushButton && c.has(ctl::kDefaultButton) &&
        (GetWindowLongW(child, GWL_STYLE) & BS_DEFPUSHBUTTON) != 0) {
      SendMessageW(hwnd_, DM_SETDEFID, static_cast<WPARAM>(c.id), 0);
    }
    if (!controls_.count(c.id)) controls_[c.id] = std::make_unique<DialogControl>(*this, c, child);
  }
  if (tmpl_.has(dlg::kPixels)) placeInPixels();
}

RECT TemplateDialog::toPixels(const Rect& r) const {
  RECT out{r.x, r.y, r.right(), r.bottom()};
  if (tmpl_.has(dlg::kPixels)) {
    const int dpi = screenDpi();
    out = {MulDiv(r.x, dpi, 96), MulDiv(r.y, dpi, 96), MulDiv(r.right(), dpi, 96),
           MulDiv(r.bottom(), dpi, 96)};
  } else if (hwnd_ != nullptr) {
    MapDialogRect(hwnd_, &out);
  }
  return out;
}

void TemplateDialog::placeInPixels() {
  for (std::size_t i = 0; i < tmpl_.controls.size() && i < children_.size(); ++i) {
    const RECT r = toPixels(tmpl_.controls[i].rect);
    MoveWindow(children_[i], r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
  }
  RECT frame = toPixels({0, 0, tmpl_.width, tmpl_.height});
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void TemplateDialog::focusWhenShown(HWND control) {
  if (hwnd_ != nullptr && IsWindowVisible(hwnd_)) {
    SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  } else {
    pendingFocus_ = control;
  }
}

void TemplateDialog::reportSize() {
  if (!onResized || !tmpl_.has(dlg::kResizable) || hwnd_ == nullptr) return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  RECT unit{0, 0, 4, 8};
  MapDialogRect(hwnd_, &unit);
  const int baseX = std::max<int>(1, unit.right);
  const int baseY = std::max<int>(1, unit.bottom);
  runGuarded([&] {
    onResized((client.right * 4 + baseX / 2) / baseX, (client.bottom * 8 + baseY / 2) / baseY);
  });
}

bool TemplateDialog::drawItem(const DRAWITEMSTRUCT& item) {
  const auto it = controls_.find(static_cast<int>(item.CtlID));
  if (it == controls_.end()) return false;
  auto* control = static_cast<DialogControl*>(it->second.get());
  const bool prompt = item.itemID == static_cast<UINT>(-1);
  // The prompt shown while nothing is chosen stays grey on white, also with the focus.
  const bool selected = (item.itemState & ODS_SELECTED) != 0 && !prompt;
  const bool inBox = (item.itemState & ODS_COMBOBOXEDIT) != 0;
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  std::wstring text;
  COLORREF colour = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
  if (prompt) {
    text = control->prompt();
    colour = GetSysColor(COLOR_GRAYTEXT);
  } else {
    text = comboItem(item.hwndItem, static_cast<int>(item.itemID), false);
  }
  if ((item.itemState & ODS_DISABLED) != 0) colour = GetSysColor(COLOR_GRAYTEXT);
  SetTextColor(item.hDC, colour);
  SetBkMode(item.hDC, TRANSPARENT);
  RECT r = item.rcItem;
  r.left += 2;
  // The closed box keeps the file name of a long path in view; the open list shows all.
  const UINT ellipsis = inBox ? DT_PATH_ELLIPSIS : DT_END_ELLIPSIS;
  DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &r,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | ellipsis);
  if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    DrawFocusRect(item.hDC, &item.rcItem);
  }
  return true;
}

void TemplateDialog::command(int id, int code, HWND from) {
  if (from == nullptr) return;  // menus and accelerators: none here
  if (id == IDCANCEL && code == BN_CLICKED) {
    runGuarded([&] { requestClose(CloseReason::Escape); });
    return;
  }
  if (id == IDOK) return;  // Enter without a default button
  const auto it = controls_.find(id);
  if (it == controls_.end()) return;
  const ControlKind kind = tmpl_.control(id)->kind;
  switch (code) {
    case BN_CLICKED:
      if (kind == ControlKind::PushButton || kind == ControlKind::CheckBox ||
          kind == ControlKind::RadioButton) {
        runGuarded([&] {
          if (onClicked) onClicked(id);
        });
      }
      break;
    case EN_CHANGE:
      if (kind != ControlKind::Edit || settingText_) break;
      static_cast<DialogControl*>(it->second.get())->userEdited();
      runGuarded([&] {
        if (onChanged) onChanged(id);
      });
      break;
    case CBN_SELCHANGE:
      if (kind != ControlKind::DropDownList) break;
      runGuarded([&] {
        if (onChanged) onChanged(id);
      });
      break;
    default:
      break;
  }
}

INT_PTR TemplateDialog::handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_INITDIALOG:
      initialize();
      return TRUE;
    case WM_COMMAND:
      command(LOWORD(w), HIWORD(w), reinterpret_cast<HWND>(l));
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(l);
      if (ListViewGrid* g = grid(static_cast<int>(header->idFrom))) {
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, g->notify(*header));
        return TRUE;
      }
      return FALSE;
    }
    case WM_DRAWITEM:
      return drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(l)) ? TRUE : FALSE;
    case WM_CLOSE:
      runGuarded([&] { requestClose(CloseReason::CloseBox); });
      return TRUE;
    case WM_SIZE:
      if (w != SIZE_MINIMIZED) reportSize();
      return FALSE;
    case WM_GETMINMAXINFO: {
      if (!tmpl_.has(dlg::kResizable) || hwnd_ == nullptr) return FALSE;
      RECT least = toPixels({0, 0, tmpl_.minWidth > 0 ? tmpl_.minWidth : tmpl_.width,
                             tmpl_.minHeight > 0 ? tmpl_.minHeight : tmpl_.height});
      AdjustWindowRectEx(&least, static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_EXSTYLE)));
      auto* info = reinterpret_cast<MINMAXINFO*>(l);
      info->ptMinTrackSize = {least.right - least.left, least.bottom - least.top};
      return TRUE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      if (tmpl_.has(dlg::kBlackOnWhite)) {
        auto dc = reinterpret_cast<HDC>(w);
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
      }
      return FALSE;
    case WM_DESTROY:
      // Its owner took it along.
      hwnd_ = nullptr;
      ended_ = true;
      return FALSE;
    default:
      return FALSE;
  }
}

Control* TemplateDialog::control(int id) {
  if (hwnd_ == nullptr) return nullptr;
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second.get();
}

GridList* TemplateDialog::gridList(int id) {
  if (hwnd_ == nullptr) return nullptr;
  return grid(id);
}

ListViewGrid* TemplateDialog::grid(int id) const {
  const auto it = grids_.find(id);
  return it == grids_.end() ? nullptr : it->second.get();
}

HWND TemplateDialog::childAt(std::size_t index) const {
  return index < children_.size() ? children_[index] : nullptr;
}

void TemplateDialog::setTitle(const std::string& title) {
  if (hwnd_ != nullptr) SetWindowTextW(hwnd_, wide(title).c_str());
}

int TemplateDialog::runModal() {
  if (hwnd_ == nullptr) return 0;
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  const bool ownerEnabled = owner != nullptr && IsWindowEnabled(owner);
  if (ownerEnabled) EnableWindow(owner, FALSE);
  modal_ = true;
  ended_ = false;
  result_ = 0;
  HWND self = hwnd_;
  modalStack().push_back(self);
  reportSize();
  shown_ = true;
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  // The control the behaviour chose, else the first one Tab reaches.
  HWND focus = pendingFocus_ != nullptr ? pendingFocus_ : GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  pendingFocus_ = nullptr;
  if (focus != nullptr) SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
  MSG msg;
  while (!ended_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // A quit asked for elsewhere ends every loop, the outer ones too.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  modalStack().erase(std::remove(modalStack().begin(), modalStack().end(), self),
                     modalStack().end());
  // The owner is enabled before the dialog hides, so that it, not another program, becomes
  // the active window.
  if (ownerEnabled) EnableWindow(owner, TRUE);
  if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
  shown_ = false;
  modal_ = false;
  rethrowPendingQuit();
  return result_;
}

void TemplateDialog::showModeless() {
  if (hwnd_ == nullptr) return;
  ended_ = false;
  reportSize();
  shown_ = true;
  ShowWindow(hwnd_, SW_SHOWNA);
}

void TemplateDialog::end(int result) {
  if (hwnd_ == nullptr) return;
  result_ = result;
  ended_ = true;
  if (modal_) {
    PostMessageW(hwnd_, WM_NULL, 0, 0);  // wakes the loop
  } else {
    ShowWindow(hwnd_, SW_HIDE);
    shown_ = false;
  }
}

void TemplateDialog::refresh() {
  if (hwnd_ == nullptr || !shown_) return;
  // Texts and the bar invalidate what they changed; only that is painted, now.
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  pumpPaint();
  GdiFlush();
}

bool TemplateDialog::shown() const {
  // Kept here rather than asked of the window: a run asks once per row, and Wine answers
  // IsWindowVisible through its server.
  return hwnd_ != nullptr && shown_;
}

}  // namespace zandor::win32
