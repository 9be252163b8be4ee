// Rebuilding an index file replaces it by a new file; the new one keeps the old one's
// identity: a symbolic link stays a link to the rebuilt file, mode and owner stay, and a file
// the user may not write is not replaced at all.
#include <gtest/gtest.h>

#ifndef _WIN32  // links, modes and owners as tested here are POSIX file identity
#include <gmock/gmock.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "support/test_support.h"
#include "table/cdx_file.h"
#include "table/index_build.h"
#include "table/table_create.h"
#include "table/work_areas.h"

namespace zandor::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr uid_t kNobody = 65534;

int cli(const std::string& args, std::string* out = nullptr) {
  return runCommand("'" + cliPath() + "' dbf " + args + " 2>&1", out);
}

std::string quoted(const std::string& path) {
  return "'" + path + "'";
}

void appendCustomers(const std::string& table, int from, int to) {
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "DBFNTX", table, "", std::nullopt, false));
  for (int i = from; i <= to; ++i) {
    areas.DBAPPEND();
    areas.FIELDPUT(1, Value::text("K" + std::to_string(i)));
    areas.FIELDPUT(2, Value::integer(i));
  }
}

std::string makeTable(const fs::path& dir) {
  const std::string path = (dir / "T.dbf").string();
  createTable(path, {{"KUNDE", 'C', 6, 0}, {"NR", 'N', 6, 0}});
  appendCustomers(path, 1, 4);
  return path;
}

std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct stat statOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}

TEST(IndexIdentityTest, LinkedIndexesStayLinksAndTheFilesTheyNameAreRebuilt) {
  TempDir dir;
  fs::create_directory(dir.path() / "data");
  fs::create_directory(dir.path() / "real");
  const std::string table = makeTable(dir.path() / "data");
  const std::string realCdx = dir.file("real/k.cdx");
  const std::string realNtx = dir.file("real/kunde.ntx");
  createIndex(table, realCdx, "KUNDE", "KUNDE");
  createIndex(table, realNtx, "", "KUNDE");
  const std::string cdx = dir.file("data/k.cdx");
  const std::string ntx = dir.file("data/kunde.ntx");
  fs::create_symlink("../real/k.cdx", cdx);
  fs::create_symlink(realNtx, ntx);
  appendCustomers(table, 5, 6);  // the indexes now lack two records
  ASSERT_FALSE(checkIndex(table, cdx).empty());
  const auto dataFiles = listing(dir.path() / "data");
  const auto realFiles = listing(dir.path() / "real");

  std::string out;
  ASSERT_EQ(cli("reindex " + quoted(table) + " " + quoted(cdx), &out), 0) << out;
  ASSERT_EQ(cli("reindex " + quoted(table) + " " + quoted(ntx), &out), 0) << out;
  ASSERT_EQ(cli("index " + quoted(table) + " " + quoted(cdx) + " --tag NR --key NR", &out), 0)
      << out;
  appendCustomers(table, 7, 7);
  ASSERT_EQ(cli("repair " + quoted(table) + " " + quoted(cdx) + " " + quoted(ntx), &out), 0) << out;

  for (const auto& [link, target] :
       {std::pair{cdx, std::string("../real/k.cdx")}, std::pair{ntx, realNtx}}) {
    ASSERT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_EQ(fs::read_symlink(link).string(), target);
    EXPECT_TRUE(checkIndex(table, link).empty());
  }
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(realCdx)));
  EXPECT_TRUE(checkIndex(table, realCdx).empty());
  EXPECT_TRUE(checkIndex(table, realNtx).empty());
  EXPECT_EQ(CdxFile::open(realCdx, false)->orderCount(), 2u);
  // No temporary file is left in either directory.
  EXPECT_EQ(listing(dir.path() / "data"), dataFiles);
  EXPECT_EQ(listing(dir.path() / "real"), realFiles);
}

