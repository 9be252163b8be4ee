#include <gtest/gtest.h>

#include "settings/preferences.h"
#include "settings/preferences_dialog.h"
#include "state/app_state.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

namespace zandor {
namespace {

using test::FakeDialog;

constexpr const char* kTooLongAdr =
    "Die autom. Kundennummer darf max. 10 Stellen haben\r\n"
    "Bitte kürzen Sie entweder den Vorlauf oder die Nummer";
constexpr const char* kTooLongArt =
    "Die autom. Artikelnr. darf max. 15 Stellen haben\r\n"
    "Bitte kürzen Sie entweder den Vorlauf oder die Nummer";

class PreferencesDialogTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::ScriptedUi ui;
  AppState state;

  void SetUp() override {
    state.ui = &ui;
    INI_INIT_FILE(state, dir.file("zandor.ini"));
  }

  void run(FakeDialog::Script script) {
    ui.dialogScripts.push_back(std::move(script));
    EXPECT_TRUE(VOREINST(state));
    EXPECT_TRUE(ui.dialogScripts.empty());
  }
  std::string ini(const char* section, const char* key) {
    return state.oSettings->Get(section, key);
  }
};

TEST_F(PreferencesDialogTest, OpensWithTheSlotsAndLivePreviews) {
  state.vorein(vorein::kAdrPrefix) = Value::text("K");
  state.vorein(vorein::kAdrCounter) = Value::integer(1000);
  state.vorein(vorein::kXlsDirectory) = Value::text("/daten/excel");
  state.vorein(vorein::kArtCriterion) = Value::integer(2);
  run([](FakeDialog& d) {
    EXPECT_EQ(d.title(), "Voreinstellungen");
    EXPECT_EQ(d.text(111), "/daten/excel");
    EXPECT_EQ(d.text(131), "K1000");
    EXPECT_EQ(d.text(132), "1");
    EXPECT_FALSE(d.checked(141));
    EXPECT_FALSE(d.checked(1001));
    EXPECT_TRUE(d.checked(1002));
    d.type(113, "  AB ");
    EXPECT_EQ(d.text(131), "AB1000");
    d.type(116, "42x7");  // digits only
    EXPECT_EQ(d.text(116), "427");
    EXPECT_EQ(d.text(132), "427");
    d.type(114, "123456789");  // six positions
    EXPECT_EQ(d.text(114), "123456");
    d.type(115, "ABCDEFGHIJKL");  // ten positions
    EXPECT_EQ(d.text(115), "ABCDEFGHIJ");
    d.click(102);
  });
  // Only OK stores the number fields.
  EXPECT_EQ(state.vorein(vorein::kAdrPrefix), Value::text("K"));
  EXPECT_TRUE(ui.informationTexts().empty());
}

TEST_F(PreferencesDialogTest, OkStoresTrimmedValuesAndWritesTheSettingsFile) {
  run([](FakeDialog& d) {
    d.type(113, " K ");
    d.type(114, "");
    d.type(115, "  ART");
    d.type(116, "77");
    d.click(101);
    EXPECT_FALSE(d.isOpen());
  });
  EXPECT_EQ(state.vorein(vorein::kAdrPrefix), Value::text("K"));
  EXPECT_EQ(state.vorein(vorein::kAdrCounter).asNumber().toDouble(), 0);
  EXPECT_EQ(state.vorein(vorein::kArtPrefix), Value::text("ART"));
  EXPECT_EQ(state.vorein(vorein::kArtCounter).asNumber().toDouble(), 77);
  EXPECT_EQ(ini("Adressen", "Vorlauf"), "K");
  EXPECT_EQ(ini("Adressen", "Nummer"), "0");
  EXPECT_EQ(ini("Artikel", "Nummer"), "77");
  EXPECT_EQ(ini("Updaten", "Artikelart"), "1");
}

TEST_F(PreferencesDialogTest, LimitsOfTenAndFifteenPositions) {
  EXPECT_TRUE(VALIDVOREIN(&ui, "ABCDE", "12345", "ABCDEFGHIJ", "12345"));
  EXPECT_TRUE(ui.log.empty());
  EXPECT_FALSE(VALIDVOREIN(&ui, "ABCDE", "123456", "ABCDEFGHIJ", "12345"));
  EXPECT_FALSE(VALIDVOREIN(&ui, " ABCDE ", "1", "ABCDEFGHIJ", "123456"));
  EXPECT_FALSE(VALIDVOREIN(&ui, "ABCDEF", "123456", "ABCDEFGHIJ", "123456"));
  EXPECT_EQ(ui.informationTexts(),
            (std::vector<std::string>{kTooLongAdr, kTooLongArt, kTooLongAdr, kTooLongArt}));
}

TEST_F(PreferencesDialogTest, EveryWayOfClosingValidatesAndOkStoresOnlyValidValues) {
  run([](FakeDialog& d) {
    d.type(113, "ABCDEF");
    d.type(114, "123456");
    d.click(101);
    d.click(102);
    EXPECT_FALSE(d.pressEscape());
    EXPECT_FALSE(d.pressCloseBox());
    EXPECT_TRUE(d.isOpen());
    d.type(114, "1234");
    d.click(101);
  });
  EXPECT_EQ(ui.informationTexts(), std::vector<std::string>(4, kTooLongAdr));
  EXPECT_EQ(state.vorein(vorein::kAdrPrefix), Value::text("ABCDEF"));
  EXPECT_EQ(ini("Adressen", "Nummer"), "1234");

  // A value already too long when the dialog opens keeps it from closing until shortened.
  state.vorein(vorein::kArtPrefix) = Value::text("ABCDEFGHIJKLMNO");
  run([](FakeDialog& d) {
    EXPECT_EQ(d.text(115), "ABCDEFGHIJKLMNO");
    EXPECT_FALSE(d.pressEscape());
    d.type(115, "ABC");
    EXPECT_TRUE(d.pressEscape());
  });
  EXPECT_EQ(state.vorein(vorein::kArtPrefix), Value::text("ABCDEFGHIJKLMNO"));
}

TEST_F(PreferencesDialogTest, BoundControlsAndFolderChoicesSurviveCancel) {
  state.vorein(vorein::kXlsDirectory) = Value::text("/alt/excel");
  state.vorein(vorein::kDbfDirectory) = Value::text("/alt/dbase");
  ui.chosenFolders = {"", "/neu/dbase/"};
  run([](FakeDialog& d) {
    d.click(121);  // cancelled
    EXPECT_EQ(d.text(111), "");
    d.click(122);
    EXPECT_EQ(d.text(112), "/neu/dbase");
    d.click(141);
    d.click(1002);
    EXPECT_FALSE(d.checked(1001));
    d.click(102);
  });
  EXPECT_EQ(ui.log[1].kind, "chooseFolder");
  EXPECT_EQ(ui.log[1].title, "Standardverzeichnis f\xfcr Excel-Dateien");
  EXPECT_EQ(ui.log[2].title, "Standardverzeichnis f\xfcr dBase-Dateien");
  EXPECT_EQ(state.vorein(vorein::kXlsDirectory), Value::text(""));
  EXPECT_EQ(state.vorein(vorein::kDbfDirectory), Value::text("/neu/dbase"));
  EXPECT_EQ(state.vorein(vorein::kUpdate), Value::logical(true));
  EXPECT_EQ(state.vorein(vorein::kArtCriterion), Value::integer(2));
  // Not written yet: that happens with the next VOREINSPEICHERN.
  EXPECT_EQ(ini("Updaten", "Nummer"), "");

  run([](FakeDialog& d) {
    d.type(111, "/getippt");
    d.pressCloseBox();
  });
  EXPECT_EQ(state.vorein(vorein::kXlsDirectory), Value::text("/getippt"));
}

TEST(FolderTextTest, TrailingSeparatorGoesExceptAtARoot) {
  EXPECT_EQ(folderWithoutTrailingSeparator("C:\\Daten\\"), "C:\\Daten");
  EXPECT_EQ(folderWithoutTrailingSeparator("C:\\"), "C:\\");
  EXPECT_EQ(folderWithoutTrailingSeparator("/"), "/");
  EXPECT_EQ(folderWithoutTrailingSeparator("/home/a/"), "/home/a");
}

}  // namespace
}  // namespace zandor
