// Starting other programs without waiting for them: the command line reaches the system with
// a path that holds blanks and umlauts, and the shell's "open" runs what the system
// associates with a file. Viewers need a display, so commands that write a file stand in.
#include "app/shell_commands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "base/encoding.h"
#include "support/test_support.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;

// The started command runs on its own: look for its file a while.
std::string waitForFile(const fs::path& file) {
  for (int i = 0; i < 600 && !fs::exists(file); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // It may still be writing: the text counts once it ends with a line end.
  for (int i = 0; i < 100; ++i) {
    const std::string text = test::readBytes(file);
    if (!text.empty() && text.back() == '\n') return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return test::readBytes(file);
}

struct ShellCommandsTest : ::testing::Test {
  test::TempDir dir;
  fs::path folder = dir.path() / u8"Prüfung 1";
  // The folder as the program spells file names: Windows-1252.
  std::string folderName() const {
    const std::u8string utf8 = folder.u8string();
    return utf8ToCp1252(std::string(utf8.begin(), utf8.end()));
  }
  void SetUp() override { fs::create_directory(folder); }
};

TEST_F(ShellCommandsTest, ACommandLineWithBlanksAndUmlautsInAPathRuns) {
#ifdef _WIN32
  const std::string command = "cmd /c echo fertig>\"" + folderName() + "\\marke.txt\"";
#else
  const std::string command = "echo fertig >'" + folderName() + "/marke.txt'";
#endif
  ASSERT_TRUE(startDetached(command));
  const std::string text = waitForFile(folder / "marke.txt");
  EXPECT_EQ(text.substr(0, 6), "fertig");
}

TEST_F(ShellCommandsTest, AProgramThatIsNotThereIsNotStarted) {
#ifndef _WIN32
  GTEST_SKIP() << "on Linux the commands go through /bin/sh, which itself always starts";
#else
  EXPECT_FALSE(startDetached("zandor-kein-programm.exe"));
#endif
}

TEST_F(ShellCommandsTest, TheShellOpensAFileWithWhatItsKindIsAssociatedWith) {
#ifndef _WIN32
  GTEST_SKIP() << "on Linux xdg-open opens the file through /bin/sh, which itself always "
                  "starts, and needs a desktop";
#else
  // A batch file's association runs it, with no window needed.
  test::writeBytes(folder / "probe.cmd", "@echo geoeffnet>\"%~dp0geoeffnet.txt\"\r\n");
  ASSERT_TRUE(openWithShell(folderName() + "\\probe.cmd"));
  EXPECT_EQ(waitForFile(folder / "geoeffnet.txt").substr(0, 9), "geoeffnet");
  EXPECT_FALSE(openWithShell(folderName() + "\\fehlt.cmd"));
#endif
}

}  // namespace
}  // namespace zandor
