#pragma once

#include <string>

namespace zandor {

// The program's icon as an .ico file: the clipboard with the red check mark of the
// toolbar, at 16, 32 and 48 pixels, 32-bit with transparency where the drawing has
// magenta. The Windows build takes it from src/win32/zandor.ico, which a test keeps equal
// to this.
std::string programIconFile();

}  // namespace zandor
