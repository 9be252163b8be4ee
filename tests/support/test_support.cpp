#include "support/test_support.h"

#include "base/error.h"

#include <gtest/gtest.h>

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

std::string cliPath() {
  return ZANDOR_CLI_PATH;
}
std::string mainProgramPath() {
  return ZANDOR_MAIN_PATH;
}

Error notIndexedError() {
  Error error;
  error.genCode = gen::kNoOrder;
  error.subsystem = "DBFNTX";
  error.subCode = 1201;
  error.description = "Workarea not indexed";
  error.canDefault = true;
  return error;
}

}  // namespace zandor::test
