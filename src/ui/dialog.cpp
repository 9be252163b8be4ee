#include "ui/dialog.h"

#include <stdexcept>

namespace zandor {

std::string InputRule::apply(const std::string& typed) const {
  std::string out;
  for (char c : typed) {
    if (positions > 0 && static_cast<int>(out.size()) >= positions) break;
    if (digitsOnly && (c < '0' || c > '9')) continue;
    out += c;
  }
  return out;
}

bool Dialog::requestClose(CloseReason reason) {
  if (onCloseRequest && !onCloseRequest(reason)) return false;
  end(0);
  return true;
}

std::optional<int> droppedEntry(DropDownEnd how, int highlighted) {
  switch (how) {
    case DropDownEnd::Clicked:
    case DropDownEnd::Enter:
      if (highlighted >= 0) return highlighted;
      return std::nullopt;
    case DropDownEnd::FocusLost:
      return highlighted >= 0 ? highlighted : 0;
    case DropDownEnd::Escape:
      break;
  }
  return std::nullopt;
}

Control& OCTRL(Dialog& dialog, int id) {
  Control* control = dialog.control(id);
  if (control == nullptr) throw std::logic_error("dialog has no control " + std::to_string(id));
  return *control;
}

}  // namespace zandor
