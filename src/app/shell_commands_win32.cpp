#include "app/shell_commands.h"

#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <string>

#include "base/windows_api.h"

namespace zandor {

bool startDetached(const std::string& commandLine) {
  std::wstring line = win32::widePath(commandLine);  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started))
    return false;
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

bool startTextViewer(const std::string& path) {
  return startDetached("notepad " + path);
}

bool openWithShell(const std::string& path) {
  const HINSTANCE result = ShellExecuteW(nullptr, L"open", win32::widePath(path).c_str(), nullptr,
                                         nullptr, SW_SHOWNORMAL);
  // Values above 32 mean started; below are error codes.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace zandor
