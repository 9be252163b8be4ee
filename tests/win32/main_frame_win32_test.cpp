#include <gtest/gtest.h>

#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "resources/main_window_data.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "support/recording_commands.h"
#include "support/test_support.h"
#include "table/work_areas.h"
#include "win32/main_frame.h"
#include "win32/template_dialog.h"
#include "win32/win32_test_support.h"
#include "win32/win32_text.h"
#include "win32/windows_ui.h"

namespace zandor::win32 {
namespace {

void pump() {
  test::pumpMessages();
}

std::wstring menuText(HMENU menu, int position) {
  wchar_t buffer[128] = {};
  GetMenuStringW(menu, static_cast<UINT>(position), buffer, 128, MF_BYPOSITION);
  return buffer;
}

class MainFrameTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  WindowsUi ui;
  AppState state;
  WorkAreas areas;
  test::RecordingCommands commands{state, areas};
  std::unique_ptr<MainFrame> frame;

  void SetUp() override {
    state.ui = &ui;
    INI_INIT_FILE(state, dir.file("zandor.ini"));
    frame = std::make_unique<MainFrame>(state, commands);
    setMainWindow(frame->window());
    frame->show();
    pump();
  }
  void TearDown() override {
    setMainWindow(nullptr);
    frame.reset();
    pump();
  }
  // The id of the toolbar button at a position (separators included).
  int buttonId(int position) {
    TBBUTTON button{};
    SendMessageW(frame->toolBar(), TB_GETBUTTON, static_cast<WPARAM>(position),
                 reinterpret_cast<LPARAM>(&button));
    return button.idCommand;
  }
};

TEST_F(MainFrameTest, MenusToolbarAndStatusComeFromTheData) {
  HMENU bar = GetMenu(frame->window());
  ASSERT_EQ(GetMenuItemCount(bar), static_cast<int>(mainMenus().size()));
  for (std::size_t m = 0; m < mainMenus().size(); ++m) {
    EXPECT_EQ(menuText(bar, static_cast<int>(m)), wide(mainMenus()[m].caption));
    HMENU popup = GetSubMenu(bar, static_cast<int>(m));
    ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(mainMenus()[m].items.size()));
    for (std::size_t i = 0; i < mainMenus()[m].items.size(); ++i) {
      EXPECT_EQ(menuText(popup, static_cast<int>(i)), wide(mainMenus()[m].items[i].caption));
    }
  }

  const int count = static_cast<int>(SendMessageW(frame->toolBar(), TB_BUTTONCOUNT, 0, 0));
  ASSERT_EQ(count, static_cast<int>(toolbarButtons().size()));
  for (int i = 0; i < count; ++i) {
    const ToolButton& data = toolbarButtons()[static_cast<std::size_t>(i)];
    TBBUTTON button{};
    SendMessageW(frame->toolBar(), TB_GETBUTTON, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ((button.fsStyle & BTNS_SEP) != 0, data.kind == ToolKind::Separator) << i;
    EXPECT_EQ((button.fsStyle & BTNS_DROPDOWN) != 0, data.kind == ToolKind::DropDownButton) << i;
    if (data.kind == ToolKind::Separator) continue;
    RECT r{};
    SendMessageW(frame->toolBar(), TB_GETITEMRECT, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(&r));
    EXPECT_GE(r.bottom - r.top, kToolButtonSize) << data.caption;
    EXPECT_GE(r.right - r.left, kToolButtonSize) << data.caption;
    // The tooltip is the button's own, not its caption.
    wchar_t tip[128] = {};
    NMTBGETINFOTIPW info{};
    info.hdr.hwndFrom = frame->toolBar();
    info.hdr.code = TBN_GETINFOTIPW;
    info.iItem = button.idCommand;
    info.pszText = tip;
    info.cchTextMax = 128;
    SendMessageW(frame->window(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(std::wstring(tip), wide(data.tooltip));
  }

  wchar_t status[256] = {};
  SendMessageW(frame->statusBar(), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(status));
  EXPECT_EQ(std::wstring(status), wide(statusBarText()));
}

TEST_F(MainFrameTest, TheButtonsBodyStartsTheFileChoice) {
  SendMessageW(frame->window(), WM_COMMAND, MAKEWPARAM(buttonId(0), BN_CLICKED),
               reinterpret_cast<LPARAM>(frame->toolBar()));
  EXPECT_EQ(commands.started, std::vector<std::string>{"DLGZUORDNUNG"});
}

TEST_F(MainFrameTest, ClosingAsksTheCloseCheckWhichWritesThePreferences) {
  HWND window = frame->window();
  // Refused while a modal dialog of the program runs: the request arrives inside its loop,
  // which a timer then ends.
  TemplateDialog dialog(*findDialogTemplate(tpl::kImportOptions), window);
  PostMessageW(window, WM_CLOSE, 0, 0);
  SetTimer(dialog.window(), 1, 200, [](HWND hwnd, UINT, UINT_PTR id, DWORD) {
    KillTimer(hwnd, id);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
  });
  dialog.runModal();
  EXPECT_TRUE(IsWindow(window));

  // The toolbar's "Beenden" takes the same way as the close box.
  int quit = 0;
  for (int i = 0; i < static_cast<int>(toolbarButtons().size()); ++i) {
    const ToolButton& b = toolbarButtons()[static_cast<std::size_t>(i)];
    if (b.kind != ToolKind::Separator && b.command == Command::Quit) quit = buttonId(i);
  }
  ASSERT_NE(quit, 0);
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(quit, BN_CLICKED),
               reinterpret_cast<LPARAM>(frame->toolBar()));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_NE(test::readBytes(dir.file("zandor.ini")).find("[Updaten]"), std::string::npos);
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the loop ends";
}

TEST_F(MainFrameTest, AnImportableFileDroppedOnTheWindowOpensTheFileChoice) {
  for (const wchar_t* name : {L"C:\\Daten\\Kunden \u00c4.xlsx", L"C:\\Daten\\notiz.txt"}) {
    const std::size_t length = wcslen(name);
    const std::size_t bytes = sizeof(DROPFILES) + (length + 2) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::copy_n(name, length, reinterpret_cast<wchar_t*>(drop + 1));
    GlobalUnlock(memory);
    SendMessageW(frame->window(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    pump();
  }
  EXPECT_EQ(commands.started, std::vector<std::string>{"DLGZUORDNUNGC:\\Daten\\Kunden \xc4.xlsx"});
}

}  // namespace
}  // namespace zandor::win32
