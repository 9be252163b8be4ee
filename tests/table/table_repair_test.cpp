#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/encoding.h"
#include "support/peers.h"
#include "support/table_readers.h"
#include "support/test_support.h"
#include "table/index_build.h"
#include "table/table_create.h"
#include "table/table_repair.h"
#include "table/work_area.h"
#include "table_test_util.h"

namespace zandor {
namespace {

using test::readBytes;
using test::TempDir;
using test::u16At;
using test::u32At;
using test::writeBytes;
using ::testing::HasSubstr;

// KUNDE C(6), NAME1 C(10): record length 17.
constexpr std::size_t kRecordLength = 17;

std::string makeCustomers(const TempDir& dir, int records = 0) {
  const std::string path = dir.file("ADRESSEN.DBF");
  createTable(path, {{"KUNDE", 'C', 6, 0}, {"NAME1", 'C', 10, 0}});
  if (records > 0) {
    auto area = WorkArea::open(path, "DBFCDX", false, false);
    for (int i = 1; i <= records; ++i) {
      area->append();
      area->putField(0, Value::text("K" + std::to_string(i)));
      area->putField(1, Value::text("Name " + std::to_string(i)));
    }
    area->close();
  }
  return path;
}

std::size_t headerLengthOf(const std::string& bytes) {
  return u16At(bytes, 8);
}

#ifndef _WIN32  // helpers of the tests that read the file while it is open
// The header counts `count` records, the file holds them and its end mark, and behind that
// at most room made ahead for appends (zero bytes).
void expectCountedRecordsThenRoom(const std::string& bytes, std::uint32_t count) {
  EXPECT_EQ(u32At(bytes, 4), count);
  const std::size_t end = headerLengthOf(bytes) + count * kRecordLength;
  ASSERT_GT(bytes.size(), end);
  EXPECT_EQ(bytes[end], '\x1a');
  EXPECT_EQ(bytes.find_first_not_of('\0', end + 1), std::string::npos);
}

// Looks at the file from outside each time the index layer would be told of a record.
struct OutsideReader : RecordWriteHook {
  std::string path;
  std::vector<std::uint32_t> counts;
  std::vector<std::string> lastRecords;
  void recordWritten(WorkArea& area) override {
    const std::string bytes = readBytes(path);
    counts.push_back(u32At(bytes, 4));
    const std::size_t at = headerLengthOf(bytes) + (area.recNo() - 1) * kRecordLength;
    lastRecords.push_back(bytes.substr(at, kRecordLength));
  }
};
#endif

TEST(HeaderCountTest, CountsEachAppendedRecordBeforeTheIndexHearsOfIt) {
#ifdef _WIN32
  GTEST_SKIP() << "an exclusive open shares nothing on Windows: no reader sees the file while "
                  "it is open";
#else
  TempDir dir;
  const std::string path = makeCustomers(dir, 2);
  OutsideReader reader;
  reader.path = path;
  auto area = WorkArea::open(path, "DBFCDX", false, false);
  area->setRecordWriteHook(&reader);
  for (int i = 3; i <= 6; ++i) {
    area->append();
    area->putField(0, Value::text("K" + std::to_string(i)));
    area->flushRecord(true);
    // Still open: the file already counts the record, the rest of the header waits.
    expectCountedRecordsThenRoom(readBytes(path), static_cast<std::uint32_t>(i));
  }
  EXPECT_THAT(reader.counts, ::testing::ElementsAre(3u, 4u, 5u, 6u));
  EXPECT_EQ(reader.lastRecords.back().substr(0, 7), " K6    ");
  // A change of an existing record leaves the header alone.
  area->goTo(1);
  area->putField(1, Value::text("anders"));
  area->flushRecord();
  EXPECT_EQ(reader.counts.back(), 6u);
  area->setRecordWriteHook(nullptr);
  area->close();
  // Closed, the file is cut to its records and end mark.
  const std::string bytes = readBytes(path);
  EXPECT_EQ(u32At(bytes, 4), 6u);
  EXPECT_EQ(bytes.size(), headerLengthOf(bytes) + 6 * kRecordLength + 1);
#endif
}

TEST(HeaderCountTest, BatchedAppendsCountWhatTheFileHoldsAtEveryWrite) {
#ifdef _WIN32
  GTEST_SKIP() << "an exclusive open shares nothing on Windows: no reader sees the file while "
                  "it is open";
#else
  TempDir dir;
  const std::string path = makeCustomers(dir);
  auto area = WorkArea::open(path, "DBFNTX", false, false);
  // Enough records for several batch writes before the end.
  constexpr int kRecords = 150000;
  std::uint32_t sawWritten = 0;
  for (int i = 1; i <= kRecords; ++i) {
    area->append();
    area->putField(0, Value::text(std::to_string(i)));
    area->flushRecord(true);
    if (i % 20000 == 0) {
      // The header counts exactly the whole records on disk, behind them the end mark.
      const std::string bytes = readBytes(path);
      const std::uint32_t count = u32At(bytes, 4);
      expectCountedRecordsThenRoom(bytes, count);
      if (count > 0) {
        EXPECT_EQ(bytes[headerLengthOf(bytes) + (count - 1) * kRecordLength], ' ');
      }
      sawWritten = std::max(sawWritten, count);
    }
  }
  EXPECT_GT(sawWritten, 0u);
  area->close();
  const std::string bytes = readBytes(path);
  EXPECT_EQ(u32At(bytes, 4), static_cast<std::uint32_t>(kRecords));
  EXPECT_EQ(bytes.size(), headerLengthOf(bytes) + kRecords * kRecordLength + 1);
#endif
}

// A table as a killed program leaves it: the header counts `counted` records, the file
// holds `whole` of them and `partial` bytes of the next one, without end mark.
std::string killedTable(const TempDir& dir, std::uint32_t counted, int whole, int partial) {
  const std::string path = makeCustomers(dir, whole + 1);
  std::string bytes = readBytes(path);
  bytes.resize(headerLengthOf(bytes) + whole * kRecordLength + partial);
  for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<char>(counted >> (8 * i));
  writeBytes(path, bytes);
  return path;
}

TEST(TableRepairTest, CountsWholeRecordsAndCutsThePartialOne) {
  TempDir dir;
  const std::string path = killedTable(dir, 3, 5, 9);
  const std::string before = readBytes(path);
  const TableRepair r = repairTable(path);
  EXPECT_EQ(r.countBefore, 3u);
  EXPECT_EQ(r.countAfter, 5u);
  EXPECT_EQ(r.bytesCut, 9u);
  EXPECT_TRUE(r.changed);
  const std::string after = readBytes(path);
  EXPECT_EQ(u32At(after, 4), 5u);
  EXPECT_EQ(after.size(), headerLengthOf(after) + 5 * kRecordLength + 1);
  EXPECT_EQ(after.back(), '\x1a');
  // Nothing else of the header or the records changed.
  EXPECT_EQ(after.substr(0, 4), before.substr(0, 4));
  EXPECT_EQ(after.substr(8, after.size() - 9), before.substr(8, after.size() - 9));
  auto area = WorkArea::open(path, "DBFCDX", true, true);
  EXPECT_EQ(area->recCount(), 5u);
  area->goTo(5);
  EXPECT_EQ(area->fieldValue(0), Value::text("K5    "));
}

TEST(TableRepairTest, LowersACountBeyondTheFileAndLeavesASoundTableAlone) {
  TempDir dir;
  const std::string path = killedTable(dir, 7, 4, 0);
  TableRepair r = repairTable(path);
  EXPECT_EQ(r.countAfter, 4u);
  EXPECT_EQ(r.bytesCut, 0u);
  EXPECT_EQ(u32At(readBytes(path), 4), 4u);
  // Repaired once, the second run finds nothing to do and writes nothing.
  const std::string repaired = readBytes(path);
  r = repairTable(path);
  EXPECT_FALSE(r.changed);
  EXPECT_EQ(r.countBefore, 4u);
  EXPECT_EQ(readBytes(path), repaired);
}

TEST(TableRepairTest, BytesThatAreNoRecordsAreNotCounted) {
  TempDir dir;
  const std::string path = makeCustomers(dir, 2);
  std::string bytes = readBytes(path);
  bytes.pop_back();
  bytes += std::string(kRecordLength, '\0') + std::string(kRecordLength, ' ');
  writeBytes(path, bytes);
  const TableRepair r = repairTable(path);
  EXPECT_EQ(r.countAfter, 2u);
  EXPECT_EQ(r.bytesCut, 2 * kRecordLength);
}

// As an import killed while it appended leaves a table: one record not yet counted, its end
// mark, then the room made ahead for the next appends.
TEST(TableRepairTest, RoomBehindTheRecordsIsNeitherCountedNorKept) {
  TempDir dir;
  const std::string path = makeCustomers(dir, 3);
  std::string bytes = readBytes(path);
  bytes[4] = 2;
  bytes += std::string(5000, '\0');
  writeBytes(path, bytes);
  {
    auto area = WorkArea::open(path, "DBFCDX", false, true);
    EXPECT_EQ(area->recCount(), 2u);
    EXPECT_EQ(area->uncountedRecords(), 1u);
  }
  const TableRepair r = repairTable(path);
  EXPECT_EQ(r.countAfter, 3u);
  EXPECT_EQ(r.bytesCut, 5001u);
  const std::string repaired = readBytes(path);
  EXPECT_EQ(repaired.size(), headerLengthOf(repaired) + 3 * kRecordLength + 1);
  EXPECT_EQ(WorkArea::open(path, "DBFCDX", false, true)->uncountedRecords(), 0u);
}

// A kill while a record was copied into the mapped table leaves its first bytes and zeros
// after them: only the whole records before it are counted, it and what follows are cut off,
// and the repaired table reads the same with other programs.
TEST(TableRepairTest, ARecordCopiedInPartIsCutOffNotCounted) {
  ZANDOR_REQUIRE_PEERS();
  // Cut inside the key, inside the name, and after the deletion flag alone.
  for (std::size_t copied : {3u, 9u, 1u}) {
    SCOPED_TRACE(copied);
    TempDir dir;
    const std::string path = makeCustomers(dir, 5);
    std::string bytes = readBytes(path);
    bytes[4] = 2;  // records 3 and 4 whole but uncounted, record 5 torn, then room
    const std::size_t fifth = headerLengthOf(bytes) + 4 * kRecordLength;
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(fifth + copied), bytes.end(), '\0');
    bytes += std::string(4096, '\0');
    writeBytes(path, bytes);
    const TableRepair r = repairTable(path);
    EXPECT_EQ(r.countAfter, 4u);
    EXPECT_TRUE(r.tornRecordCut);
    const std::string after = readBytes(path);
    EXPECT_EQ(after.size(), fifth + 1);
    EXPECT_EQ(after.back(), '\x1a');
    EXPECT_EQ(after.substr(8, fifth - 8), bytes.substr(8, fifth - 8));
    test::expectReadersAgree(path);
  }
}

// A torn record whose flag was all the copy reached before a kill stops the count even where
// whole-looking records follow it: they were never counted either, and were not meant to be
// appended before it.
TEST(TableRepairTest, NothingBehindATornRecordIsCounted) {
  TempDir dir;
  const std::string path = makeCustomers(dir, 4);
  std::string bytes = readBytes(path);
  bytes[4] = 1;
  const std::size_t third = headerLengthOf(bytes) + 2 * kRecordLength;
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(third + 4),
            bytes.begin() + static_cast<std::ptrdiff_t>(third + kRecordLength), '\0');
  writeBytes(path, bytes);
  const TableRepair r = repairTable(path);
  EXPECT_EQ(r.countAfter, 2u);
  EXPECT_TRUE(r.tornRecordCut);
  EXPECT_EQ(readBytes(path).size(), third + 1);
}

