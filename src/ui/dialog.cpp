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

Control& OCTRL(Dialog& dialog, int id) {
  Control* control = dialog.control(id);
  if (control == nullptr) throw std::logic_error("dialog has no control " + std::to_string(id));
  return *control;
}

}  // namespace zandor
