#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "app/startup.h"
#include "base/date.h"
#include "base/encoding.h"
#include "base/paths.h"
#include "import/import_log.h"
#include "import/local_time.h"
#include "import/log_entries.h"
#include "support/test_support.h"

namespace zandor {
namespace {

class ImportLogTest : public ::testing::Test {
 protected:
  void SetUp() override { setProgramDateSettings(); }

  // The file split at CR LF; a bare LF or CR would stay inside a line and fail the compare.
  static std::vector<std::string> lines(const std::string& bytes) {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t pos; (pos = bytes.find("\r\n", start)) != std::string::npos; start = pos + 2) {
      result.push_back(bytes.substr(start, pos - start));
    }
    result.push_back(bytes.substr(start));
    return result;
  }

  test::TempDir dir_;
};

TEST_F(ImportLogTest, AWholeRunReadsLikeTheExample) {
  const std::int32_t day = dayNumber(2026, 12, 6);
  const std::int32_t millis = ((17 * 60 + 55) * 60 + 3) * 1000 + 250;
  const std::string exePath = dir_.path().string() + kPathSeparator;
  ASSERT_TRUE(createDirectory(exePath + "log"));
  const std::string name = importLogFileName(exePath, day, timeWithPoints(millis));
  EXPECT_EQ(name, exePath + "log" + kPathSeparator + "Einlesen06.12.26-17.55.03.log");

  const std::string text35 = utf8ToCp1252("Müllerstraße 1, Hinterhaus, 3.Stock");
  ASSERT_EQ(text35.size(), 35u);
  {
    ImportLog log(name);
    log.add(logStartEntry(day, millis));
    log.add(logTableEntry("C:\\daten\\Adressen.dbf"));
    log.add(logIndexTypeEntry(true));
    log.add("Zeile: 4 - Datenl\xe4ngenfehler(35->30): " + text35);
    log.add("");
    log.add(logErrorCountEntry(1));
    log.add("");
    log.add(logTotalEntry(3, "1.25"));
    log.add(logSplitEntry(2, 1, 0));
  }
  const std::string bytes = test::readBytes(name);
  const std::vector<std::string> expected = {
      "Einlesevorgang vom: 06.12.26 um 17:55:03 Uhr",
      "Datei: C:\\DATEN\\ADRESSEN.DBF",
      "Indextyp: DBFCDX",
      "Zeile: 4 - Datenlängenfehler(35->30): Müllerstraße 1, Hinterhaus, 3.Stock",
      "",
      "Es wurden 1 Fehler protokolliert",
      "",
      "Insgesamt wurden 3 Datensätze in 1.25 Sekunden bearbeitet.",
      "Davon sind 2 neue Datensätze, 1 geupdatet, 0 unverändert",
  };
  const std::vector<std::string> actual = lines(bytes);
  ASSERT_EQ(actual.size(), expected.size()) << bytes;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(cp1252ToUtf8(actual[i]), expected[i]) << "line " << i + 1;
  }
  // Single-byte umlauts and no line break after the last entry.
  EXPECT_NE(bytes.find("Datens\xe4tze"), std::string::npos);
  EXPECT_EQ(bytes.substr(bytes.size() - 11), "unver\xe4ndert");
}

TEST_F(ImportLogTest, EachEntryIsOnDiskAtOnce) {
  ImportLog log(dir_.file("a.log"));
  log.add("eins");
  EXPECT_EQ(test::readBytes(dir_.file("a.log")), "eins");
  log.add("zwei\r\nzweite Zeile");
  EXPECT_EQ(test::readBytes(dir_.file("a.log")), "eins\r\nzwei\r\nzweite Zeile");
  log.close();
  log.add(
      "nach dem Schlie\xdf"
      "en");
  EXPECT_EQ(test::readBytes(dir_.file("a.log")), "eins\r\nzwei\r\nzweite Zeile");
}

TEST_F(ImportLogTest, ASecondRunWithTheSameNameContinuesTheFile) {
  {
    ImportLog first(dir_.file("same.log"));
    first.add("Lauf 1");
    first.add("Ende 1");
  }
  {
    ImportLog second(dir_.file("same.log"));
    second.add("Lauf 2");
  }
  EXPECT_EQ(test::readBytes(dir_.file("same.log")), "Lauf 1\r\nEnde 1\r\nLauf 2");
}

TEST_F(ImportLogTest, AMissingLogDirectoryIsToleratedSilently) {
  const std::string name = dir_.file("fehlt") + kPathSeparator + "x.log";
  ImportLog log(name);
  EXPECT_FALSE(log.isOpen());
  log.add("verloren");
  log.close();
  EXPECT_FALSE(fileExists(name));
  EXPECT_EQ(log.fileName(), name);
}

TEST_F(ImportLogTest, FixedEntriesHaveTheirWording) {
  EXPECT_EQ(logErrorCountEntry(0), "Es wurden keine Fehler protokolliert");
  EXPECT_EQ(logErrorCountEntry(3), "Es wurden 3 Fehler protokolliert");
  EXPECT_EQ(logIndexTypeEntry(false), "Indextyp: DBFNTX");
  EXPECT_EQ(logTableEntry("c:\\d\xe4ten\\artikel.dbf"), "Datei: C:\\D\xe4TEN\\ARTIKEL.DBF");
  EXPECT_EQ(logUnreadableKeyEntry(5, 3), "Zelle 5:3 konnte nicht gelesen werden!");
  EXPECT_EQ(logUnreadableCellEntry("C", 5), "Fehler (2) in Excelfeld C5");
  EXPECT_EQ(logRefusedValueEntry("AB", 17), "Fehler (1) in Excelfeld AB17");
}

TEST(LocalTime, TimesAreWrittenWithPoints) {
  EXPECT_EQ(timeWithPoints(0), "00.00.00");
  EXPECT_EQ(timeWithPoints(((23 * 60 + 59) * 60 + 59) * 1000 + 999), "23.59.59");
  const std::string now = CZEIT();
  ASSERT_EQ(now.size(), 8u);
  EXPECT_EQ(now[2], '.');
  EXPECT_EQ(now[5], '.');
  EXPECT_GT(localNow().day, dayNumber(2020, 1, 1));
}

}  // namespace
}  // namespace zandor
