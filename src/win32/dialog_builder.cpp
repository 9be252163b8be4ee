#include "win32/dialog_builder.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <string>

#include "win32/win32_text.h"

namespace zandor::win32 {

namespace {

class Writer {
 public:
  void word(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void dword(std::uint32_t v) {
    word(static_cast<std::uint16_t>(v & 0xFFFF));
    word(static_cast<std::uint16_t>(v >> 16));
  }
  void shortValue(int v) { word(static_cast<std::uint16_t>(static_cast<std::int16_t>(v))); }
  void text(const std::wstring& s) {
    for (wchar_t c : s) word(static_cast<std::uint16_t>(c));
    word(0);
  }
  void alignDword() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  std::vector<std::uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

unsigned long dialogStyle(const DialogTemplate& t) {
  unsigned long style = WS_POPUP | DS_SETFONT | WS_CLIPCHILDREN;
  if (t.has(dlg::kCaption)) style |= WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  if (t.has(dlg::kResizable)) style |= WS_THICKFRAME;
  if (t.has(dlg::kMaximizeBox)) style |= WS_MAXIMIZEBOX;
  if (t.has(dlg::kThinBorder)) style |= WS_BORDER;
  if (t.has(dlg::kCentered)) style |= DS_CENTER;
  return style;
}

}  // namespace

NativeControl nativeControl(const ControlTemplate& c, bool firstDefaultButton) {
  constexpr unsigned long kChild = WS_CHILD | WS_VISIBLE;
  switch (c.kind) {
    case ControlKind::Label: {
      unsigned long style = kChild | WS_GROUP;
      style |=
          c.has(ctl::kCentered) ? SS_CENTER : (c.has(ctl::kWraps) ? SS_LEFT : SS_LEFTNOWORDWRAP);
      // A label with an id shows data, where "&" is no accelerator.
      if (c.id != kNoId) style |= SS_NOPREFIX;
      return {L"STATIC", style, 0};
    }
    case ControlKind::Edit:
      return {L"EDIT", kChild | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE};
    case ControlKind::PushButton:
      return {L"BUTTON",
              kChild | WS_TABSTOP | WS_GROUP |
                  static_cast<unsigned long>(firstDefaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
              0};
    case ControlKind::CheckBox:
      return {L"BUTTON", kChild | WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, 0};
    case ControlKind::RadioButton:
      return {L"BUTTON",
              kChild | BS_AUTORADIOBUTTON |
                  (c.has(ctl::kGroup) ? static_cast<unsigned long>(WS_GROUP | WS_TABSTOP) : 0ul),
              0};
    case ControlKind::DropDownList:
      // Drawn by the dialog: a long path keeps its file name in view (DT_PATH_ELLIPSIS).
      return {L"COMBOBOX",
              kChild | WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED |
                  CBS_HASSTRINGS,
              0};
    case ControlKind::ListBox:
      return {L"LISTBOX",
              kChild | WS_TABSTOP | WS_GROUP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY |
                  LBS_NOINTEGRALHEIGHT,
              WS_EX_CLIENTEDGE};
    case ControlKind::GridList:
      return {WC_LISTVIEWW,
              kChild | WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                  LVS_OWNERDATA,
              WS_EX_CLIENTEDGE};
    case ControlKind::Picture:
      return {L"STATIC", kChild | SS_ICON | SS_REALSIZEIMAGE, 0};
    case ControlKind::ProgressBar:
      return {PROGRESS_CLASSW, kChild, 0};
  }
  return {L"STATIC", kChild, 0};
}

std::vector<std::uint8_t> buildDialogTemplate(const DialogTemplate& t) {
  Writer w;
  w.word(1);       // dlgVer
  w.word(0xFFFF);  // signature: the extended template
  w.dword(0);      // helpID
  w.dword(t.has(dlg::kModeless) ? WS_EX_TOOLWINDOW : WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
  w.dword(dialogStyle(t));
  w.word(static_cast<std::uint16_t>(t.controls.size()));
  // Without the centred style a dialog opens at its owner's client origin.
  w.shortValue(0);
  w.shortValue(0);
  w.shortValue(t.width);
  w.shortValue(t.height);
  w.word(0);  // no menu
  w.word(0);  // the standard dialog class
  w.text(wide(t.title));
  w.word(static_cast<std::uint16_t>(t.fontPoints));
  w.word(FW_NORMAL);
  w.word(0);  // not italic, default character set
  w.text(wide(t.fontName));

  bool defaultTaken = false;
  for (const ControlTemplate& c : t.controls) {
    w.alignDword();
    const bool firstDefault =
        c.kind == ControlKind::PushButton && c.has(ctl::kDefaultButton) && !defaultTaken;
    defaultTaken = defaultTaken || firstDefault;
    const NativeControl native = nativeControl(c, firstDefault);
    int height = c.rect.height;
    if (c.kind == ControlKind::DropDownList) height += kDropDownOpenHeight;
    w.dword(0);  // helpID
    w.dword(native.exStyle);
    w.dword(native.style);
    w.shortValue(c.rect.x);
    w.shortValue(c.rect.y);
    w.shortValue(c.rect.width);
    w.shortValue(height);
    w.dword(c.id == kNoId ? static_cast<std::uint32_t>(-1) : static_cast<std::uint32_t>(c.id));
    w.text(native.windowClass);
    const bool captioned = c.kind == ControlKind::Label || c.kind == ControlKind::PushButton ||
                           c.kind == ControlKind::CheckBox || c.kind == ControlKind::RadioButton;
    w.text(captioned ? wide(c.caption) : std::wstring());
    w.word(0);  // no creation data
  }
  return w.take();
}

}  // namespace zandor::win32
