#include "table/os_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace zandor {
namespace {

std::string readAll(const OsFile& file) {
  std::string bytes(static_cast<std::size_t>(file.size()), '\0');
  file.readAt(0, bytes.data(), bytes.size());
  return bytes;
}

// Writes inside the mapped length are stores; writes going on at its end make the file
// and the mapping grow by room of zero bytes that the writer cuts off when it is done.
// Every reader sees the same bytes, also through a second open.
TEST(OsFileMapping, WritesInsideAndPastTheMappedLengthReachTheFile) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files are never mapped (plain positioned reads and writes)";
#else
  test::TempDir dir;
  const std::string path = dir.file("satz.dbf");
  test::writeBytes(path, std::string(100, 'a'));
  OsFile file;
  ASSERT_EQ(file.open(path, false), 0);
  ASSERT_TRUE(file.mapExistingLength());
  EXPECT_EQ(file.writeAt(4, "ZAHL", 4), 0);      // inside
  EXPECT_EQ(file.writeAt(98, "xyz!", 4), 0);     // across the end
  EXPECT_EQ(file.writeAt(102, "weiter", 6), 0);  // at it
  EXPECT_EQ(file.writeAt(0, "K", 1), 0);         // inside again
  std::string expected = "KaaaZAHL" + std::string(90, 'a') + "xyz!weiter";
  const std::string grown = readAll(file);
  EXPECT_EQ(grown.substr(0, expected.size()), expected);
  EXPECT_GE(grown.size(), std::size_t{1} << 20);
  EXPECT_EQ(grown.find_first_not_of('\0', expected.size()), std::string::npos);
  // On past the room: it grows once more, the bytes before stay.
  const std::string far(grown.size() - expected.size() + 5, 'b');
  EXPECT_EQ(file.writeAt(expected.size(), far.data(), far.size()), 0);
  expected += far;
  OsFile other;
  ASSERT_EQ(other.open(path, true), 0);
  EXPECT_EQ(readAll(other).substr(0, expected.size()), expected);
  ASSERT_EQ(file.truncate(expected.size()), 0);
  file.close();
  EXPECT_EQ(test::readBytes(path), expected);
#endif
}

// Cutting the file below the mapped length must not leave copies from or into pages that
// are no longer part of it (a fault): reads there find the end, writes go out as system
// calls and grow the file again.
TEST(OsFileMapping, WritesAfterTheFileWasCutGrowItAgain) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files are never mapped (plain positioned reads and writes)";
#else
  test::TempDir dir;
  const std::string path = dir.file("satz.dbf");
  test::writeBytes(path, std::string(10000, 'a'));
  OsFile file;
  ASSERT_EQ(file.open(path, false), 0);
  ASSERT_TRUE(file.mapExistingLength());
  ASSERT_EQ(file.truncate(10), 0);
  char read[8];
  EXPECT_EQ(file.readAt(20, read, sizeof read), 0);  // past the new end: nothing, no fault
  EXPECT_EQ(file.readAt(6, read, sizeof read), 4);
  EXPECT_EQ(file.writeAt(8000, "spaet", 5), 0);
  EXPECT_EQ(file.writeAt(2, "fr", 2), 0);
  file.close();
  const std::string bytes = test::readBytes(path);
  ASSERT_EQ(bytes.size(), 8005u);
  EXPECT_EQ(bytes.substr(0, 10), "aafraaaaaa");
  EXPECT_EQ(bytes.substr(10, 10), std::string(10, '\0'));
  EXPECT_EQ(bytes.substr(8000), "spaet");
#endif
}

// Where no room can be had (here a file size limit, as on a full disk), appends go out as
// system calls and fail as those do: an error returned, never a fault on a store.
TEST(OsFileMapping, AppendsWithoutRoomFailAsWritesDo) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files are never mapped (plain positioned reads and writes)";
#else
  test::TempDir dir;
  const std::string path = dir.file("satz.dbf");
  constexpr std::size_t kStart = 3u << 20, kLimit = kStart + 300000;
  test::writeBytes(path, std::string(kStart, 'a'));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = kLimit;
    setrlimit(RLIMIT_FSIZE, &limit);
    OsFile file;
    if (file.open(path, false) != 0 || !file.mapExistingLength()) _exit(3);
    const std::string record(1000, 'r');
    std::uint64_t at = kStart;
    while (file.writeAt(at, record.data(), record.size()) == 0) at += record.size();
    // Every record before the failing one is whole, and the file still reads.
    if (at != kStart + (kLimit - kStart) / 1000 * 1000 ||
        readAll(file).substr(kStart) != std::string(at - kStart, 'r'))
      _exit(4);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

