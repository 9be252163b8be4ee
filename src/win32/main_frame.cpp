#include "win32/main_frame.h"

#include <shellapi.h>

#include <algorithm>

#include "app/main_window.h"
#include "base/paths.h"
#include "resources/toolbar_images.h"
#include "state/app_state.h"
#include "ui/event_guard.h"
#include "win32/screen_metrics.h"
#include "win32/template_dialog.h"
#include "win32/win32_text.h"

namespace zandor::win32 {

namespace {

constexpr wchar_t kClassName[] = L"ZandorHauptfenster";
constexpr int kFirstCommandId = 1000;
constexpr UINT kRunDropped = WM_APP + 2;
constexpr int kToolBarId = 50;
constexpr int kStatusBarId = 51;

// The toolbar drawings side by side in one bitmap, each enlarged by whole pixels on a
// screen of at least twice 96 dpi, so they stay sharp.
HBITMAP toolbarStrip(const std::vector<std::string>& names, int scale) {
  const int size = kToolImageSize * scale;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size * static_cast<int>(names.size());
  info.bmiHeader.biHeight = -size;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return nullptr;
  auto* pixels = static_cast<std::uint32_t*>(bits);
  const int stride = info.bmiHeader.biWidth;
  for (std::size_t n = 0; n < names.size(); ++n) {
    const ToolbarImage image = toolbarImage(names[n]);
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const Rgb c = image.at(x / scale, y / scale);
        pixels[y * stride + static_cast<int>(n) * size + x] =
            (static_cast<std::uint32_t>(c.r) << 16) | (static_cast<std::uint32_t>(c.g) << 8) | c.b;
      }
    }
  }
  return bitmap;
}

}  // namespace

MainFrame::MainFrame(AppState& state, ProgramCommands& commands) : commands_(commands) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &MainFrame::procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // The flat toolbar shows the window behind it: its drawings need the face colour there.
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  if (windowClass.hIcon == nullptr) windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hIconSm = windowClass.hIcon;
  RegisterClassExW(&windowClass);
  const std::wstring title = wide(mainWindowTitle(state));
  CreateWindowExW(WS_EX_ACCEPTFILES, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
}

MainFrame::~MainFrame() {
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  if (images_ != nullptr) ImageList_Destroy(images_);
}

void MainFrame::show() {
  ShowWindow(hwnd_, SW_SHOWDEFAULT);
  UpdateWindow(hwnd_);
}

bool MainFrame::commandOf(int id, Command& command) const {
  const int index = id - kFirstCommandId;
  if (index < 0 || index >= static_cast<int>(commandIds_.size())) return false;
  command = commandIds_[static_cast<std::size_t>(index)];
  return true;
}

LRESULT CALLBACK MainFrame::procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<MainFrame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<MainFrame*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  }
  if (self == nullptr || self->hwnd_ == nullptr) return DefWindowProcW(hwnd, message, w, l);
  return self->handle(message, w, l);
}

void MainFrame::buildMenus() {
  HMENU bar = CreateMenu();
  for (const Menu& menu : BUILDMENU()) {
    HMENU popup = CreatePopupMenu();
    for (const MenuItem& item : menu.items) {
      commandIds_.push_back(item.command);
      toolTips_.emplace_back();
      AppendMenuW(popup, MF_STRING, kFirstCommandId + commandIds_.size() - 1,
                  wide(item.caption).c_str());
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), wide(menu.caption).c_str());
  }
  SetMenu(hwnd_, bar);
}

