#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "import/auto_numbers.h"
#include "import/import_fixture.h"
#include "import/import_run.h"
#include "support/table_readers.h"

namespace zandor {
namespace {

using test::ImportFixture;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::vector<NewField> kAdressen = {{"KUNDE", 'C', 10, 0}, {"NAME1", 'C', 20, 0}};
const std::vector<NewField> kArtikel = {
    {"NUMMER", 'C', 15, 0}, {"LIEF_A_NR", 'C', 20, 0}, {"BEZEICH", 'C', 20, 0}};

// Tables with records and indexes made by our own index creation.
class IndexedImportTest : public ImportFixture {
 protected:
  void fill(const std::vector<std::vector<std::string>>& rows) {
    WorkAreas w;
    ASSERT_TRUE(w.DBUSEAREA(true, "", state.cDbfFile, "fill", false, false));
    for (const auto& row : rows) {
      w.DBAPPEND();
      for (std::size_t i = 0; i < row.size(); ++i) {
        w.FIELDPUT(static_cast<int>(i) + 1, Value::text(row[i]));
      }
    }
    w.DBCLOSEAREA();
  }
  void index(const std::string& file, const std::string& key, const std::string& tag = "") {
    std::string out;
    const std::string command = "'" + test::cliPath() + "' dbf index '" + state.cDbfFile + "' '" +
                                data.file(file) + "'" + (tag.empty() ? "" : " --tag " + tag) +
                                " --key " + key + " 2>&1";
    ASSERT_EQ(test::runCommand(command, &out), 0) << out;
  }
  // `dbf check` passes on the given index files (all of the directory when none given), and
  // Python dbfread and Perl XBase read the table as we do.
  void expectIndexesSound(std::vector<std::string> files = {}) {
#ifndef _WIN32  // the readers run on the Linux side (scripts/windows-crosscheck)
    test::expectReadersAgree(state.cDbfFile);
#endif
    if (files.empty()) {
      for (const auto& entry : std::filesystem::directory_iterator(data.path())) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".cdx" || ext == ".ntx") files.push_back(entry.path().filename().string());
      }
    }
    ASSERT_FALSE(files.empty());
    for (const std::string& file : files) {
      std::string out;
      EXPECT_EQ(test::runCommand("'" + test::cliPath() + "' dbf check '" + state.cDbfFile + "' '" +
                                     data.file(file) + "' 2>&1",
                                 &out),
                0)
          << file << ": " << out;
    }
  }
  // Opens the table as the run does and gives AUTOGEN its order.
  void openForNumbers(const std::string& indexBase) {
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFNTX", state.cDbfFile, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(data.file(indexBase)));
  }
};

TEST_F(IndexedImportTest, ExistingRecordsAreUpdatedAndNewOnesAppended) {
  makeTable("ADRESSEN.DBF", kAdressen);
  fill({{"ABC", "alt"}, {"123", "alt"}, {"K1", "alt"}});
  index("adkun.cdx", "KUNDE", "ADKUN");
  makeSheet({"Kunde;Name", "ABC ;neu", "12;zwoelf", "K1;eins", ";leer"});
  map("KUNDE", 1);
  map("NAME1", 2);
  state.nStopColumn = 2;
  state.vorein(vorein::kUpdate) = Value::logical(true);
  ASSERT_EQ(runImport(state, areas), ImportOutcome::Summary);
  EXPECT_THAT(records(), ElementsAre("1\t \tABC\tneu", "2\t \t123\talt", "3\t \tK1\teins",
                                     "4\t \t12\tzwoelf", "5\t \t\tleer"));
  EXPECT_EQ(logLines()[2], "Indextyp: DBFCDX");
  EXPECT_EQ(logLines().back(), "Davon sind 2 neue Datensätze, 2 geupdatet, 0 unverändert");
  // The empty key cannot be looked up: the user sees it, the log does not.
  EXPECT_THAT(ui.informationTexts(), ::testing::Contains("Gesucht wird: "));
  EXPECT_EQ(state.nErrors, 0);
  expectIndexesSound();
}

TEST_F(IndexedImportTest, WithoutUpdatingMatchedRowsStayUnchanged) {
  makeTable("ADRESSEN.DBF", kAdressen);
  fill({{"K1", "alt"}});
  index("adkun.ntx", "KUNDE");
  makeSheet({"Kunde;Name", "K1;neu", "K2;zwei", "K2;nochmal"});
  map("KUNDE", 1);
  map("NAME1", 2);
  ASSERT_EQ(runImport(state, areas), ImportOutcome::Summary);
  EXPECT_THAT(records(), ElementsAre("1\t \tK1\talt", "2\t \tK2\tzwei"));
  EXPECT_EQ(logLines()[2], "Indextyp: DBFNTX");
  // The row imported before is found by the next look-up.
  EXPECT_EQ(logLines().back(), "Davon sind 1 neue Datensätze, 0 geupdatet, 2 unverändert");
  expectIndexesSound();
}

TEST_F(IndexedImportTest, ArticlesAreMatchedByTheChosenCriterion) {
  makeTable("ARTIKEL.DBF", kArtikel);
  fill({{"100", "L-1", "alt"}, {"200", "L-2", "alt"}});
  index("lanum.ntx", "NUMMER");
  index("lalienum.ntx", "LIEF_A_NR");
  makeSheet({"Nr;Lief;Bez", "999;L-2;nach Lieferant", "100;L-9;nach Nummer"});
  map("NUMMER", 1);
  map("LIEF_A_NR", 2);
  map("BEZEICH", 3);
  state.vorein(vorein::kUpdate) = Value::logical(true);
  state.vorein(vorein::kArtCriterion) = Value::integer(2);
  ASSERT_EQ(runImport(state, areas), ImportOutcome::Summary);
  EXPECT_THAT(records(), ElementsAre("1\t \t100\tL-1\talt", "2\t \t999\tL-2\tnach Lieferant",
                                     "3\t \t100\tL-9\tnach Nummer"));
  // Only the order the run used is kept up to date; lanum.ntx waits for the reorganisation.
  expectIndexesSound({"lalienum.ntx"});
}

