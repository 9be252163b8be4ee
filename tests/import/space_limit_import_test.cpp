#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "import/import_fixture.h"
#include "mapping/mapping_profile.h"

namespace zandor {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A whole `zandor-cli import` where space is short: under a file size limit, and on a file
// system of a given size. Room grown ahead for the table must never be the reason a run
// fails: every run that would fit with the space its files need goes through.
class SpaceLimitImportTest : public test::ImportFixture {
 protected:
  std::string profile;
  std::string settings;

  // ADRESSEN with a CDX index on the key and a structural one on the name, and a sheet of
  // `rows` new customers whose keys come in no order.
  void prepare(int rows, int nameLength) {
    makeTable("ADRESSEN.DBF", {{"KUNDE", 'C', 10, 0}, {"NAME1", 'C', nameLength, 0}});
    cli("dbf index '" + state.cDbfFile + "' '" + data.file("adkun.cdx") +
        "' --tag ADKUN --key KUNDE");
    cli("dbf index '" + state.cDbfFile + "' '" + data.file("ADRESSEN.cdx") +
        "' --tag NAME --key NAME1");
    std::vector<std::string> lines = {"Kunde;Name"};
    for (int row = 1; row <= rows; ++row) {
      lines.push_back("K" + std::to_string(row * 7919 % 1000003) + ";Name " + std::to_string(row));
    }
    makeSheet(lines);
    map("KUNDE", 1);
    map("NAME1", 2);
    profile = home.file("adressen.qno");
    const auto bytes = encodeProfileFile(state);
    ASSERT_TRUE(bytes.has_value());
    test::writeBytes(profile, *bytes);
    settings = home.file("zandor.ini");
  }

  void cli(const std::string& arguments) {
    std::string out;
    ASSERT_EQ(test::runCommand("'" + test::cliPath() + "' " + arguments + " 2>&1", &out), 0) << out;
  }