TEST(TableRepairTest, RefusesWhatItCannotTrustWithoutWriting) {
  TempDir dir;
  const std::string text = dir.file("notiz.dbf");
  writeBytes(text,
             std::string("Dies ist keine Tabelle, sondern ein Brief.\n") + std::string(200, 'x'));
  const std::string textBefore = readBytes(text);
  try {
    repairTable(text);
    ADD_FAILURE() << "repaired a text file";
  } catch (const TableRepairError& e) {
    EXPECT_THAT(e.what(), HasSubstr("Keine dBase-Tabelle"));
  }
  EXPECT_EQ(readBytes(text), textBefore);

  // A record length in the header that the fields do not make.
  const std::string path = killedTable(dir, 1, 3, 5);
  std::string bytes = readBytes(path);
  bytes[10] = static_cast<char>(kRecordLength + 1);
  writeBytes(path, bytes);
  EXPECT_THROW(repairTable(path), TableRepairError);
  EXPECT_EQ(readBytes(path), bytes);

  // A table another program holds open.
  bytes[10] = static_cast<char>(kRecordLength);
  writeBytes(path, bytes);
  {
    auto holder = WorkArea::open(path, "DBFCDX", false, true);
    try {
      repairTable(path);
      ADD_FAILURE() << "repaired a table in use";
    } catch (const TableRepairError& e) {
      EXPECT_THAT(e.what(), HasSubstr("anderen Programm"));
    }
  }
  EXPECT_EQ(readBytes(path), bytes);
  EXPECT_THROW(repairTable(dir.file("fehlt.dbf")), TableRepairError);
}

