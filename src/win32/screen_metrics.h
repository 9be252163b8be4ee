#pragma once

#include <windows.h>

#include <string>

namespace zandor::win32 {

// The screen's resolution in dots per inch: sizes fixed in pixels are for 96.
int screenDpi();
// How wide the text is in the window's own font, in pixels.
int textWidth(HWND window, const std::wstring& text);

}  // namespace zandor::win32
