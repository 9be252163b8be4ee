#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

#include "app/startup.h"
#include "base/date.h"
#include "base/paths.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;

const char* const kFirstRunFile =
    "[Pfade]\r\nExcel-Pfad=\r\ndBase-Pfad=\r\n[Header]\r\nExcel=.F.\r\n"
    "[Artikel]\r\nVorlauf=\r\nNummer=1\r\n[Adressen]\r\nVorlauf=\r\nNummer=1\r\n"
    "[Updaten]\r\nNummer=.F.\r\nArtikelart=1\r\n";

TEST(StartupTest, InitialStateHasTheDocumentedValues) {
  const AppState state;
  EXPECT_EQ(state.cVersion, "1.2");
  EXPECT_EQ(state.cBuild, "1");
  EXPECT_EQ(state.cBuildDate, "22.01.2013");
  EXPECT_TRUE(state.lHeader);
  EXPECT_FALSE(state.lCdxIndex || state.lIndexOpen || state.lAutoAdrNr || state.lAutoArtNr);
  EXPECT_EQ(state.nStopColumn, 0);
  EXPECT_EQ(state.nErrors, 0);
  EXPECT_EQ(state.cWaitText, " ");
  EXPECT_FALSE(state.lWaitShown);
  EXPECT_TRUE(state.aFields.empty() && state.aColumns.empty());
  for (const Value& slot : state.asVorein) EXPECT_TRUE(slot.isNil());
}

TEST(StartupTest, ProgramDirectoryEndsWithItsSeparator) {
  EXPECT_EQ(programDirectory("C:\\Programme\\Zandor\\zandor.exe"), "C:\\Programme\\Zandor\\");
  EXPECT_EQ(programDirectory("/opt/zandor/zandor"), "/opt/zandor/");
  EXPECT_EQ(programDirectory("zandor"), "");
}

class StartProgramTest : public ::testing::Test {
 protected:
  TempDir dir;
  test::ScriptedUi ui;
  AppState state;
  std::string program = dir.file("zandor");

  void SetUp() override {
    setDateFormat("mm/dd/yy");
    setEpoch(1900);
    state.ui = &ui;
  }
};

TEST_F(StartProgramTest, FirstStartMakesLogDirectoryAndSettingsFileAndFixesDates) {
  startProgram(state, program);
  EXPECT_EQ(state.cExePath, dir.path().string() + kPathSeparator);
  EXPECT_TRUE(fs::is_directory(dir.path() / "log"));
  EXPECT_EQ(readBytes(dir.path() / "zandor.ini"), "");
  EXPECT_EQ(dateFormat(), "dd.mm.yy");
  EXPECT_EQ(epoch(), 1950);
  EXPECT_EQ(textToDate("01.02.49"), dayNumber(2049, 2, 1));
  EXPECT_EQ(state.vorein(vorein::kAdrCounter), Value::integer(1));
  EXPECT_EQ(state.ui, &ui);
  EXPECT_TRUE(ui.log.empty());  // start-up says nothing
}

TEST_F(StartProgramTest, ExistingLogDirectoryIsLeftAsItIs) {
  fs::create_directory(dir.path() / "log");
  test::writeBytes(dir.path() / "log" / "old.log", "x");
  startProgram(state, program);
  EXPECT_EQ(readBytes(dir.path() / "log" / "old.log"), "x");
}

TEST_F(StartProgramTest, AFileNamedLogIsNotReplaced) {
  test::writeBytes(dir.path() / "log", "not a directory");
  startProgram(state, program);
  EXPECT_EQ(readBytes(dir.path() / "log"), "not a directory");
  EXPECT_TRUE(fs::exists(dir.path() / "zandor.ini"));
}

TEST_F(StartProgramTest, ReadOnlyProgramDirectoryStillStartsWithDefaults) {
#ifdef _WIN32
  GTEST_SKIP() << "rights taken away by chmod mean nothing on Windows";
#else
  fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  EXPECT_TRUE(test::passesWithoutRoot([&] {
    startProgram(state, program);
    VOREINSPEICHERN(state);
    return !fs::exists(dir.path() / "log") && !fs::exists(dir.path() / "zandor.ini") &&
           state.vorein(vorein::kArtCounter) == Value::integer(1) &&
           state.vorein(vorein::kHeader) == Value::logical(false);
  }));
#endif
}

// Starts the program without a screen, waits for its settings file, then asks it to end as
// the desktop does at logout; the window closes the ordinary way.
#ifdef _WIN32
// On Windows the close comes as WM_CLOSE to the program's windows, as taskkill sends it.
BOOL CALLBACK closeWindowOf(HWND window, LPARAM process) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(process)) PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

int startAndEnd(const fs::path& program, const fs::path& workDir) {
  std::wstring line = L"\"" + program.wstring() + L"\"";
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workDir.wstring().c_str(), &start, &started))
    return -1;
  CloseHandle(started.hThread);
  WaitForInputIdle(started.hProcess, 10000);
  for (int i = 0; i < 200 && !fs::exists(program.parent_path() / "zandor.ini"); ++i) Sleep(50);
  DWORD code = STILL_ACTIVE;
  for (int i = 0; i < 40 && code == STILL_ACTIVE; ++i) {
    EnumWindows(closeWindowOf, static_cast<LPARAM>(started.dwProcessId));
    WaitForSingleObject(started.hProcess, 500);
    GetExitCodeProcess(started.hProcess, &code);
  }
  if (code == STILL_ACTIVE) TerminateProcess(started.hProcess, 99);
  CloseHandle(started.hProcess);
  return static_cast<int>(code);
}
#else
int startAndEnd(const fs::path& program, const fs::path& workDir) {
  const std::string ini = (program.parent_path() / "zandor.ini").string();
  return test::runCommand("cd '" + workDir.string() + "' && (QT_QPA_PLATFORM=offscreen '" +
                          program.string() + "' & pid=$!; for i in $(seq 200); do [ -e '" + ini +
                          "' ] && break; sleep 0.05; done; sleep 0.3; kill -TERM $pid; wait $pid)" +
                          " 2>&1");
}
#endif

TEST(ProgramRunTest, FilesAppearBesideTheProgramNotInTheWorkingDirectory) {
  TempDir programDir, workDir;
  const fs::path program = programDir.path() / fs::path(test::mainProgramPath()).filename();
  fs::copy_file(test::mainProgramPath(), program);
  ASSERT_EQ(startAndEnd(program, workDir.path()), 0);
  EXPECT_TRUE(fs::is_directory(programDir.path() / "log"));
  EXPECT_EQ(readBytes(programDir.path() / "zandor.ini"), kFirstRunFile);
  EXPECT_TRUE(fs::is_empty(workDir.path()));
  // A second run keeps the file as it is.
  ASSERT_EQ(startAndEnd(program, workDir.path()), 0);
  EXPECT_EQ(readBytes(programDir.path() / "zandor.ini"), kFirstRunFile);
}

TEST(ProgramRunTest, WithoutADisplayTheProgramSaysSoAndEndsWithOne) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows always has a display to show windows on";
#else
  TempDir workDir;
  std::string output;
  const std::string command = "cd '" + workDir.path().string() +
                              "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                              test::mainProgramPath() + "' 2>&1";
  EXPECT_EQ(test::runCommand(command, &output), 1);
  EXPECT_NE(output.find("keine Anzeige gefunden"), std::string::npos) << output;
#endif
}

}  // namespace
}  // namespace zandor