// The command on a table a killed program left: the indexes know five records, the header
// counts three, the file holds four and part of the fifth.
TEST(RepairCommandTest, RebuildsTheIndexesAndReportsConsistency) {
  TempDir dir;
  const std::string path = makeCustomers(dir, 5);
  const std::string index = dir.file("adkun.cdx");
  createIndex(path, index, "ADKUN", "KUNDE");
  createIndex(path, dir.file("ADRESSEN.cdx"), "NAME", "NAME1");
  std::string bytes = readBytes(path);
  bytes[4] = 3;
  bytes.pop_back();
  bytes.resize(bytes.size() - 3);
  writeBytes(path, bytes);
  EXPECT_THAT(checkIndex(path, index), ::testing::Contains(HasSubstr("-> Satz 4")));

  const std::string cli = "'" + test::cliPath() + "' dbf ";
  std::string out;
  EXPECT_EQ(test::runCommand(cli + "check '" + path + "' '" + index + "'", &out), 1) << out;
  ASSERT_EQ(test::runCommand(cli + "repair '" + path + "' '" + index + "' '" +
                                 dir.file("ADRESSEN.cdx") + "' 2>&1",
                             &out),
            0)
      << out;
  EXPECT_THAT(out, HasSubstr("Satzzahl 3 -> 4, 14 Byte hinter dem letzten Satz abgeschnitten"));
  EXPECT_THAT(out, HasSubstr("adkun.cdx: neu aufgebaut"));
  EXPECT_TRUE(checkIndex(path, index).empty());
  EXPECT_TRUE(checkIndex(path, dir.file("ADRESSEN.cdx")).empty());
  EXPECT_EQ(test::runCommand(cli + "check '" + path + "' '" + index + "'", &out), 0) << out;

  const std::string letter = dir.file("brief.dbf");
  writeBytes(letter, std::string(300, 'x'));
  EXPECT_EQ(test::runCommand(cli + "repair '" + letter + "' '" + index + "' 2>&1", &out), 1);
  EXPECT_THAT(out, HasSubstr("Keine dBase-Tabelle"));
  EXPECT_EQ(readBytes(letter), std::string(300, 'x'));
}

}  // namespace
}  // namespace zandor
