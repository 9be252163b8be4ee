#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "import/import_fixture.h"
#include "mapping/mapping_profile.h"

namespace zandor {
namespace {

// Which files a whole `zandor-cli import` put on stable storage, and how often: the system
// calls as strace shows them, with the path behind each descriptor. A writeback started
// without waiting (sync_file_range) is counted apart, under "started " and the file name.
class DurabilityTest : public test::ImportFixture {
 protected:
  void run(const std::string& driverIndex, std::map<std::string, int>& synced) {
    makeTable("ADRESSEN.DBF", {{"KUNDE", 'C', 10, 0}, {"NAME1", 'C', 20, 0}});
    cli("dbf index '" + state.cDbfFile + "' '" + data.file(driverIndex) + "' --key KUNDE" +
        (driverIndex.ends_with(".cdx") ? " --tag ADKUN" : ""));
    if (driverIndex.ends_with(".cdx")) {
      cli("dbf index '" + state.cDbfFile + "' '" + data.file("ADRESSEN.cdx") +
          "' --tag NAME --key NAME1");
    }
    std::vector<std::string> lines = {"Kunde;Name"};
    for (int row = 1; row <= 300; ++row) {
      lines.push_back("K" + std::to_string(row) + ";Name " + std::to_string(row));
    }
    makeSheet(lines);
    map("KUNDE", 1);
    map("NAME1", 2);
    state.nStopColumn = 1;
    state.vorein(vorein::kHeader) = Value::logical(true);
    const std::string profile = data.file("adressen.qno");
    const auto bytes = encodeProfileFile(state);
    ASSERT_TRUE(bytes.has_value());
    test::writeBytes(profile, *bytes);

    const std::string trace = home.file("strace.txt");
    std::string out;
    // LeakSanitizer cannot run under ptrace.
    ASSERT_EQ(test::runCommand("ASAN_OPTIONS=detect_leaks=0 strace -f -y -qq -e "
                               "trace=fsync,fdatasync,sync_file_range -o '" +
                                   trace + "' '" + test::cliPath() + "' import '" + profile +
                                   "' --settings '" + home.file("zandor.ini") + "' 2>&1",
                               &out),
              0)
        << out;
    ASSERT_THAT(out, ::testing::HasSubstr("300 neue Datens"));
    std::istringstream in(test::readBytes(trace));
    for (std::string line; std::getline(in, line);) {
      const auto open = line.find('<');
      const auto close = line.find('>', open);
      if (open == std::string::npos || close == std::string::npos) continue;
      const std::string path = line.substr(open + 1, close - open - 1);
      const bool started = line.find("sync_file_range(") != std::string::npos;
      ++synced[(started ? "started " : "") + path.substr(path.find_last_of('/') + 1)];
    }
  }
  void cli(const std::string& arguments) {
    std::string out;
    ASSERT_EQ(test::runCommand("'" + test::cliPath() + "' " + arguments + " 2>&1", &out), 0) << out;
  }
  static bool haveStrace() { return test::runCommand("strace -V >/dev/null 2>&1") == 0; }
};

// strace watches Linux system calls; under Windows the same calls are FlushFileBuffers.
#ifdef _WIN32
#define ZANDOR_REQUIRE_STRACE() GTEST_SKIP() << "strace traces Linux system calls only"
#else
#define ZANDOR_REQUIRE_STRACE() ZANDOR_REQUIRE(haveStrace(), "strace")
#endif

TEST_F(DurabilityTest, TableAndEveryIndexFileAreSyncedOnceAtTheEndNotPerRecord) {
  ZANDOR_REQUIRE_STRACE();
  std::map<std::string, int> cdx;
  run("adkun.cdx", cdx);
  EXPECT_EQ(cdx["ADRESSEN.DBF"], 1) << ::testing::PrintToString(cdx);
  EXPECT_EQ(cdx["adkun.cdx"], 1) << ::testing::PrintToString(cdx);
  EXPECT_EQ(cdx["ADRESSEN.cdx"], 1) << ::testing::PrintToString(cdx);
  // The index files start going out while the table is synced, once each.
  EXPECT_EQ(cdx["started adkun.cdx"], 1) << ::testing::PrintToString(cdx);
  EXPECT_EQ(cdx["started ADRESSEN.cdx"], 1) << ::testing::PrintToString(cdx);
  // The log is part of the result: it is synced once too, when it is closed.
  int logs = 0;
  for (const auto& [name, count] : cdx) {
    if (name.starts_with("Einlesen") && name.ends_with(".log")) logs += count;
  }
  EXPECT_EQ(logs, 1) << ::testing::PrintToString(cdx);
  EXPECT_EQ(cdx.size(), 6u) << ::testing::PrintToString(cdx);
}

TEST_F(DurabilityTest, NtxIndexIsSyncedToo) {
  ZANDOR_REQUIRE_STRACE();
  std::map<std::string, int> ntx;
  run("adkun.ntx", ntx);
  EXPECT_EQ(ntx["ADRESSEN.DBF"], 1) << ::testing::PrintToString(ntx);
  EXPECT_EQ(ntx["adkun.ntx"], 1) << ::testing::PrintToString(ntx);
}

}  // namespace
}  // namespace zandor