// Room grown ahead is given back on demand (a full disk elsewhere): the file is cut to what
// was written, and later writes go on from there, growing by what they need.
TEST(OsFileMapping, RoomAheadIsGivenBackAndWritesGoOn) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files are never mapped (plain positioned reads and writes)";
#else
  test::TempDir dir;
  const std::string path = dir.file("satz.dbf");
  test::writeBytes(path, std::string(5000, 'a'));
  OsFile file;
  ASSERT_EQ(file.open(path, false), 0);
  ASSERT_TRUE(file.mapExistingLength());
  ASSERT_EQ(file.writeAt(5000, "bbbb", 4), 0);
  ASSERT_GE(file.size(), 1 << 20);  // a megabyte ahead
  releaseRoomAhead();
  EXPECT_EQ(file.size(), 5004);
  ASSERT_EQ(file.writeAt(5004, "cc", 2), 0);
  EXPECT_LT(file.size(), 5004 + 65536);  // a page or so, no longer a megabyte
  EXPECT_EQ(file.writeAt(1, "x", 1), 0);
  ASSERT_EQ(file.truncate(5006), 0);
  file.close();
  const std::string bytes = test::readBytes(path);
  EXPECT_EQ(bytes, "a" + std::string("x") + std::string(4998, 'a') + "bbbbcc");
#endif
}

// A lock that another open lets go a moment later is waited for (a program killed a moment
// ago holds its files until the system has ended it).
TEST(OsFileLocks, ALockReleasedSoonIsWaitedFor) {
  test::TempDir dir;
  const std::string path = dir.file("satz.dbf");
  test::writeBytes(path, "abc");
  OsFile holder;
  ASSERT_EQ(holder.openLocked(path, false, true), 0);
  std::thread release([&holder] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    holder.close();
  });
  OsFile waiter;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(waiter.openLocked(path, false, true), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));
  release.join();
}

TEST(OsFileMapping, AnEmptyFileIsNotMapped) {
  test::TempDir dir;
  const std::string path = dir.file("leer.dbf");
  test::writeBytes(path, "");
  OsFile file;
  ASSERT_EQ(file.open(path, false), 0);
  EXPECT_FALSE(file.mapExistingLength());
  EXPECT_EQ(file.writeAt(0, "x", 1), 0);
  EXPECT_EQ(readAll(file), "x");
}

// Reads and writes at offsets keep their places when threads use one open file at once
// (Windows seeks the handle first), and a read past the end gives what is there.
TEST(OsFileOffsets, ThreadsReadingAndWritingOneFileKeepTheirOffsets) {
  test::TempDir dir;
  const std::string path = dir.file("satz.dbf");
  test::writeBytes(path, "");
  OsFile file;
  ASSERT_EQ(file.open(path, false), 0);
  constexpr int kThreads = 4, kRecords = 400;
  constexpr std::size_t kLength = 32;
  const auto record = [](int t, int i) {
    std::string r = "T" + std::to_string(t) + "R" + std::to_string(i);
    r.resize(kLength, static_cast<char>('a' + t));
    return r;
  };
  const auto offset = [](int t, int i) { return (std::uint64_t(i) * kThreads + t) * kLength; };
  std::vector<int> misreads(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRecords; ++i) {
        if (file.writeAt(offset(t, i), record(t, i).data(), kLength) != 0) ++misreads[t];
        std::string back(kLength, '\0');
        const int earlier = i / 2;
        if (file.readAt(offset(t, earlier), back.data(), kLength) != long(kLength) ||
            back != record(t, earlier))
          ++misreads[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(misreads, std::vector<int>(kThreads, 0));
  std::string expected;
  for (int i = 0; i < kRecords; ++i) {
    for (int t = 0; t < kThreads; ++t) expected += record(t, i);
  }
  EXPECT_EQ(readAll(file), expected);
  char tail[10];
  EXPECT_EQ(file.readAt(expected.size() - 4, tail, sizeof tail), 4);
  EXPECT_EQ(file.readAt(expected.size() + 100, tail, sizeof tail), 0);
}

}  // namespace
}  // namespace zandor
