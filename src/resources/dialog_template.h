#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zandor {

// A dialog described once, as data; every backend builds its windows from these. Texts are
// Windows-1252 bytes. Positions and sizes are dialog units unless the dialog says pixels.

enum class ControlKind {
  Label,
  Edit,
  PushButton,
  CheckBox,
  RadioButton,
  // A drop-down list without typing. Its rectangle is the closed box; a toolkit whose
  // control counts the open list in its height (Win32) adds kDropDownOpenHeight.
  DropDownList,
  ListBox,
  GridList,
  Picture,      // a bitmap named by the caption
  ProgressBar,  // how far a long task got; no text
};

// Control style bits.
namespace ctl {
constexpr unsigned kDefaultButton = 1u << 0;
constexpr unsigned kWraps = 1u << 1;     // label text wraps onto further lines
constexpr unsigned kCentered = 1u << 2;  // text centred in the control
constexpr unsigned kGroup = 1u << 3;     // first radio button of a group
}  // namespace ctl

// Dialog style bits.
namespace dlg {
constexpr unsigned kModeless = 1u << 0;
constexpr unsigned kCaption = 1u << 1;  // a title bar with a close box
constexpr unsigned kResizable = 1u << 2;
constexpr unsigned kMaximizeBox = 1u << 3;
constexpr unsigned kCentered = 1u << 4;
constexpr unsigned kThinBorder = 1u << 5;
constexpr unsigned kBlackOnWhite = 1u << 6;
constexpr unsigned kPixels = 1u << 7;  // rectangles in pixels, not dialog units
}  // namespace dlg

constexpr int kNoId = -1;

// Dialog units of the open list below a drop-down list: eight or nine entries.
constexpr int kDropDownOpenHeight = 96;

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  int right() const { return x + width; }
  int bottom() const { return y + height; }
  bool intersects(const Rect& other) const {
    return x < other.right() && other.x < right() && y < other.bottom() && other.y < bottom();
  }
};

struct ControlTemplate {
  int id = kNoId;
  ControlKind kind = ControlKind::Label;
  Rect rect;
  std::string caption;
  unsigned style = 0;

  bool has(unsigned bit) const { return (style & bit) != 0; }
};

struct DialogTemplate {
  std::string name;
  std::string title;
  int width = 0;
  int height = 0;
  std::string fontName = "MS Sans Serif";
  int fontPoints = 8;
  unsigned style = 0;
  std::vector<ControlTemplate> controls;
  // The smallest size a resizable dialog may be made (in its units), so that the controls
  // it moves with its edges stay whole and apart; 0 keeps the template's own size.
  int minWidth = 0;
  int minHeight = 0;

  bool has(unsigned bit) const { return (style & bit) != 0; }
  // The first control with the id, or nullptr.
  const ControlTemplate* control(int id) const;
};

// Every template of the program, and one by name (nullptr when there is none).
const std::vector<DialogTemplate>& dialogTemplates();
const DialogTemplate* findDialogTemplate(std::string_view name);

// Template names.
namespace tpl {
constexpr const char* kPreferences = "VOREINST";
constexpr const char* kWaitMessage = "WAIT_MSG";
constexpr const char* kErrorDialog = "ERRORDIALOG";
constexpr const char* kFileChoice = "DATEIWAHL";
constexpr const char* kImportOptions = "EINLESEOPTION";
constexpr const char* kMapping = "ZUORDNUNG";
}  // namespace tpl

}  // namespace zandor