  std::string importCommand(const std::string& dbf) const {
    return "'" + test::cliPath() + "' import '" + profile + "' --settings '" + settings +
           "' --dbf '" + dbf + "'";
  }
  std::string checkCommand(const std::string& dir) const {
    return "'" + test::cliPath() + "' dbf check '" + dir + "/ADRESSEN.DBF' '" + dir +
           "/adkun.cdx' '" + dir + "/ADRESSEN.cdx'";
  }
};

// The program is not ended by the limit: a run whose records stay below it goes through
// (growing ahead by a megabyte would pass it), one that passes it fails as on a full disk,
// with the reason in German, and a repair leaves files the check accepts.
TEST_F(SpaceLimitImportTest, AFileSizeLimitIsAWriteErrorNotTheEndOfTheProgram) {
#ifdef _WIN32
  GTEST_SKIP() << "file size limits (prlimit) are Linux only";
#else
  prepare(3000, 20);
  const std::string copy = home.file("kopie");
  ASSERT_EQ(test::runCommand("cp -r '" + data.path().string() + "' '" + copy + "'"), 0);
  std::string out;
  // 97 + 3000 x 31 bytes of table, the largest file of the run.
  int status = test::runCommand(
      "prlimit --fsize=200000 -- " + importCommand(state.cDbfFile) + " 2>&1", &out);
  EXPECT_EQ(status, 0) << out;
  EXPECT_THAT(out, HasSubstr("Fertig!"));
  EXPECT_EQ(test::runCommand(checkCommand(data.path().string()) + " 2>&1", &out), 0) << out;

  status = test::runCommand(
      "prlimit --fsize=50000 -- " + importCommand(copy + "/ADRESSEN.DBF") + " 2>&1", &out);
  EXPECT_EQ(status, 1) << out;
  EXPECT_THAT(out, Not(HasSubstr("Fertig!")));
  EXPECT_THAT(out, HasSubstr("größer, als das System erlaubt"));
  ASSERT_EQ(test::runCommand("'" + test::cliPath() + "' dbf repair '" + copy + "/ADRESSEN.DBF' '" +
                                 copy + "/adkun.cdx' '" + copy + "/ADRESSEN.cdx' 2>&1",
                             &out),
            0)
      << out;
  EXPECT_EQ(test::runCommand(checkCommand(copy) + " 2>&1", &out), 0) << out;
#endif
}

// On file systems of growing size, from too small for the run to well beyond: once a size
// is large enough, every larger one is too. Growing the table ahead by a megabyte at a time
// took, on some sizes, the space the index files needed later.
TEST_F(SpaceLimitImportTest, MoreSpaceNeverMakesARunFail) {
#ifdef _WIN32
  GTEST_SKIP() << "mounts of a file system of our own are Linux only";
#else
  // A mount namespace of our own, as root or in a user namespace of our own.
  std::string unshare = "unshare -m";
  if (test::runCommand(unshare + " true 2>/dev/null") != 0) unshare = "unshare -rm";
  if (test::runCommand(unshare + " true 2>/dev/null") != 0) {
    if (test::inCi()) FAIL() << "no mount namespace to be had for a small file system";
    GTEST_SKIP() << "no mount namespace to be had for a small file system";
  }
  // About 1.4 MB of table at the end: growing ahead reaches 2 MB in steps of one.
  prepare(20000, 60);
  const std::string mount = home.file("klein");
  std::ostringstream script;
  // Each size: a fresh file system with the table and its indexes, one import, its check.
  script << "set -u; mkdir -p '" << mount << "'; for size in $SIZES; do "
         << "mount -t tmpfs -o size=${size}k tmpfs '" << mount << "' || exit 99; "
         << "cp '" << data.path().string() << "'/ADRESSEN.DBF '" << data.path().string()
         << "'/*.cdx '" << mount << "'/ || exit 98; " << importCommand(mount + "/ADRESSEN.DBF")
         << " >/dev/null 2>&1; run=$?; " << checkCommand(mount)
         << " >/dev/null 2>&1; check=$?; used=$(du -sk '" << mount << "' | cut -f1); "
         << "echo \"$size $run $check $used\"; umount '" << mount << "'; done";
  test::writeBytes(home.file("klein.sh"), script.str());
  const auto runSizes = [&](const std::string& sizes) {
    std::string out;
    const int status = test::runCommand(
        "SIZES='" + sizes + "' " + unshare + " sh '" + home.file("klein.sh") + "' 2>&1", &out);
    EXPECT_EQ(status, 0) << out;
    return out;
  };
  // What the files take when space is plenty.
  std::istringstream plenty(runSizes("16384"));
  int size = 0, run = -1, check = -1, used = 0;
  plenty >> size >> run >> check >> used;
  ASSERT_EQ(run, 0);
  ASSERT_EQ(check, 0);
  ASSERT_GT(used, 1000);

  // Under the sanitizers a run takes twenty times as long: every fifth size there, the plain
  // build tries them all.
#ifdef __SANITIZE_ADDRESS__
  constexpr int kStep = 160;
#else
  constexpr int kStep = 32;
#endif
  std::string sizes;
  int expected = 0;
  for (int kib = used - 96; kib <= used + 1600; kib += kStep, ++expected) {
    sizes += std::to_string(kib) + " ";
  }
  std::istringstream results(runSizes(sizes));
  int firstFit = 0, runs = 0;
  while (results >> size >> run >> check >> used) {
    ++runs;
    if (run == 0) {
      EXPECT_EQ(check, 0) << "check failed after a run on " << size << " KiB";
      if (firstFit == 0) firstFit = size;
    } else {
      EXPECT_EQ(firstFit, 0) << "a run on " << size << " KiB failed, one on " << firstFit
                             << " KiB went through";
    }
  }
  EXPECT_EQ(runs, expected);
  EXPECT_NE(firstFit, 0);
#endif
}

}  // namespace
}  // namespace zandor
