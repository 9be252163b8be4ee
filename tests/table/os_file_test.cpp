#include "table/os_file.h"

#include <gtest/gtest.h>

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

#ifndef _WIN32  // Windows files are never mapped (plain positioned reads and writes)
// Writes inside the mapped length are stores, writes past it (the file growing) system
// calls; either way every reader sees the same bytes, also through a second open.
TEST(OsFileMapping, WritesInsideAndPastTheMappedLengthReachTheFile) {
  test::TempDir dir;
  const std::string path = dir.file("satz.dbf");
  test::writeBytes(path, std::string(100, 'a'));
  OsFile file;
  ASSERT_EQ(file.open(path, false), 0);
  ASSERT_TRUE(file.mapExistingLength());
  EXPECT_EQ(file.writeAt(4, "ZAHL", 4), 0);      // inside
  EXPECT_EQ(file.writeAt(98, "xyz!", 4), 0);     // across the end
  EXPECT_EQ(file.writeAt(102, "weiter", 6), 0);  // past it
  EXPECT_EQ(file.writeAt(0, "K", 1), 0);         // inside again
  std::string expected = "KaaaZAHL" + std::string(90, 'a') + "xyz!weiter";
  EXPECT_EQ(readAll(file), expected);
  OsFile other;
  ASSERT_EQ(other.open(path, true), 0);
  EXPECT_EQ(readAll(other), expected);
  file.close();
  EXPECT_EQ(test::readBytes(path), expected);
}

// Cutting the file below the mapped length must not leave copies from or into pages that
// are no longer part of it (a fault): reads there find the end, writes go out as system
// calls and grow the file again.
TEST(OsFileMapping, WritesAfterTheFileWasCutGrowItAgain) {
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
}
#endif

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
