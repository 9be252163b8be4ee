#pragma once

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <filesystem>
#include <functional>
#include <string>

#include "base/error.h"

namespace zandor::test {

// A fresh directory under the system's temp directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Path of a file inside, as text.
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string readBytes(const std::filesystem::path& file);
void writeBytes(const std::filesystem::path& file, const std::string& bytes);

// The fixtures shared with the other teams, or "" when they are not there.
std::filesystem::path sharedDir();
// Copies a shared fixture into a directory (tests never write to the originals).
std::filesystem::path copyFixture(const std::string& relative, const std::filesystem::path& to);

// Runs a command (UTF-8) through the shell; returns its exit status, stdout into out. On Windows
// there is no shell to hand it to: the command is split as the shell would split it
// (single and double quotes; "2>&1", ">/dev/null" and "2>/dev/null" as redirections) and the
// program started directly; one that cannot be started gives 127, as from the shell.
int runCommand(const std::string& command, std::string* out = nullptr);

// A killed child may leave its index files' commit witnesses running for a moment (they
// finish a commit the kill interrupted). adoptOrphans() makes them our children when their
// parent dies; waitForOrphans() then waits until every child of ours has ended.
void adoptOrphans();
void waitForOrphans();

// Runs a check in a child process without root rights (as user nobody when we are root),
// so tests of missing file rights mean something under root too. True when it passed.
bool passesWithoutRoot(const std::function<bool()>& check);

// The seed of a randomised test: ZANDOR_SEED from the environment when set, otherwise a
// fresh one. It is printed, so a failing run can be replayed with ZANDOR_SEED=<seed>.
unsigned testSeed();

// True when the tests run in CI, where nothing may drop out unnoticed.
bool inCi();

#ifndef _WIN32
// Lets the file size limit of the process make writes fail part-way, as a full disk would
// (SIGXFSZ ignored, so a write past the limit fails with EFBIG).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
};
#endif

// The built programs.
std::string cliPath();
std::string mainProgramPath();

// The error the error-dialog tests raise: a retryable one that also allows "Default".
Error notIndexedError();

}  // namespace zandor::test

// Skips the current test when something it needs is missing here (what names it); in CI,
// where nothing may drop out unnoticed, the test fails instead.
#define ZANDOR_REQUIRE(present, what)                            \
  do {                                                           \
    if (!(present)) {                                            \
      if (::zandor::test::inCi()) FAIL() << "no " what " in CI"; \
      GTEST_SKIP() << "no " what;                                \
    }                                                            \
  } while (0)

// The shared fixtures.
#define ZANDOR_REQUIRE_SHARED() ZANDOR_REQUIRE(!::zandor::test::sharedDir().empty(), "../shared")
