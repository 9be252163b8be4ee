#pragma once

#include <cstdint>
#include <vector>

#include "resources/dialog_template.h"

namespace zandor::win32 {

// A template as the DLGTEMPLATEEX that CreateDialogIndirectParamW takes: Windows itself
// then turns dialog units into pixels from the template's font and runs the keyboard
// (Tab order as the controls stand, "&" accelerators, Enter on the default button,
// Escape). The dialog is built hidden; a template in pixels gets its rectangles as they
// stand and is put right once it exists (placeInPixels).
std::vector<std::uint8_t> buildDialogTemplate(const DialogTemplate& tmpl);

// The window class and styles of a control kind.
struct NativeControl {
  const wchar_t* windowClass;
  unsigned long style;
  unsigned long exStyle;
};
NativeControl nativeControl(const ControlTemplate& control, bool firstDefaultButton);

}  // namespace zandor::win32