TEST(IndexIdentityTest, RebuiltFilesKeepModeAndOwner) {
  TempDir dir;
  const std::string table = makeTable(dir.path());
  const bool root = geteuid() == 0;
  struct Case {
    std::string file;
    fs::perms mode;
  };
  // Root may write a file without write bits; others are refused (next test).
  std::vector<Case> cases = {{dir.file("a.cdx"), fs::perms(0640)},
                             {dir.file("a.ntx"), fs::perms(0640)}};
  if (root) {
    cases.push_back({dir.file("b.cdx"), fs::perms(0444)});
    cases.push_back({dir.file("b.ntx"), fs::perms(0444)});
  }
  for (const Case& c : cases) {
    createIndex(table, c.file, "KUNDE", "KUNDE");
    fs::permissions(c.file, c.mode);
    // Another user's file, where we may give it away.
    if (root) {
      ASSERT_EQ(::chown(c.file.c_str(), kNobody, kNobody), 0);
    }
  }
  appendCustomers(table, 5, 5);
  for (const Case& c : cases) {
    const struct stat before = statOf(c.file);
    std::string out;
    ASSERT_EQ(cli("reindex " + quoted(table) + " " + quoted(c.file), &out), 0) << out;
    const struct stat after = statOf(c.file);
    EXPECT_NE(after.st_ino, before.st_ino) << c.file << ": not replaced";
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777) << c.file;
    EXPECT_EQ(after.st_uid, before.st_uid) << c.file;
    EXPECT_EQ(after.st_gid, before.st_gid) << c.file;
    EXPECT_TRUE(checkIndex(table, c.file).empty()) << c.file;
  }
}

// A user who may not write the index file must not replace it, even though the directory
// would let him put another file in its place.
TEST(IndexIdentityTest, AnIndexTheUserMayNotWriteIsRefusedAndLeftAlone) {
  TempDir dir;
  const std::string table = makeTable(dir.path());
  const std::string cdx = dir.file("k.cdx");
  const std::string ntx = dir.file("kunde.ntx");
  createIndex(table, cdx, "KUNDE", "KUNDE");
  createIndex(table, ntx, "", "KUNDE");
  appendCustomers(table, 5, 6);
  // A table whose header undercounts its records, so repair would have something to do.
  std::string bytes = readBytes(table);
  bytes[4] = 5;
  writeBytes(table, bytes);
  fs::permissions(dir.path(), fs::perms::all);
  fs::permissions(table, fs::perms(0666));
  fs::permissions(cdx, fs::perms(0444));
  fs::permissions(ntx, fs::perms(0444));
  const std::string tableBefore = readBytes(table);
  const std::string cdxBefore = readBytes(cdx);
  const std::string ntxBefore = readBytes(ntx);
  const auto files = listing(dir.path());

  EXPECT_TRUE(passesWithoutRoot([&] {
    bool ok = true;
    auto refused = [&](const std::string& args) {
      std::string out;
      const int status = cli(args, &out);
      const bool good = status == 1 && out.find("Keine Schreibrechte") != std::string::npos;
      if (!good) std::fprintf(stderr, "%s -> %d: %s\n", args.c_str(), status, out.c_str());
      ok = ok && good;
    };
    refused("reindex " + quoted(table) + " " + quoted(cdx));
    refused("reindex " + quoted(table) + " " + quoted(ntx));
    refused("repair " + quoted(table) + " " + quoted(cdx));
    refused("repair " + quoted(table) + " " + quoted(ntx));
    refused("index " + quoted(table) + " " + quoted(cdx) + " --tag NR --key NR");
    refused("index " + quoted(table) + " " + quoted(ntx) + " --key NR");
    return ok;
  }));
  EXPECT_EQ(readBytes(table), tableBefore);
  EXPECT_EQ(readBytes(cdx), cdxBefore);
  EXPECT_EQ(readBytes(ntx), ntxBefore);
  EXPECT_EQ(listing(dir.path()), files);
}

// Where the user may write the index file but not take its name: a directory with the sticky
// bit, the file another user's. The rename fails, the command says so, and the old file and
// nothing else is there.
TEST(IndexIdentityTest, ARenameThatFailsLeavesTheOldFileAndNoTemporaryFile) {
  if (geteuid() != 0) GTEST_SKIP() << "needs a file of another user";
  TempDir dir;
  const std::string table = makeTable(dir.path());
  const std::string cdx = dir.file("k.cdx");
  const std::string ntx = dir.file("kunde.ntx");
  createIndex(table, cdx, "KUNDE", "KUNDE");
  createIndex(table, ntx, "", "KUNDE");
  appendCustomers(table, 5, 6);
  fs::permissions(dir.path(), fs::perms::all | fs::perms::sticky_bit);
  fs::permissions(table, fs::perms(0666));
  fs::permissions(cdx, fs::perms(0666));
  fs::permissions(ntx, fs::perms(0666));
  const std::string cdxBefore = readBytes(cdx);
  const std::string ntxBefore = readBytes(ntx);
  const auto files = listing(dir.path());
  EXPECT_TRUE(passesWithoutRoot([&] {
    std::string out;
    bool ok = true;
    for (const std::string& index : {cdx, ntx}) {
      const int status = cli("reindex " + quoted(table) + " " + quoted(index), &out);
      ok = ok && status == 1 && out.find("kann die alte nicht ersetzen") != std::string::npos;
      if (status != 1) std::fprintf(stderr, "%s -> %d: %s\n", index.c_str(), status, out.c_str());
    }
    return ok;
  }));
  EXPECT_EQ(readBytes(cdx), cdxBefore);
  EXPECT_EQ(readBytes(ntx), ntxBefore);
  EXPECT_EQ(listing(dir.path()), files);
}

