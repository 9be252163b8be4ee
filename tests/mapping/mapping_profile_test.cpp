#include <gtest/gtest.h>

#include <filesystem>

#include "app/startup.h"
#include "base/encoding.h"
#include "mapping/column_headings.h"
#include "mapping/mapping_profile.h"
#include "mapping/table_helpers.h"
#include "state/app_state.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;

FieldRow field(int no, const std::string& name, const std::string& type, int len, int dec) {
  return {Value::integer(no),  Value::text(name),   Value::text(type),
          Value::integer(len), Value::integer(dec), Value::integer(0),
          Value::text(""),     Value::text(""),     Value::text("")};
}

// Everything a profile carries, plus lHeader, which loading must not touch.
struct Snapshot {
  FieldTable fields;
  ColumnTable columns;
  std::string xls, dbf;
  int stop;
  Value header;
  bool art, adr, lHeader;
  explicit Snapshot(const AppState& s)
      : fields(s.aFields),
        columns(s.aColumns),
        xls(s.cXlsFile),
        dbf(s.cDbfFile),
        stop(s.nStopColumn),
        header(s.vorein(vorein::kHeader)),
        art(s.lAutoArtNr),
        adr(s.lAutoAdrNr),
        lHeader(s.lHeader) {}
  bool operator==(const Snapshot&) const = default;
};

class MappingProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setProgramDateSettings();
    state_.ui = &ui_;
  }

  // A mapping as the dialog leaves it: re-sorted rows, one mapped, one unmapped again.
  static void fill(AppState& s) {
    FieldRow mapped = field(2, "PLZ", "C", 5, 0);
    mapped[field_slot::kColCaption] = Value::text("Postleitzahl");
    mapped[field_slot::kColLetters] = Value::text("B");
    mapped[field_slot::kColNo] = Value::integer(2);
    FieldRow removed = field(3, "UMSATZ", "N", 12, 2);
    removed[field_slot::kColCaption] = Value::text("");
    s.aFields = {mapped, field(1, "NAME", "C", 30, 0), removed};
    s.aColumns = {noMappingRow(),
                  {Value::integer(1), Value::text(" Name "), Value::text("A")},
                  {Value::integer(2), Value::text("Postleitzahl"), Value::text("B")}};
    s.cXlsFile = "C:\\Listen\\kunden.xlsx";
    s.cDbfFile = "C:\\DATEN\\ADRESSEN.DBF";
    s.nStopColumn = 2;
    s.vorein(vorein::kHeader) = Value::logical(true);
    s.lAutoArtNr = true;
    s.lAutoAdrNr = false;
  }

  std::string saveAs(const std::string& typed) {
    ui_.chosenFiles.push_back(typed);
    EXPECT_TRUE(ZUORDNUNGSPEICHERN(state_));
    return typed;
  }

  std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      names.push_back(fs::relative(e.path(), dir).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir dir_;
  test::ScriptedUi ui_;
  AppState state_;
};

TEST_F(MappingProfileTest, SavingAndLoadingGivesTheSameMapping) {
  fill(state_);
  saveAs(dir_.file("profil.qno"));
  ASSERT_EQ(ui_.log.size(), 1u);
  EXPECT_EQ(ui_.log[0].kind, "chooseNewFile");  // a new name may be typed
  EXPECT_EQ(ui_.log[0].title, "Bitte Dateinamen angeben");
  EXPECT_EQ(ui_.log[0].text, "*.qno");
  const std::string bytes = test::readBytes(dir_.file("profil.qno"));
  EXPECT_EQ(bytes.back(), '\x1A');
  EXPECT_EQ(filesIn(dir_.path()), std::vector<std::string>{"profil.qno"});

  test::ScriptedUi otherUi;
  AppState loaded;
  loaded.ui = &otherUi;
  loaded.lHeader = false;
  loaded.aFields = {field(1, "ALT", "C", 1, 0)};
  otherUi.chosenFiles.push_back(dir_.file("profil.qno"));
  EXPECT_TRUE(ZUORDNUNGLADEN(loaded));  // the mapping dialog follows
  EXPECT_TRUE(loaded.aFields == state_.aFields && loaded.aColumns == state_.aColumns);
  EXPECT_EQ(otherUi.kinds(), (std::vector<std::string>{"chooseFile"}));
  EXPECT_EQ(cp1252ToUtf8(otherUi.log[0].title), "Bitte Profildatei zum Einlesen auswählen");

  Snapshot expected(state_);
  expected.lHeader = false;  // item 6 is the preference, not lHeader
  EXPECT_EQ(Snapshot(loaded), expected);
}

TEST_F(MappingProfileTest, TheExtensionIsAddedOnlyWhenThePathHasNoPoint) {
  if (dir_.path().string().find('.') != std::string::npos) {
    GTEST_SKIP() << "the temporary directory's path has a point";
  }
  fill(state_);
  saveAs(dir_.file("profil"));
  saveAs(dir_.file("profil.txt"));
  fs::create_directory(dir_.path() / "ordner.v2");
  saveAs((dir_.path() / "ordner.v2" / "profil").string());
  EXPECT_EQ(filesIn(dir_.path()), (std::vector<std::string>{"ordner.v2", "ordner.v2/profil",
                                                            "profil.qno", "profil.txt"}));
}