void MainFrame::buildToolBar() {
  const int dpi = screenDpi();
  const int scale = std::max(1, dpi / 96);
  toolBar_ =
      CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                      WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0, 0, 0,
                      hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kToolBarId)),
                      GetModuleHandleW(nullptr), nullptr);
  SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(toolBar_, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
  const int imageSize = kToolImageSize * scale;
  images_ = ImageList_Create(imageSize, imageSize, ILC_COLOR24 | ILC_MASK, 4, 0);
  if (HBITMAP strip = toolbarStrip(toolbarImageNames(), scale)) {
    ImageList_AddMasked(images_, strip, RGB(kTransparent.r, kTransparent.g, kTransparent.b));
    DeleteObject(strip);
  }
  SendMessageW(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
  SendMessageW(toolBar_, TB_SETMAXTEXTROWS, 2, 0);
  if (HWND tips = reinterpret_cast<HWND>(SendMessageW(toolBar_, TB_GETTOOLTIPS, 0, 0))) {
    SetWindowLongPtrW(tips, GWL_STYLE, GetWindowLongPtrW(tips, GWL_STYLE) | TTS_BALLOON);
  }
  const std::vector<std::string>& imageNames = toolbarImageNames();
  std::vector<std::wstring> captions;
  captions.reserve(toolbarButtons().size());
  std::vector<TBBUTTON> buttons;
  for (const ToolButton& b : toolbarButtons()) {
    TBBUTTON button{};
    if (b.kind == ToolKind::Separator) {
      button.fsStyle = BTNS_SEP;
      buttons.push_back(button);
      continue;
    }
    commandIds_.push_back(b.command);
    toolTips_.push_back(wide(b.tooltip));
    captions.push_back(wide(b.caption));
    const auto image = std::find(imageNames.begin(), imageNames.end(), b.image);
    button.iBitmap =
        image == imageNames.end() ? I_IMAGENONE : static_cast<int>(image - imageNames.begin());
    button.idCommand = kFirstCommandId + static_cast<int>(commandIds_.size()) - 1;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle =
        static_cast<BYTE>(b.kind == ToolKind::DropDownButton ? BTNS_DROPDOWN : BTNS_BUTTON);
    button.iString = reinterpret_cast<INT_PTR>(captions.back().c_str());
    buttons.push_back(button);
  }
  SendMessageW(toolBar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
  // A caption wider than the button widens it rather than being cut.
  const int buttonSize = MulDiv(kToolButtonSize, dpi, 96);
  int width = buttonSize;
  for (const std::wstring& caption : captions) {
    width = std::max(width, textWidth(toolBar_, caption) + MulDiv(12, dpi, 96));
  }
  SendMessageW(toolBar_, TB_SETBUTTONWIDTH, 0, MAKELPARAM(width, width));
  SendMessageW(toolBar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(width, buttonSize));
  SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
}

void MainFrame::run(Command command) {
  if (commands_.command(command) == Afterwards::CloseWindow) SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void MainFrame::dropDown(const NMTOOLBARW& info) {
  RECT button{};
  SendMessageW(toolBar_, TB_GETRECT, static_cast<WPARAM>(info.iItem),
               reinterpret_cast<LPARAM>(&button));
  MapWindowPoints(toolBar_, nullptr, reinterpret_cast<POINT*>(&button), 2);
  // Built afresh each time it opens.
  HMENU popup = CreatePopupMenu();
  const std::vector<MenuItem> items = BUILDPOPUP();
  for (std::size_t i = 0; i < items.size(); ++i) {
    AppendMenuW(popup, MF_STRING, i + 1, wide(items[i].caption).c_str());
  }
  const int chosen = static_cast<int>(
      TrackPopupMenuEx(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_LEFTBUTTON,
                       button.left, button.bottom, hwnd_, nullptr));
  DestroyMenu(popup);
  if (chosen > 0 && chosen <= static_cast<int>(items.size())) {
    run(items[static_cast<std::size_t>(chosen - 1)].command);
  }
}

void MainFrame::dropped(HDROP drop) {
  std::wstring path;
  if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    path.resize(length + 1);
    DragQueryFileW(drop, 0, path.data(), length + 1);
    path.resize(length);
  }
  DragFinish(drop);
  // A name Windows-1252 cannot spell names no file inside the program.
  if (path.empty() || !unusableNameMessage(utf8Of(path), ChosenKind::File).empty()) return;
  const std::string file = narrow(path);
  if (!commands_.takesDroppedFile(file)) return;
  droppedFile_ = file;
  // The dialog runs after the drop has ended, not inside the message that reported it.
  PostMessageW(hwnd_, kRunDropped, 0, 0);
}

LRESULT MainFrame::notify(const NMHDR& header) {
  switch (header.code) {
    case TBN_DROPDOWN:
      dropDown(reinterpret_cast<const NMTOOLBARW&>(header));
      return TBDDRET_DEFAULT;
    case TBN_GETINFOTIPW: {
      auto& tip = const_cast<NMTBGETINFOTIPW&>(reinterpret_cast<const NMTBGETINFOTIPW&>(header));
      const int index = tip.iItem - kFirstCommandId;
      if (index < 0 || index >= static_cast<int>(toolTips_.size()) || tip.cchTextMax <= 0) break;
      const std::wstring& text = toolTips_[static_cast<std::size_t>(index)];
      const std::size_t n =
          std::min<std::size_t>(text.size(), static_cast<std::size_t>(tip.cchTextMax - 1));
      std::copy_n(text.begin(), n, tip.pszText);
      tip.pszText[n] = L'\0';
      return 0;
    }
    default:
      break;
  }
  return 0;
}

LRESULT MainFrame::handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_CREATE: {
      buildMenus();
      buildToolBar();
      const std::wstring status = wide(statusBarText());
      statusBar_ = CreateWindowExW(0, STATUSCLASSNAMEW, status.c_str(),
                                   WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)),
                                   GetModuleHandleW(nullptr), nullptr);
      DragAcceptFiles(hwnd_, TRUE);
      return 0;
    }
    case WM_SIZE:
      if (toolBar_ != nullptr) SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
      if (statusBar_ != nullptr) SendMessageW(statusBar_, WM_SIZE, 0, 0);
      return 0;
    case WM_COMMAND: {
      Command command{};
      if (HIWORD(w) <= 1 && commandOf(LOWORD(w), command)) run(command);
      return 0;
    }
    case WM_NOTIFY:
      return notify(*reinterpret_cast<const NMHDR*>(l));
    case WM_DROPFILES:
      dropped(reinterpret_cast<HDROP>(w));
      return 0;
    case kRunDropped: {
      const std::string file = std::move(droppedFile_);
      droppedFile_.clear();
      if (!file.empty()) commands_.fileDropped(file);
      return 0;
    }
    case WM_CLOSE:
      // Not while a modal dialog of the program is open; otherwise the close check decides.
      if (modalRunning()) return 0;
      if (commands_.mayClose()) DestroyWindow(hwnd_);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (w != FALSE) commands_.mayClose();
      return 0;
    case WM_DESTROY:
      hwnd_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, w, l);
}

}  // namespace zandor::win32