TEST_F(IndexedImportTest, GeneratedNumbersSkipTakenOnesAndTheCounterIsSaved) {
  makeTable("ADRESSEN.DBF", kAdressen);
  fill({{"K5", "x"}, {"K6", "x"}, {"K80", "x"}});
  index("adkun.cdx", "KUNDE", "ADKUN");
  makeSheet({"Kunde;Name", "egal;a", "egal;b", "egal;c"});
  map("KUNDE", 1);
  map("NAME1", 2);
  state.lAutoAdrNr = true;
  state.vorein(vorein::kAdrPrefix) = Value::text("K");
  state.vorein(vorein::kAdrCounter) = Value::integer(5);
  state.vorein(vorein::kUpdate) = Value::logical(true);  // generated numbers always append
  ASSERT_EQ(runImport(state, areas), ImportOutcome::Summary);
  EXPECT_THAT(records(), ElementsAre("1\t \tK5\tx", "2\t \tK6\tx", "3\t \tK80\tx", "4\t \tK7\ta",
                                     "5\t \tK9\tb", "6\t \tK10\tc"));
  EXPECT_EQ(state.vorein(vorein::kAdrCounter), Value::integer(10));
  EXPECT_EQ(state.oSettings->Get("Adressen", "Nummer"), "10");
  expectIndexesSound();
}

TEST_F(IndexedImportTest, NumberGenerationRulesAndMessages) {
  makeTable("ADRESSEN.DBF", kAdressen);
  std::vector<std::vector<std::string>> rows;
  for (int n = 10000; n <= 10500; ++n) rows.push_back({std::to_string(n), ""});
  fill(rows);
  index("adkun.ntx", "KUNDE");
  openForNumbers("ADKUN");
  state.vorein(vorein::kAdrPrefix) = Value::text("");
  state.vorein(vorein::kAdrCounter) = Value::integer(1);
  // 1 is taken: 10000 begins with it.
  EXPECT_EQ(AUTOGEN(state, areas, "ADRESSEN", "ADRESSEN"), "2");
  EXPECT_EQ(state.vorein(vorein::kAdrCounter), Value::integer(2));
  // Counter 0 gives 1 and leaves 2 behind; 1 is taken, so 3 comes next.
  state.vorein(vorein::kAdrCounter) = Value::integer(0);
  EXPECT_EQ(AUTOGEN(state, areas, "ADRESSEN", "ADRESSEN"), "3");
  // Too long for an address.
  state.vorein(vorein::kAdrPrefix) = Value::text("KUNDE-");
  state.vorein(vorein::kAdrCounter) = Value::integer(12345);
  EXPECT_EQ(AUTOGEN(state, areas, "ADRESSEN", "ADRESSEN"), std::nullopt);
  EXPECT_EQ(ui.informationTexts().back(),
            "Die zu vergebende Nummer: KUNDE-12345 ist zu lang!\r\nBei Adressen sind max. sind "
            "10 Zeichen erlaubt.\r\nBitte verwenden Sie kürzere Einstellungen in den "
            "Voreinstellungen.");
  EXPECT_EQ(AUTOGEN(state, areas, "ARTIKEL", "KUNDEN"), std::nullopt);
  EXPECT_EQ(ui.informationTexts().back(), "Bisher werden nur Artikel und Adressen.dbf unterstützt");
  // Articles allow 15 characters.
  state.vorein(vorein::kArtPrefix) = Value::text("ABCDEFGHIJ");
  state.vorein(vorein::kArtCounter) = Value::integer(99999);
  EXPECT_EQ(AUTOGEN(state, areas, "ARTIKEL", "ARTIKEL"), "ABCDEFGHIJ99999");
  state.vorein(vorein::kArtCounter) = Value::integer(100000);
  EXPECT_EQ(AUTOGEN(state, areas, "ARTIKEL", "ARTIKEL"), std::nullopt);
  EXPECT_THAT(ui.informationTexts().back(), HasSubstr("Bei Artikeln sind max. sind 15 Zeichen"));
}

TEST_F(IndexedImportTest, GivesUpAfterTenThousandTakenNumbers) {
  makeTable("ADRESSEN.DBF", kAdressen);
  std::vector<std::vector<std::string>> rows;
  for (int n = 1; n <= kAutogenAttempts; ++n) rows.push_back({"N" + std::to_string(n), ""});
  fill(rows);
  index("adkun.ntx", "KUNDE");
  openForNumbers("ADKUN");
  state.vorein(vorein::kAdrPrefix) = Value::text("N");
  state.vorein(vorein::kAdrCounter) = Value::integer(1);
  EXPECT_EQ(AUTOGEN(state, areas, "ADRESSEN", "ADRESSEN"), std::nullopt);
  EXPECT_EQ(ui.informationTexts().back(),
            "konnte nach 10000 Versuchen keine freie Nummer ermitteln. Abbruch!");
  EXPECT_EQ(state.vorein(vorein::kAdrCounter), Value::integer(10001));
}

}  // namespace
}  // namespace zandor
