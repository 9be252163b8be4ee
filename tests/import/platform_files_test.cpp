// Files where Windows users keep them: names with umlauts and blanks, a drive letter, a table
// another program holds open, text files with CR LF, settings and log beside the program.
// zandor-cli runs as a program of its own, as the business application's users run it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/paths.h"
#include "support/test_support.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// Holds a file open as another program does that wants it for itself: on Windows without
// sharing, on Linux with the whole-file lock our own exclusive open takes.
class HeldFile {
 public:
  explicit HeldFile(const fs::path& path) {
#ifdef _WIN32
    handle_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    held_ = handle_ != INVALID_HANDLE_VALUE;
#else
    fd_ = ::open(path.c_str(), O_RDWR);
    held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
#endif
  }
  ~HeldFile() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool held() const {
    return held_;
  }

 private:
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
  bool held_ = false;
};

bool everyLineEndIsCrLf(const std::string& text) {
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    if (at == 0 || text[at - 1] != '\r') return false;
  }
  return true;
}

class PlatformFilesTest : public ::testing::Test {
 protected:
  test::TempDir tmp;
  std::string dir;  // Windows-1252, as inside the program
  std::string out;

  void SetUp() override {
    dir = pathFromNative(tmp.path()) + kPathSeparator + "Kunden M\xfcller & S\xf6hne";
    ASSERT_TRUE(createDirectory(dir));
    const fs::path examples = fs::path(ZANDOR_SOURCE_DIR) / "examples";
    for (const char* name : {"ADRESSEN.DBF", "adkun.cdx"})
      fs::copy_file(examples / "data" / "cdx" / name, native(name));
    fs::copy_file(examples / "adressen_neu.csv", native("neue Adressen.csv"));
    test::writeBytes(native("zandor.ini"), "[Updaten]\r\nNummer=.T.\r\n");
  }
  std::string file(const std::string& name) const { return dir + kPathSeparator + name; }
  fs::path native(const std::string& name) const { return nativePath(file(name)); }
  // A file name as the command line takes it (UTF-8), quoted.
  std::string arg(const std::string& name) const { return "'" + cp1252ToUtf8(file(name)) + "'"; }
  int cli(const std::string& arguments, const std::string& program = test::cliPath()) {
    return test::runCommand("'" + program + "' " + arguments + " 2>&1", &out);
  }
  int makeProfileAndImport(const std::string& program = test::cliPath(), bool settings = true) {
    if (int status = cli("profile make " + arg("adressen.qno") + " --dbf " + arg("ADRESSEN.DBF") +
                             " --xls " + arg("neue Adressen.csv") + " --stop 1",
                         program))
      return status;
    return cli(
        "import " + arg("adressen.qno") + (settings ? " --settings " + arg("zandor.ini") : ""),
        program);
  }
};

TEST_F(PlatformFilesTest, UmlautsAndBlanksInFolderAndFileNamesWork) {
  ASSERT_EQ(makeProfileAndImport(), 0) << out;
  EXPECT_THAT(out, HasSubstr("Davon sind 2 neue Datens\xc3\xa4tze, 1 geupdatet"));
  ASSERT_EQ(cli("dbf check " + arg("ADRESSEN.DBF") + " " + arg("adkun.cdx")), 0) << out;
  ASSERT_EQ(cli("dbf dump " + arg("ADRESSEN.DBF")), 0) << out;
  EXPECT_THAT(out, HasSubstr("Autohaus Sch\xc3\xa4"
                             "fer"));
  EXPECT_TRUE(fs::is_directory(native("log")));
}

TEST_F(PlatformFilesTest, TextFilesWeWriteEndEveryLineWithCrLf) {
  ASSERT_EQ(makeProfileAndImport(), 0) << out;
  std::vector<fs::path> texts = {native("zandor.ini")};
  for (const auto& entry : fs::directory_iterator(native("log"))) texts.push_back(entry.path());
  ASSERT_GE(texts.size(), 2u);
  for (const auto& text : texts) {
    const std::string bytes = test::readBytes(text);
    EXPECT_NE(bytes.find("\r\n"), std::string::npos) << text;
    EXPECT_TRUE(everyLineEndIsCrLf(bytes)) << text;
  }
}

