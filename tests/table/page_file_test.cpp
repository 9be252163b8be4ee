#include "table/page_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "support/test_support.h"
#include "table/index_error.h"

namespace zandor {
namespace {

#ifndef _WIN32
std::string page(char fill) {
  return std::string(512, fill);
}
#endif

// Writes reach the file, through the mapping (also past the address space reserved at open,
// where the mapping is moved) or with plain writes, and a read-only open reads them back.
class PageFileTest : public ::testing::TestWithParam<bool> {
 protected:
  PageMapping mapping() const {
    return GetParam() ? PageMapping::WhenPossible : PageMapping::Never;
  }
};

TEST_P(PageFileTest, BatchesGrowTheFileAndReadBackEverywhere) {
#ifdef _WIN32
  GTEST_SKIP() << "memory mapping and mremap are POSIX; Windows writes index pages with "
                  "WriteFile";
#else
  test::TempDir dir;
  const std::string path = dir.file("seiten.cdx");
  const std::uint64_t far = 100ull << 20;  // beyond the first reservation of an empty file
  {
    PageFile file;
    ASSERT_EQ(file.create(path, mapping()), 0);
    EXPECT_EQ(file.mapped(), GetParam());
    PageBatch batch;
    std::memcpy(batch.add(0, 512), page('A').data(), 512);
    // A page kept elsewhere goes out from there, between pages the batch holds itself.
    const std::string kept = page('K');
    batch.addKept(2048, reinterpret_cast<const unsigned char*>(kept.data()), 512);
    std::memcpy(batch.add(1024, 512), page('B').data(), 512);
    file.write(batch);
    EXPECT_TRUE(batch.empty());
    EXPECT_EQ(file.size(), 2560u);
    std::string keptBack(512, '\0');
    file.read(2048, keptBack.data(), 512);
    EXPECT_EQ(keptBack, kept);
    file.write(far, page('C').data(), 512);
    EXPECT_EQ(file.size(), far + 512);
    std::string back(512, '\0');
    file.read(1024, back.data(), 512);
    EXPECT_EQ(back, page('B'));
    file.read(far, back.data(), 512);
    EXPECT_EQ(back, page('C'));
    EXPECT_THROW(file.read(far + 256, back.data(), 512), IndexDamage);
  }
  PageFile reader;
  ASSERT_EQ(reader.open(path, false), 0);
  EXPECT_FALSE(reader.mapped());
  EXPECT_EQ(reader.size(), far + 512);
  std::string back(512, '\0');
  reader.read(0, back.data(), 512);
  EXPECT_EQ(back, page('A'));
  reader.read(512, back.data(), 512);
  EXPECT_EQ(back, std::string(512, '\0'));  // the gap reads as zeros
  reader.read(far, back.data(), 512);
  EXPECT_EQ(back, page('C'));
  EXPECT_THROW(reader.read(far + 512, back.data(), 1), IndexDamage);
#endif
}

// A process killed while it copies the pages of a commit: the file's witness writes the rest,
// so the file holds the old pages or the new ones, never some of each. Every other page of
// the commit is kept outside the batch (as a leaf's image is), which the witness finds too.
TEST_P(PageFileTest, ACommitKilledInTheMiddleOfItsCopyIsFinished) {
#ifdef _WIN32
  GTEST_SKIP() << "a killed child (fork) is POSIX; Windows writes index pages with WriteFile";
#else
  test::TempDir dir;
  const std::string path = dir.file("gross.cdx");
  constexpr std::size_t kPages = 8192;  // 4 MB: its copy takes a millisecond or more
  const std::string old(kPages * 512, 'A');
  test::adoptOrphans();

  // Returns the microseconds from the start of the copy to the end of the child (killed
  // after `wait` microseconds, unless wait < 0).
  auto commitInChild = [&](long wait) {
    test::writeBytes(path, old);
    int ready[2];
    EXPECT_EQ(::pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
      PageFile file;
      if (file.open(path, true, mapping()) != 0) _exit(3);
      PageBatch batch;
      const std::string kept(512 * kPages / 2, 'C');
      for (std::size_t p = 0; p < kPages; ++p) {
        if (p % 2)
          batch.addKept(p * 512, reinterpret_cast<const unsigned char*>(kept.data()) + p / 2 * 512,
                        512);
        else
          std::memset(batch.add(p * 512, 512), 'B', 512);
      }
      if (::write(ready[1], "x", 1) != 1) _exit(4);
      file.write(batch);
      _exit(0);
    }
    char byte;
    EXPECT_EQ(::read(ready[0], &byte, 1), 1);
    const auto begin = std::chrono::steady_clock::now();
    if (wait >= 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(wait));
      ::kill(child, SIGKILL);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    const auto took = std::chrono::steady_clock::now() - begin;
    test::waitForOrphans();
    ::close(ready[0]);
    ::close(ready[1]);
    return std::chrono::duration_cast<std::chrono::microseconds>(took).count();
  };

  std::string committed;
  for (std::size_t p = 0; p < kPages; ++p) committed += std::string(512, p % 2 ? 'C' : 'B');
  const long whole = commitInChild(-1);
  ASSERT_EQ(test::readBytes(path), committed);
  std::mt19937 random(test::testSeed());
  int finished = 0;
  for (int kill = 0; kill < 12; ++kill) {
    const long wait = std::uniform_int_distribution<long>(0, whole)(random);
    commitInChild(wait);
    const std::string now = test::readBytes(path);
    ASSERT_EQ(now.size(), old.size());
    if (now != old) {
      ASSERT_TRUE(now == committed) << "killed after " << wait << " of " << whole << " us";
      ++finished;
    }
  }
  RecordProperty("kills_after_the_copy_began", finished);
#endif
}

INSTANTIATE_TEST_SUITE_P(Writes, PageFileTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Mapped" : "Plain"; });

}  // namespace
}  // namespace zandor