TEST_F(MappingProfileTest, AnExistingProfileIsReplacedWhole) {
  fill(state_);
  test::writeBytes(dir_.file("p.qno"), std::string(50000, 'x'));
  saveAs(dir_.file("p.qno"));
  EXPECT_EQ(test::readBytes(dir_.file("p.qno")), *encodeProfileFile(state_));
  EXPECT_EQ(filesIn(dir_.path()), std::vector<std::string>{"p.qno"});
}

TEST_F(MappingProfileTest, ACancelledSaveWritesNothing) {
  fill(state_);
  ui_.chosenFiles.push_back("");
  EXPECT_FALSE(ZUORDNUNGSPEICHERN(state_));
  EXPECT_TRUE(ui_.informationTexts().empty());
  EXPECT_TRUE(filesIn(dir_.path()).empty());
}

TEST_F(MappingProfileTest, AProfileTooLargeForTheFormatIsRefusedBeforeAnythingIsWritten) {
  fill(state_);
  for (int n = 3; n <= 700; ++n) {
    state_.aColumns.push_back(
        {Value::integer(n), Value::text(std::string(40, 'h')), Value::text(EXCELSPALTE(n))});
  }
  EXPECT_FALSE(ZUORDNUNGSPEICHERN(state_));
  EXPECT_EQ(ui_.kinds(), std::vector<std::string>{"information"});
  EXPECT_EQ(ui_.informationTexts()[0],
            "Die Zuordnung ist zu umfangreich für eine Profildatei und kann nicht gespeichert "
            "werden.");
  EXPECT_TRUE(filesIn(dir_.path()).empty());
}

TEST_F(MappingProfileTest, AFailedWriteIsReportedAndLeavesNoFile) {
  fill(state_);
  ui_.chosenFiles.push_back((dir_.path() / "fehlt" / "p.qno").string());
  EXPECT_FALSE(ZUORDNUNGSPEICHERN(state_));
  // A directory where the profile should go: the rename fails, the temporary file goes.
  fs::create_directory(dir_.path() / "belegt.qno");
  fs::create_directory(dir_.path() / "belegt.qno" / "inhalt");
  ui_.chosenFiles.push_back(dir_.file("belegt.qno"));
  EXPECT_FALSE(ZUORDNUNGSPEICHERN(state_));
  const std::vector<std::string> texts = ui_.informationTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Die Profildatei konnte nicht geschrieben werden:\r\n" +
                          (dir_.path() / "fehlt" / "p.qno").string());
  EXPECT_EQ(filesIn(dir_.path()), (std::vector<std::string>{"belegt.qno", "belegt.qno/inhalt"}));
}

TEST_F(MappingProfileTest, ACancelledOrMissingProfileChangesNothing) {
  fill(state_);
  const Snapshot before(state_);
  ui_.chosenFiles = {"", dir_.file("gibtsnicht.qno"), dir_.path().string()};
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(ZUORDNUNGLADEN(state_));
  EXPECT_EQ(Snapshot(state_), before);
  EXPECT_EQ(ui_.kinds(), std::vector<std::string>(3, "chooseFile"));
}

TEST_F(MappingProfileTest, ADamagedOrForeignFileIsRefusedAndChangesNothing) {
  AppState saved;
  fill(saved);
  std::string good = *encodeProfileFile(saved);
  good.pop_back();  // also readable without its end mark
  test::writeBytes(dir_.file("ohne.qno"), good);
  std::string damaged = good;
  damaged[damaged.size() / 2] ^= 0x40;
  test::writeBytes(dir_.file("kaputt.qno"), damaged);
  test::writeBytes(dir_.file("fremd.qno"), "[Excel]\r\nxls1=C:\\a.xlsx\r\n");
  test::writeBytes(dir_.file("leer.qno"), "");
  test::writeBytes(dir_.file("riesig.qno"), good + std::string(40000, '\0'));

  const Snapshot before(state_);
  for (const char* name : {"kaputt.qno", "fremd.qno", "leer.qno", "riesig.qno"}) {
    ui_.chosenFiles.push_back(dir_.file(name));
    EXPECT_FALSE(ZUORDNUNGLADEN(state_));
    EXPECT_EQ(Snapshot(state_), before) << name;
    EXPECT_EQ(ui_.informationTexts().back(),
              "Die Datei ist keine gültige Zuordnungsdatei und wurde nicht geladen:\r\n" +
                  dir_.file(name))
        << name;
  }

  ui_.chosenFiles.push_back(dir_.file("ohne.qno"));
  EXPECT_TRUE(ZUORDNUNGLADEN(state_));
  EXPECT_EQ(Snapshot(state_), Snapshot(saved));
}

}  // namespace
}  // namespace zandor