// A user who may write another user's index file replaces it with a file of his own (only root
// may give a file away); the mode stays, and the other user's rights with it.
TEST(IndexIdentityTest, AFileOfAnotherUserComesBackAsTheRebuildersWithItsMode) {
  if (geteuid() != 0) GTEST_SKIP() << "needs a file of another user";
  TempDir dir;
  const std::string table = makeTable(dir.path());
  const std::string ntx = dir.file("kunde.ntx");
  createIndex(table, ntx, "", "KUNDE");
  appendCustomers(table, 5, 5);
  fs::permissions(dir.path(), fs::perms::all);
  fs::permissions(ntx, fs::perms(0666));
  EXPECT_TRUE(passesWithoutRoot([&] {
    std::string out;
    return cli("reindex " + quoted(table) + " " + quoted(ntx), &out) == 0;
  }));
  const struct stat after = statOf(ntx);
  EXPECT_EQ(after.st_uid, kNobody);
  EXPECT_EQ(after.st_mode & 07777, 0666u);
  EXPECT_TRUE(checkIndex(table, ntx).empty());
}

// A rebuild that runs out of room (a full disk) fails before the rename: the old file stays
// as it was and the temporary file is gone.
TEST(IndexIdentityTest, ARebuildOnAFullDiskLeavesTheOldFile) {
  TempDir dir;
  const std::string table = makeTable(dir.path());
  const std::string cdx = dir.file("k.cdx");
  const std::string ntx = dir.file("kunde.ntx");
  createIndex(table, cdx, "KUNDE", "KUNDE");
  createIndex(table, ntx, "", "KUNDE");
  appendCustomers(table, 5, 3000);
  const std::string cdxBefore = readBytes(cdx);
  const std::string ntxBefore = readBytes(ntx);
  const auto files = listing(dir.path());
  {
    ASSERT_LT(std::max(cdxBefore.size(), ntxBefore.size()), 6000u);
    FileSizeLimit limit(6000);
    EXPECT_THROW(reindexFile(table, cdx), std::runtime_error);
    EXPECT_THROW(reindexFile(table, ntx), std::runtime_error);
  }
  EXPECT_TRUE(readBytes(cdx) == cdxBefore);
  EXPECT_TRUE(readBytes(ntx) == ntxBefore);
  EXPECT_EQ(listing(dir.path()), files);
}

}  // namespace
}  // namespace zandor::test
#else
namespace zandor {
namespace {

constexpr const char* kWhySkipped =
    "links, modes and owners as tested here are POSIX file identity";

TEST(IndexIdentityTest, LinkedIndexesStayLinksAndTheFilesTheyNameAreRebuilt) {
  GTEST_SKIP() << kWhySkipped;
}

TEST(IndexIdentityTest, RebuiltFilesKeepModeAndOwner) {
  GTEST_SKIP() << kWhySkipped;
}

TEST(IndexIdentityTest, AnIndexTheUserMayNotWriteIsRefusedAndLeftAlone) {
  GTEST_SKIP() << kWhySkipped;
}

TEST(IndexIdentityTest, ARenameThatFailsLeavesTheOldFileAndNoTemporaryFile) {
  GTEST_SKIP() << kWhySkipped;
}

TEST(IndexIdentityTest, AFileOfAnotherUserComesBackAsTheRebuildersWithItsMode) {
  GTEST_SKIP() << kWhySkipped;
}

TEST(IndexIdentityTest, ARebuildOnAFullDiskLeavesTheOldFile) {
  GTEST_SKIP() << "no file size limit on Windows to make writes fail as on a full disk";
}

}  // namespace
}  // namespace zandor
#endif
