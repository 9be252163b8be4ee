#include "win32/windows_ui.h"

#include <windows.h>
// after windows.h
#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "app/help_about.h"
#include "app/shell_commands.h"
#include "base/paths.h"
#include "resources/dialog_template.h"
#include "ui/event_guard.h"
#include "win32/template_dialog.h"
#include "win32/win32_text.h"

namespace zandor::win32 {

namespace {

// A chosen name that Windows-1252 cannot hold would turn into "?" and name no file: it is
// refused where it is chosen, so it is never stored, and counts as cancelled.
std::string usableChoice(const std::wstring& chosen, ChosenKind kind) {
  if (chosen.empty()) return {};
  const std::string message = unusableNameMessage(utf8Of(chosen), kind);
  if (message.empty()) return narrow(chosen);
  MessageBoxW(ownerWindow(), wide(message).c_str(), L"Name nicht verwendbar",
              MB_OK | MB_ICONWARNING);
  rethrowPendingQuit();
  return {};
}

// "*.xl*" as the filter list of the common dialog: the mask, then every file.
std::wstring filterOf(const std::string& mask) {
  std::wstring filter = wide(mask);
  filter.push_back(L'\0');
  filter += wide(mask);
  filter.push_back(L'\0');
  filter += L"Alle Dateien (*.*)";
  filter.push_back(L'\0');
  filter += L"*.*";
  filter.push_back(L'\0');
  filter.push_back(L'\0');
  return filter;
}

}  // namespace

WindowsUi::WindowsUi() {
  // A quit chosen in the error handler ends every running message loop.
  setEventLoopExit([](int code) { PostQuitMessage(code); });
}

WindowsUi::~WindowsUi() = default;

void WindowsUi::information(const std::string& text) {
  MessageBoxW(ownerWindow(), wide(text).c_str(), L"Information", MB_OK | MB_ICONINFORMATION);
  rethrowPendingQuit();
}

bool WindowsUi::question(const std::string& title, const std::string& text) {
  const int answer = MessageBoxW(ownerWindow(), wide(text).c_str(), wide(title).c_str(),
                                 MB_YESNO | MB_ICONQUESTION);
  rethrowPendingQuit();
  return answer == IDYES;
}

std::string WindowsUi::chooseOpen(const std::string& title, const std::string& mask,
                                  const std::string& startDirectory, bool mustExist) {
  std::vector<wchar_t> file(32768, L'\0');
  if (!mustExist) {
    const std::wstring start = wide(mask);
    std::copy(start.begin(), start.end(), file.begin());
  }
  const std::wstring filter = filterOf(mask);
  const std::wstring caption = wide(title);
  const std::wstring folder = wide(startDirectory);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = ownerWindow();
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = caption.c_str();
  // The working directory stays: the help document is looked up there.
  ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
              (mustExist ? OFN_FILEMUSTEXIST : 0);
  const bool chosen = GetOpenFileNameW(&ofn) != FALSE;
  rethrowPendingQuit();
  if (!chosen) return {};
  return usableChoice(file.data(), mustExist ? ChosenKind::File : ChosenKind::NewFile);
}

std::string WindowsUi::chooseFile(const std::string& title, const std::string& mask,
                                  const std::string& startDirectory) {
  return chooseOpen(title, mask, startDirectory, true);
}

std::string WindowsUi::chooseNewFile(const std::string& title, const std::string& mask,
                                     const std::string& startDirectory) {
  // An open dialog, not a save dialog: no question before a file is replaced.
  return chooseOpen(title, mask, startDirectory, false);
}

std::string WindowsUi::chooseFolder(const std::string& title, const std::string& startDirectory) {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&dialog)))) {
    return {};
  }
  DWORD options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR);
  dialog->SetTitle(wide(title).c_str());
  IShellItem* start = nullptr;
  if (!startDirectory.empty() &&
      SUCCEEDED(SHCreateItemFromParsingName(wide(startDirectory).c_str(), nullptr,
                                            IID_PPV_ARGS(&start)))) {
    dialog->SetFolder(start);
    start->Release();
  }
  std::wstring chosen;
  if (SUCCEEDED(dialog->Show(ownerWindow()))) {
    IShellItem* item = nullptr;
    if (SUCCEEDED(dialog->GetResult(&item))) {
      PWSTR path = nullptr;
      if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        chosen = path;
        CoTaskMemFree(path);
      }
      item->Release();
    }
  }
  dialog->Release();
  rethrowPendingQuit();
  return usableChoice(chosen, ChosenKind::Folder);
}

void WindowsUi::waitShow(const std::string& text) {
  wait_.show(text);
}

void WindowsUi::waitSay(const std::string& text) {
  wait_.say(text);
}

void WindowsUi::waitProgress(int permille) {
  wait_.progress(permille);
}

void WindowsUi::waitEnd() {
  if (wait_.dialog() == nullptr) return;
  wait_.end();
  // Lets the windows below repaint the area before the caller goes on.
  pumpPaint();
}

void WindowsUi::showTextFile(const std::string& path) {
  startTextViewer(path);
}

void WindowsUi::openDocument(const std::string& path) {
  if (openWithShell(path)) return;
  std::vector<wchar_t> full(32768, L'\0');
  const DWORD n =
      GetFullPathNameW(wide(path).c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  information(documentNotOpenedMessage(n > 0 && n < full.size() ? narrow(full.data()) : path));
}

std::unique_ptr<Dialog> WindowsUi::makeDialog(const std::string& templateName) {
  const DialogTemplate* tmpl = findDialogTemplate(templateName);
  if (tmpl == nullptr) return nullptr;
  return std::make_unique<TemplateDialog>(*tmpl, ownerWindow());
}

}  // namespace zandor::win32
