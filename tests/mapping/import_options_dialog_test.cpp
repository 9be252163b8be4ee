#include "mapping/import_options_dialog.h"

#include <gtest/gtest.h>

#include "mapping/column_headings.h"
#include "state/app_state.h"
#include "support/scripted_ui.h"

namespace zandor {
namespace {

using test::FakeDialog;

constexpr const char* kNoStopColumn =
    "Bitte wählen Sie zunächst ein Feld aus, welches immer einen Wert enthält, da dieses als "
    "Abbruchkriterium für den Einlesevorgang benötigt wird!";

class ImportOptionsDialogTest : public ::testing::Test {
 protected:
  test::ScriptedUi ui;
  AppState state;

  void SetUp() override {
    state.ui = &ui;
    state.cDbfFile = "/daten/KUNDEN.DBF";
  }

  void headings(std::vector<std::string> names) {
    state.aColumns = columnTableFromFirstRow(100, [&](int column) {
      if (column > static_cast<int>(names.size())) return std::optional<Value>(Value());
      return std::optional<Value>(Value::text(names[static_cast<std::size_t>(column - 1)]));
    });
  }
  void run(FakeDialog::Script script) {
    ui.dialogScripts.push_back(std::move(script));
    EXPECT_TRUE(EINLESEOPTION(state));
    EXPECT_TRUE(ui.dialogScripts.empty());
  }
};

TEST_F(ImportOptionsDialogTest, TheCheckBoxFollowsTheKindOfTable) {
  EXPECT_EQ(tableKindOf("C:\\Daten\\ADRESSEN.DBF"), TableKind::Address);
  EXPECT_EQ(tableKindOf("/daten/adressen2.dbf"), TableKind::Address);
  EXPECT_EQ(tableKindOf("/daten.alt/artikel.dbf"), TableKind::Article);
  EXPECT_EQ(tableKindOf("/daten/KUNDEN.DBF"), TableKind::Other);
  EXPECT_EQ(tableKindOf("/ADRESSEN/KUNDEN.DBF"), TableKind::Other);
  EXPECT_EQ(tableKindOf(""), TableKind::Other);

  state.cDbfFile = "/daten/ADRESSEN.DBF";
  run([](FakeDialog& d) {
    EXPECT_EQ(d.title(), "Datei-Optionen");
    EXPECT_EQ(d.text(105), "Kd.-Nr. autom. generieren");
    EXPECT_FALSE(d.checked(105));
    d.click(105);
    d.click(102);
  });
  EXPECT_TRUE(state.lAutoAdrNr);
  EXPECT_FALSE(state.lAutoArtNr);

  state.cDbfFile = "/daten/artikel.dbf";
  run([](FakeDialog& d) {
    EXPECT_EQ(d.text(105), "Art.-Nr. autom. generieren");
    d.click(105);
    d.pressCloseBox();
  });
  EXPECT_TRUE(state.lAutoArtNr);

  state.cDbfFile = "/daten/KUNDEN.DBF";
  run([](FakeDialog& d) {
    EXPECT_FALSE(OCTRL(d, 105).visible());
    d.pressEscape();
  });
}

TEST_F(ImportOptionsDialogTest, ASelectionSetsTheStopColumnAtOnceAndSurvivesCancel) {
  headings({"Name", "Ort", "PLZ"});
  run([&](FakeDialog& d) {
    EXPECT_EQ(OCTRL(d, 111).items(), (std::vector<std::string>{"Name", "Ort", "PLZ"}));
    EXPECT_EQ(OCTRL(d, 111).selection(), -1);
    EXPECT_EQ(d.text(111), "(Bitte w\xe4hlen)");
    d.select(111, 2);
    EXPECT_EQ(state.nStopColumn, 3);
    d.click(102);
  });
  EXPECT_EQ(state.nStopColumn, 3);

  state.lHeader = false;
  run([](FakeDialog& d) {
    EXPECT_EQ(OCTRL(d, 111).items(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(OCTRL(d, 111).selection(), 2);
    d.select(111, 1);
    d.click(101);
    EXPECT_FALSE(d.isOpen());
  });
  EXPECT_EQ(state.nStopColumn, 2);
}

TEST_F(ImportOptionsDialogTest, ReopeningAndSavingKeepsAStopColumnWithARepeatedHeading) {
  headings({"Name", "Ort", " name "});
  state.nStopColumn = 3;
  run([](FakeDialog& d) {
    EXPECT_EQ(OCTRL(d, 111).selection(), 2);
    d.click(101);
  });
  EXPECT_EQ(state.nStopColumn, 3);
}

TEST_F(ImportOptionsDialogTest, SavingWithoutASelectionIsRefused) {
  headings({"Name", "Ort"});
  state.nStopColumn = 5;  // beyond the sheet: kept, but not shown
  run([](FakeDialog& d) {
    EXPECT_EQ(OCTRL(d, 111).selection(), -1);
    d.click(101);
    EXPECT_TRUE(d.isOpen());
    d.click(102);
  });
  EXPECT_EQ(state.nStopColumn, 5);

  state.aColumns.clear();
  run([](FakeDialog& d) {
    EXPECT_TRUE(OCTRL(d, 111).items().empty());
    d.click(101);
    EXPECT_TRUE(d.isOpen());
    d.pressEscape();
  });
  EXPECT_EQ(ui.informationTexts(), std::vector<std::string>(2, kNoStopColumn));
}

}  // namespace
}  // namespace zandor
