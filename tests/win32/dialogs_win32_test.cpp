#include <gtest/gtest.h>

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <filesystem>
#include <string>

#include "app/error_handler.h"
#include "base/error.h"
#include "resources/ids/error_dialog_ids.h"
#include "resources/ids/wait_message_ids.h"
#include "state/app_state.h"
#include "state/wait_message.h"
#include "support/test_support.h"
#include "support/working_directory.h"
#include "ui/event_guard.h"
#include "ui/wait_window.h"
#include "win32/template_dialog.h"
#include "win32/win32_test_support.h"
#include "win32/windows_ui.h"

namespace zandor::win32 {
namespace {

std::wstring textOf(HWND hwnd) {
  wchar_t buffer[512] = {};
  GetWindowTextW(hwnd, buffer, 512);
  return buffer;
}

class Win32DialogsTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  WindowsUi ui;
  AppState state;

  void SetUp() override { state.ui = &ui; }
  void TearDown() override {
    setErrorHandler(consoleErrorHandler);
    clearPendingQuit();
    test::pumpMessages();
  }
};

TEST_F(Win32DialogsTest, ErrorDialogOffersTheAllowedButtonsAndAnswers) {
  test::WorkingDirectory cwd(dir.path());
  ERRORSYS(state, nullptr, "Win32 Test");
  int mainWindow = 0;
  state.oWndMain = reinterpret_cast<WindowHandle*>(&mainWindow);
  bool seen = false;
  test::onNextModalDialog([&](HWND dialog) {
    seen = true;
    EXPECT_EQ(textOf(dialog), L"Win32 Test");
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, 450) << "pixels at 96 dpi, whatever the font";
    EXPECT_EQ(client.bottom, 300);
    EXPECT_EQ(textOf(GetDlgItem(dialog, errdlg::kDescription)),
              L"   Error description: Error DBFNTX/1201  Workarea not indexed");
    HWND stack = GetDlgItem(dialog, errdlg::kStackList);
    EXPECT_GT(SendMessageW(stack, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(stack, LB_GETCURSEL, 0, 0), 0) << "the first call level selected";
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, errdlg::kRetry)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, errdlg::kDefault)));
    test::saveWindowScreenshot(dialog, "error_dialog");
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(errdlg::kDefault, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, errdlg::kDefault)));
  });
  EXPECT_EQ(raiseError(test::notIndexedError()), ErrorAnswer::Default);
  EXPECT_TRUE(seen);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "error.log"));

  // The close box quits.
  test::onNextModalDialog([](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); });
  EXPECT_THROW(raiseError(test::notIndexedError()), ProgramQuit);
}

TEST_F(Win32DialogsTest, WaitMessageShowsTheCurrentTextAndOnlyItsEndClosesIt) {
  SAYMSGWAIT(state, "Zeile: 2");
  Dialog* wait = ui.waitDialog();
  ASSERT_NE(wait, nullptr);
  HWND window = static_cast<TemplateDialog*>(wait)->window();
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_NE(GetWindowLongW(window, GWL_STYLE) & WS_CAPTION, WS_CAPTION) << "no title bar";
  Sleep(WaitWindow::kLongestGapMilliseconds + 5);
  ui.waitProgress(500);
  SAYMSGWAIT(state, "Zeile: 3");
  EXPECT_EQ(textOf(GetDlgItem(window, wait_ids::kText)), L"Zeile: 3");
  EXPECT_EQ(SendMessageW(GetDlgItem(window, wait_ids::kProgress), PBM_GETPOS, 0, 0), 500);
  test::saveWindowScreenshot(window, "wait_message");
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(window));
  EXPECT_TRUE(IsWindowVisible(window)) << "Escape does not close it";
  ENDMSGWAIT(state);
  EXPECT_EQ(ui.waitDialog(), nullptr);
}

}  // namespace
}  // namespace zandor::win32
