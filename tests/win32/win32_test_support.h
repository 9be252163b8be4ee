#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "win32/template_dialog.h"

namespace zandor::test {

// Handles what is waiting in the thread's queue.
void pumpMessages();
// What the window shows on the screen, as a BMP file in the build's screenshot folder
// (scripts/windows-test turns them into PNG files).
void saveWindowScreenshot(HWND window, const std::string& name);
// Runs the step on the next modal dialog of the program once its loop runs.
void onNextModalDialog(std::function<void(HWND)> step);

}  // namespace zandor::test
