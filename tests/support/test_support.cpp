#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace zandor::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("zandor-test-" + std::to_string(rd()));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no temp directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make everything writable again so tests that took rights away still clean up.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string readBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

fs::path sharedDir() {
  const fs::path dir = ZANDOR_SHARED_DIR;
  std::error_code ec;
  return fs::is_directory(dir / "fixtures", ec) ? dir : fs::path();
}

fs::path copyFixture(const std::string& relative, const fs::path& to) {
  const fs::path from = sharedDir() / "fixtures" / relative;
  const fs::path target = to / from.filename();
  fs::copy_file(from, target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  return target;
}

unsigned testSeed() {
  unsigned seed;
  if (const char* given = std::getenv("ZANDOR_SEED"); given && *given) {
    seed = static_cast<unsigned>(std::strtoul(given, nullptr, 10));
  } else {
    seed = std::random_device{}();
  }
  std::printf("seed %u (replay with ZANDOR_SEED=%u)\n", seed, seed);
  std::fflush(stdout);
  return seed;
}

bool inCi() {
  const char* ci = std::getenv("CI");
  return ci && *ci && std::string(ci) != "0" && std::string(ci) != "false";
}

int runCommand(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 4096> buf;
  std::string text;
  std::size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) text.append(buf.data(), n);
  const int status = pclose(pipe);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void adoptOrphans() {
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

void waitForOrphans() {
  int status = 0;
  // Not __WALL: our own witnesses (of files still open here) are clone children and are not
  // waited for; an adopted one counts as an ordinary child.
  while (::waitpid(-1, &status, 0) > 0 || errno == EINTR) {
  }
}

bool passesWithoutRoot(const std::function<bool()>& check) {
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string cliPath() {
  return ZANDOR_CLI_PATH;
}
std::string mainProgramPath() {
  return ZANDOR_MAIN_PATH;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  getrlimit(RLIMIT_FSIZE, &saved_);
  oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = saved_;
  limit.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  setrlimit(RLIMIT_FSIZE, &saved_);
  std::signal(SIGXFSZ, oldHandler_);
}

}  // namespace zandor::test