// Another program (the business application) has the table open for itself: every command
// reports the open error with the system's code 32, and nothing is written.
TEST_F(PlatformFilesTest, ATableAnotherProgramHoldsIsRefusedAndLeftAsItWas) {
  ASSERT_EQ(cli("profile make " + arg("adressen.qno") + " --dbf " + arg("ADRESSEN.DBF") +
                " --xls " + arg("neue Adressen.csv") + " --stop 1"),
            0)
      << out;
  const std::string table = test::readBytes(native("ADRESSEN.DBF"));
  const std::string index = test::readBytes(native("adkun.cdx"));
  {
    HeldFile held(native("ADRESSEN.DBF"));
    ASSERT_TRUE(held.held());
    EXPECT_EQ(cli("dbf dump " + arg("ADRESSEN.DBF")), 1);
    EXPECT_THAT(out, HasSubstr("(DOS Error 32)"));
    EXPECT_THAT(out, HasSubstr("Open error"));
    EXPECT_NE(cli("import " + arg("adressen.qno") + " --settings " + arg("zandor.ini")), 0);
    EXPECT_THAT(out, HasSubstr("Datenbank kann nicht ge\xc3\xb6"
                               "ffnet werden"));
    EXPECT_THAT(out, Not(HasSubstr("Fertig!")));
    EXPECT_EQ(cli("dbf repair " + arg("ADRESSEN.DBF") + " " + arg("adkun.cdx")), 1);
    EXPECT_THAT(out, HasSubstr("von einem anderen Programm benutzt"));
  }
  EXPECT_EQ(test::readBytes(native("ADRESSEN.DBF")), table);
  EXPECT_EQ(test::readBytes(native("adkun.cdx")), index);
  // Once the other program has closed it, the same import goes through.
  EXPECT_EQ(cli("import " + arg("adressen.qno") + " --settings " + arg("zandor.ini")), 0) << out;
}

// Without --settings, zandor.ini and the log folder are the ones beside the program file,
// wherever it was started from.
TEST_F(PlatformFilesTest, SettingsAndLogLieBesideTheProgram) {
  const std::string programDir = pathFromNative(tmp.path()) + kPathSeparator + "Programme \xc4";
  ASSERT_TRUE(createDirectory(programDir));
  const fs::path program = nativePath(programDir) / fs::path(test::cliPath()).filename();
  fs::copy_file(test::cliPath(), program);
  test::writeBytes(nativePath(programDir) / "zandor.ini", "[Updaten]\r\nNummer=.T.\r\n");
  ASSERT_EQ(makeProfileAndImport(cp1252ToUtf8(pathFromNative(program)), false), 0) << out;
  EXPECT_TRUE(fs::is_directory(nativePath(programDir) / "log"));
  EXPECT_FALSE(fs::exists(native("log")));
  EXPECT_FALSE(fs::exists(fs::current_path() / "log"));
}

// The Task Manager's "end task" in the middle of a long import: whatever the moment, the
// table and its index are brought back in step by dbf repair and then check sound.
TEST_F(PlatformFilesTest, AnImportEndedByTerminateProcessIsRepaired) {
#ifndef _WIN32
  GTEST_SKIP() << "TerminateProcess is Windows'; on Linux KilledImportTest kills with SIGKILL";
#else
  std::string rows = "Kunde;Name\r\n";
  for (int i = 0; i < 20000; ++i)
    rows += "N" + std::to_string(100000 + i) + ";Kunde " + std::to_string(i) + "\r\n";
  test::writeBytes(native("neue Adressen.csv"), rows);
  ASSERT_EQ(cli("profile make " + arg("adressen.qno") + " --dbf " + arg("ADRESSEN.DBF") +
                " --xls " + arg("neue Adressen.csv") + " --stop 1"),
            0)
      << out;
  std::wstring line = L"\"" + nativePath(test::cliPath()).wstring() + L"\" import \"" +
                      native("adressen.qno").wstring() + L"\" --settings \"" +
                      native("zandor.ini").wstring() + L"\"";
  for (const DWORD after : {300u, 900u, 1800u}) {
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &start, &process));
    WaitForSingleObject(process.hProcess, after);
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(cli("dbf repair " + arg("ADRESSEN.DBF") + " " + arg("adkun.cdx")), 0)
        << "after " << after << " ms: " << out;
    ASSERT_EQ(cli("dbf check " + arg("ADRESSEN.DBF") + " " + arg("adkun.cdx")), 0) << out;
  }
  ASSERT_EQ(cli("dbf dump " + arg("ADRESSEN.DBF")), 0);
  EXPECT_GT(std::count(out.begin(), out.end(), '\n'), 6);  // the import got somewhere
#endif
}

TEST_F(PlatformFilesTest, ATableOnADriveLetterPathOpens) {
#ifndef _WIN32
  GTEST_SKIP() << "drive letters exist only on Windows";
#else
  const std::string absolute = pathFromNative(fs::absolute(native("ADRESSEN.DBF")));
  ASSERT_GE(absolute.size(), 3u);
  ASSERT_TRUE(std::isalpha(static_cast<unsigned char>(absolute[0])) && absolute[1] == ':' &&
              absolute[2] == '\\')
      << absolute;
  ASSERT_EQ(cli("dbf struct '" + cp1252ToUtf8(absolute) + "'"), 0) << out;
  EXPECT_THAT(out, HasSubstr("KUNDE\tC\t10"));
#endif
}

}  // namespace
}  // namespace zandor
