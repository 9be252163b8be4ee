#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "import/import_fixture.h"
#include "import/import_run.h"
#include "table/index_build.h"

namespace zandor {
namespace {

using ::testing::HasSubstr;

// Tables and indexes an import must not write into, found before the first write: the
// run ends with a message saying what to do, and every file stays as it was.
class UnfitTableFixture : public test::ImportFixture {
 protected:
  bool cdx = false;
  std::string index;

  void SetUp() override {
    ImportFixture::SetUp();
    makeTable("ADRESSEN.DBF", {{"KUNDE", 'C', 10, 0}, {"NAME1", 'C', 20, 0}});
    append({"K1", "K2", "K3"});
    index = data.file(cdx ? "adkun.cdx" : "adkun.ntx");
    createIndex(state.cDbfFile, index, cdx ? "ADKUN" : "", "KUNDE");
    makeSheet({"Kunde;Name", "K2;neu", "K9;neu"});
    map("KUNDE", 1);
    map("NAME1", 2);
  }

  // Appends records without any index open.
  void append(const std::vector<std::string>& keys) {
    WorkAreas w;
    ASSERT_TRUE(w.DBUSEAREA(true, "DBFNTX", state.cDbfFile, "fill", false, false));
    for (const std::string& k : keys) {
      w.DBAPPEND();
      w.FIELDPUT(1, Value::text(k));
    }
  }

  // Runs the import; the table and the index must be byte for byte what they were.
  std::string refusal() {
    const std::string table = test::readBytes(state.cDbfFile);
    const std::string indexBytes = test::readBytes(index);
    const ImportOutcome outcome = runImport(state, areas);
    EXPECT_EQ(outcome, ImportOutcome::Ended);
    EXPECT_EQ(test::readBytes(state.cDbfFile), table) << "the table was written";
    EXPECT_EQ(test::readBytes(index), indexBytes) << "the index was written";
    EXPECT_THAT(ui.kinds(), ::testing::Not(::testing::Contains("summary")));
    const std::vector<std::string> texts = ui.informationTexts();
    return texts.empty() ? std::string() : texts.back();
  }
};

class UnfitTableImportTest : public UnfitTableFixture,
                             public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    cdx = std::string(GetParam()) == "cdx";
    UnfitTableFixture::SetUp();
  }
};

TEST_P(UnfitTableImportTest, RecordsBeyondTheHeaderCountAreNotWrittenOver) {
  std::string bytes = test::readBytes(state.cDbfFile);
  bytes[4] = 2;  // three records in the file, two counted
  test::writeBytes(state.cDbfFile, bytes);
  const std::string message = refusal();
  EXPECT_THAT(message, HasSubstr("dbf repair"));
  EXPECT_THAT(message, HasSubstr("1 Datensätze mehr"));
}

TEST_P(UnfitTableImportTest, AnIndexLackingKeysIsNotSearched) {
  append({"K4", "K5"});  // the index never heard of them
  const std::string message = refusal();
  EXPECT_THAT(message, HasSubstr("passt nicht zur Datenbank"));
  EXPECT_THAT(message, HasSubstr("2 Schlüssel fehlen"));
  EXPECT_THAT(message, HasSubstr("reorganisieren"));
}

// Keys whose count is right but whose values or records are not: an update would append a
// second customer, or change the wrong one.
TEST_P(UnfitTableImportTest, AnIndexWhoseKeysDoNotMatchTheirRecordsIsNotSearched) {
  const std::string sound = test::readBytes(state.cDbfFile);
  const std::size_t headerLength = static_cast<unsigned char>(sound[8]) | sound[9] << 8;
  const std::size_t recordLength = 31;
  auto keyAt = [&](std::size_t recNo) { return headerLength + (recNo - 1) * recordLength + 1; };

  // Record 2 holds another value than its key says (written by a program without the index).
  std::string bytes = sound;
  bytes.replace(keyAt(2), 2, "K7");
  test::writeBytes(state.cDbfFile, bytes);
  std::string message = refusal();
  EXPECT_THAT(message, HasSubstr("passt nicht zur Datenbank"));
  EXPECT_THAT(message, HasSubstr("K7"));

  // Records 1 and 3 traded places: every key is there, but points at the wrong record.
  bytes = sound;
  bytes.replace(keyAt(1), 2, "K3");
  bytes.replace(keyAt(3), 2, "K1");
  test::writeBytes(state.cDbfFile, bytes);
  message = refusal();
  EXPECT_THAT(message, HasSubstr("passt nicht zur Datenbank"));
  EXPECT_THAT(message, HasSubstr("Satz 1"));
}

// A header whose facts contradict each other is refused before anything is written, and the
// message names the contradiction.
TEST_P(UnfitTableImportTest, ATableWhoseHeaderContradictsItselfIsNotWritten) {
  const std::string sound = test::readBytes(state.cDbfFile);
  struct Damage {
    const char* what;
    std::size_t at;
    char value;
    const char* named;
  };
  const Damage damages[] = {
      {"NAME1 shorter than the record length says", 32 + 32 + 16, 18, "Satzlänge"},
      {"record length longer than the fields", 10, 32, "Satzlänge"},
      {"a record counted that the file does not hold", 4, 4, "zählt 4 Datensätze"},
      {"header length without room for the end mark", 8, 96, "Kopflänge"},
      {"end mark of the descriptors overwritten", 96, 'X', "Endezeichen"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    std::string bytes = sound;
    bytes[d.at] = d.value;
    test::writeBytes(state.cDbfFile, bytes);
    const std::string message = refusal();
    EXPECT_THAT(message, HasSubstr("Datenbank kann nicht geöffnet werden"));
    EXPECT_THAT(message, HasSubstr("ADRESSEN.DBF: beschädigt"));
    EXPECT_THAT(message, HasSubstr(d.named));
  }
}

TEST_P(UnfitTableImportTest, ASoundIndexIsSearchedAsBefore) {
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Summary);
  EXPECT_THAT(ui.informationTexts().back(), HasSubstr("1 neue Datensätze"));
}

INSTANTIATE_TEST_SUITE_P(Drivers, UnfitTableImportTest, ::testing::Values("cdx", "ntx"));

// Keys out of order in a leaf: the order still starts with its first key, but a search
// may miss the others.
TEST_F(UnfitTableFixture, ADamagedTreeIsNotSearched) {
  std::string bytes = test::readBytes(index);
  const auto u16 = [&](std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
  };
  const std::size_t root = u16(4) | u16(6) << 16;
  ASSERT_EQ(u16(root), 3) << "the root is the one leaf";
  std::swap(bytes[root + 4], bytes[root + 6]);  // the second and third key's offsets
  std::swap(bytes[root + 5], bytes[root + 7]);
  test::writeBytes(index, bytes);
  ASSERT_FALSE(checkIndex(state.cDbfFile, index).empty());
  const std::string message = refusal();
  EXPECT_THAT(message, HasSubstr("adkun.ntx"));
  EXPECT_THAT(message, HasSubstr("beschädigt"));
}

}  // namespace
}  // namespace zandor
