#include "mapping/mapping_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/startup.h"
#include "base/encoding.h"
#include "mapping/mapping_profile.h"
#include "resources/dialog_template.h"
#include "state/app_state.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"
#include "table/table_create.h"
#include "table/work_areas.h"

namespace zandor {
namespace {

using test::FakeDialog;
using test::FakeGrid;

constexpr int kGrid = 201;
constexpr int kCaption = 5;  // "Excel-Spalte"
constexpr int kLetters = 6;
constexpr int kColNo = 7;

class MappingDialogTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::ScriptedUi ui;
  AppState state;
  WorkAreas areas;
  std::vector<std::string> imports;

  void SetUp() override {
    setProgramDateSettings();
    state.ui = &ui;
    state.oSettings = std::make_unique<TIni>(dir.file("zandor.ini"));
    state.cDbfFile = dir.file("KUNDEN.DBF");
    createTable(state.cDbfFile, {{"NAME", 'C', 30, 0}, {"PLZ", 'C', 5, 0}, {"UMSATZ", 'N', 12, 2}});
    state.cXlsFile = dir.file("liste.csv");
    test::writeBytes(state.cXlsFile, "Name;Postleitzahl;Umsatz\r\nMeier;12345;10\r\n");
    // The tables are built from the first remembered files, as after the file choice.
    state.oSettings->Set("dBase", "dbf1", Value::text(state.cDbfFile));
    state.oSettings->Set("Excel", "xls1", Value::text(state.cXlsFile));
  }

  bool open(FakeDialog::Script script) {
    ui.dialogScripts.push_back(std::move(script));
    const bool opened = ZUORDNUNG(state, areas, [this](AppState&) { imports.push_back("run"); });
    if (opened) {
      EXPECT_TRUE(ui.dialogScripts.empty());
    }
    ui.dialogScripts.clear();
    return opened;
  }

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const FieldRow& row : state.aFields) out.push_back(row[1].asText());
    return out;
  }
};

TEST_F(MappingDialogTest, MissingFilesAreRefusedWithTheirTextsAndNoDialog) {
  state.cXlsFile.clear();
  EXPECT_FALSE(open({}));
  state.cXlsFile = dir.file("weg.xlsx");
  EXPECT_FALSE(open({}));
  state.cXlsFile = dir.file("liste.csv");
  state.cDbfFile = dir.file("WEG.DBF");
  EXPECT_FALSE(open({}));
  EXPECT_EQ(
      ui.informationTexts(),
      (std::vector<std::string>{"keine gültige Excel-Datei ausgewählt:\r\n",
                                "keine gültige Excel-Datei ausgewählt:\r\n" + dir.file("weg.xlsx"),
                                "keine gültige dBase-Datei ausgewählt"}));
  EXPECT_EQ(ui.kinds(), (std::vector<std::string>{"information", "information", "information"}));
  EXPECT_TRUE(state.aFields.empty());
}

TEST_F(MappingDialogTest, FreshTablesShowNineColumnsAndHeadingsToChooseFrom) {
  EXPECT_TRUE(open([](FakeDialog& d) {
    FakeGrid& g = d.grid(kGrid);
    std::vector<std::string> headers;
    for (const GridColumn& c : g.columns()) headers.push_back(cp1252ToUtf8(c.header));
    EXPECT_EQ(headers, (std::vector<std::string>{"Nr.", "Feldname", "Typ", "Länge", "Nachkomma",
                                                 "Excel-Spalte", "G", "H", "I"}));
    EXPECT_EQ(g.columns()[0].width, 25);
    EXPECT_EQ(g.columns()[kCaption].width, 125);
    EXPECT_EQ(g.columns()[2].width, 0);  // from content
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(g.columns()[i].editable, i == kCaption);
    EXPECT_EQ(g.columnCells(1), (std::vector<std::string>{"NAME", "PLZ", "UMSATZ"}));
    EXPECT_EQ(g.columnCells(3), (std::vector<std::string>{"30", "5", "12"}));
    // Never given a column: the initial number, nothing in the letters and number.
    EXPECT_EQ(g.columnCells(kCaption), (std::vector<std::string>{"0", "0", "0"}));
    EXPECT_EQ(g.columnCells(kLetters), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(g.columnCells(kColNo), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(g.dropDownEntries(),
              (std::vector<std::string>{"(ohne Zuordnung)", "Name", "Postleitzahl", "Umsatz"}));
    EXPECT_EQ(g.currentRow(), 0);
    d.click(105);
  }));
  EXPECT_EQ(state.aFields.size(), 3u);
  EXPECT_EQ(state.aColumns.size(), 4u);
}

TEST_F(MappingDialogTest, ChoosingAColumnWithAndWithoutHeadings) {
  EXPECT_TRUE(open([](FakeDialog& d) {
    FakeGrid& g = d.grid(kGrid);
    // The initial number highlights its entry, "(ohne Zuordnung)".
    EXPECT_EQ(g.dropDown(1, kCaption, DropDownEnd::Clicked, 2), 0);
    EXPECT_EQ(g.cell(1, kCaption), "Postleitzahl");
    EXPECT_EQ(g.cell(1, kLetters), "B");
    EXPECT_EQ(g.cell(1, kColNo), "2");
    d.click(105);
  }));
  EXPECT_EQ(state.aFields[1][7], Value::integer(2));

  state.lHeader = false;
  state.aFields[1] = state.aFields[0];  // a fresh line again
  state.aFields[1][0] = Value::integer(2);
  EXPECT_TRUE(open([](FakeDialog& d) {
    FakeGrid& g = d.grid(kGrid);
    EXPECT_EQ(g.dropDownEntries(), (std::vector<std::string>{"0", "A", "B", "C"}));
    g.dropDown(1, kCaption, DropDownEnd::Enter, 2);
    EXPECT_EQ(g.cell(1, kCaption), "B");
    EXPECT_EQ(g.cell(1, kLetters), "B");
    EXPECT_EQ(g.cell(1, kColNo), "2");
    d.click(105);
  }));
}

TEST_F(MappingDialogTest, EscapeChangesNothingAndNoMappingEmptiesTheColumns) {
  EXPECT_TRUE(open([](FakeDialog& d) {
    FakeGrid& g = d.grid(kGrid);
    g.dropDown(0, kCaption, DropDownEnd::Clicked, 1);
    ASSERT_EQ(g.cell(0, kCaption), "Name");
    // A mapped cell holds a text: nothing is highlighted any more.
    EXPECT_EQ(g.dropDown(0, kCaption, DropDownEnd::Escape, 3), -1);
    EXPECT_EQ(g.cell(0, kCaption), "Name");
    EXPECT_EQ(g.cell(0, kColNo), "1");
    g.dropDown(0, kCaption, DropDownEnd::Clicked, 0);
    EXPECT_EQ(g.cell(0, kCaption), "");
    EXPECT_EQ(g.cell(0, kLetters), "");
    EXPECT_EQ(g.cell(0, kColNo), "");
    // Focus lost: the highlighted entry, or the first when none is highlighted.
    g.dropDown(2, kCaption, DropDownEnd::FocusLost, 3);
    EXPECT_EQ(g.cell(2, kCaption), "Umsatz");
    g.dropDown(2, kCaption, DropDownEnd::FocusLost);
    EXPECT_EQ(g.cell(2, kColNo), "");
    d.click(105);
  }));
  EXPECT_EQ(state.aFields[0][5], Value::text(""));
}

TEST_F(MappingDialogTest, TypedNumbersCountOnlyWhileTheCellHoldsItsInitialNumber) {
  EXPECT_TRUE(open([](FakeDialog& d) {
    FakeGrid& g = d.grid(kGrid);
    g.typeInto(0, kCaption, "Name");  // a text is no number
    EXPECT_EQ(g.cell(0, kCaption), "0");
    g.typeInto(0, kCaption, "9");  // no such column
    EXPECT_EQ(g.cell(0, kCaption), "0");
    g.typeInto(0, kCaption, "-1");
    EXPECT_EQ(g.cell(0, kCaption), "0");
    g.typeInto(0, kCaption, "3", grid_key::kEscape);
    EXPECT_EQ(g.cell(0, kCaption), "0");
    g.typeInto(0, kCaption, " 3");
    EXPECT_EQ(g.cell(0, kCaption), "Umsatz");
    EXPECT_EQ(g.cell(0, kLetters), "C");
    // Now the cell holds text, and so does the edit.
    g.typeInto(0, kCaption, "1");
    EXPECT_EQ(g.cell(0, kCaption), "Umsatz");
    g.typeInto(1, 1, "2");  // other columns are not edited
    EXPECT_EQ(g.cell(1, kCaption), "0");
    d.click(105);
  }));
}

TEST_F(MappingDialogTest, HeaderSortsAscendingThenDescendingAndReopeningRestoresStructureOrder) {
  EXPECT_TRUE(open([this](FakeDialog& d) {
    FakeGrid& g = d.grid(kGrid);
    g.dropDown(1, kCaption, DropDownEnd::Clicked, 2);  // PLZ, the cursor on it
    g.clickHeader(1);
    EXPECT_EQ(names(), (std::vector<std::string>{"NAME", "PLZ", "UMSATZ"}));
    g.clickHeader(1);
    EXPECT_EQ(names(), (std::vector<std::string>{"UMSATZ", "PLZ", "NAME"}));
    g.setCurrentRow(0);  // UMSATZ
    g.clickHeader(3);    // by length: 5, 12, 30
    EXPECT_EQ(names(), (std::vector<std::string>{"PLZ", "UMSATZ", "NAME"}));
    EXPECT_EQ(g.currentRow(), 1);
    g.clickHeader(3);
    EXPECT_EQ(names(), (std::vector<std::string>{"NAME", "UMSATZ", "PLZ"}));
    EXPECT_EQ(g.currentRow(), 1);
    // The number column: the initial numbers before the texts.
    g.clickHeader(kCaption);
    EXPECT_EQ(names(), (std::vector<std::string>{"NAME", "UMSATZ", "PLZ"}));
    g.clickHeader(kCaption);
    EXPECT_EQ(names().front(), "PLZ");
    EXPECT_EQ(g.cell(0, kCaption), "Postleitzahl");
    d.click(105);
  }));
  // The table in the program state took the order the list had.
  EXPECT_EQ(names(), (std::vector<std::string>{"PLZ", "NAME", "UMSATZ"}));
  EXPECT_TRUE(open([this](FakeDialog& d) {
    EXPECT_EQ(names(), (std::vector<std::string>{"NAME", "PLZ", "UMSATZ"}));
    EXPECT_EQ(d.grid(kGrid).cell(1, kCaption), "Postleitzahl");
    EXPECT_EQ(d.grid(kGrid).cell(1, kColNo), "2");
    // Nr. is sorted ascending on opening, so its first click sorts descending.
    d.grid(kGrid).clickHeader(0);
    EXPECT_EQ(names(), (std::vector<std::string>{"UMSATZ", "PLZ", "NAME"}));
    d.pressCloseBox();
  }));
}

TEST_F(MappingDialogTest, TablesAreBuiltOnlyWhenEmpty) {
  FieldRow kept{Value::integer(1),  Value::text("NAME"), Value::text("C"),
                Value::integer(30), Value::integer(0),   Value::text("B"),
                Value::text("B"),   Value::integer(2),   Value::text("")};
  state.aFields = {kept};
  EXPECT_TRUE(open([](FakeDialog& d) {
    EXPECT_EQ(d.grid(kGrid).rowCount(), 1);
    EXPECT_EQ(d.grid(kGrid).dropDownEntries().size(), 4u);  // the columns were read
    d.click(105);
  }));
  EXPECT_EQ(state.aFields, FieldTable{kept});

  // Without a column table the list has no entries, and nothing can be chosen.
  state.aFields.clear();
  state.aColumns.clear();
  // (the table is read from the first remembered file, which is gone)
  state.oSettings->Set("Excel", "xls1", Value::text(dir.file("fehlt.xlsx")));
  EXPECT_TRUE(open([](FakeDialog& d) {
    FakeGrid& g = d.grid(kGrid);
    EXPECT_TRUE(g.dropDownEntries().empty());
    g.dropDown(0, kCaption, DropDownEnd::FocusLost);
    EXPECT_EQ(g.cell(0, kCaption), "0");
    d.click(105);
  }));
  EXPECT_EQ(ui.informationTexts(),
            std::vector<std::string>{"Die ausgewählte Datei ist nicht kompatibel mit Ihrer "
                                     "Excel-Version"});

  // A table that cannot be read: its message, and no dialog.
  state.aFields.clear();
  test::writeBytes(state.cDbfFile, "kein dBase");
  ui.log.clear();
  EXPECT_FALSE(open({}));
  EXPECT_EQ(ui.kinds(), std::vector<std::string>{"information"});
}

TEST_F(MappingDialogTest, ButtonsRunTheirOperationsAndARunningImportBlocksTheDialog) {
  EXPECT_TRUE(open([this](FakeDialog& d) {
    d.click(101);
    EXPECT_EQ(d.grid(kGrid).columnCells(kCaption),
              (std::vector<std::string>{"Name", "0", "Umsatz"}));
    ui.dialogScripts.push_back([](FakeDialog& options) {
      EXPECT_EQ(options.name(), "EINLESEOPTION");
      options.select(111, 1);
      options.click(101);
    });
    d.click(102);
    EXPECT_EQ(state.nStopColumn, 2);
    ui.chosenFiles.push_back("");  // save cancelled
    d.click(103);
    d.click(104);
    EXPECT_EQ(imports, std::vector<std::string>{"run"});
    EXPECT_TRUE(d.isOpen());  // the dialog stays open after a run
    d.click(105);
  }));
  EXPECT_EQ(ui.informationTexts(),
            std::vector<std::string>{"Es wurden 2 Zuordnungen automatisch hergestellt"});

  // While the run is in progress, neither a second click nor closing does anything.
  FakeDialog* dialog = nullptr;
  ui.dialogScripts.push_back([&](FakeDialog& d) {
    dialog = &d;
    d.click(104);
    EXPECT_TRUE(d.isOpen());
    d.click(105);
  });
  const bool opened = ZUORDNUNG(state, areas, [&](AppState&) {
    imports.push_back("second");
    dialog->click(104);
    dialog->grid(kGrid).clickHeader(1);
    EXPECT_FALSE(dialog->pressCloseBox());
    dialog->click(105);
    EXPECT_TRUE(dialog->isOpen());
  });
  EXPECT_TRUE(opened);
  EXPECT_EQ(imports, (std::vector<std::string>{"run", "second"}));
  EXPECT_EQ(names(), (std::vector<std::string>{"NAME", "PLZ", "UMSATZ"}));
}

TEST_F(MappingDialogTest, ButtonsStayInOneRowUnderTheListWhenResized) {
  EXPECT_TRUE(open([](FakeDialog& d) {
    // Applied once on opening: the template's own places.
    EXPECT_EQ(d.placeOf(kGrid), (std::array<int, 4>{0, 0, 330, 200}));
    EXPECT_EQ(d.placeOf(104), (std::array<int, 4>{223, 208, 63, 14}));
    d.resize(500, 400);
    EXPECT_EQ(d.placeOf(kGrid), (std::array<int, 4>{0, 0, 500, 375}));
    for (int id : {101, 102, 103, 104, 105}) EXPECT_EQ(d.placeOf(id)[1], 383) << id;
    EXPECT_EQ(d.placeOf(101)[0], 2);
    EXPECT_EQ(d.placeOf(105)[0], 287);
    d.resize(100, 10);
    EXPECT_EQ(d.placeOf(kGrid)[3], 0);
    d.click(105);
  }));
}

// The template's smallest size is the one its layout needs: every button inside the dialog,
// apart from the others, under a list that still shows its heading and a few rows.
TEST(MappingLayoutTest, TheSmallestSizeKeepsEveryButtonWholeUnderTheList) {
  const DialogTemplate& t = *findDialogTemplate(tpl::kMapping);
  ASSERT_TRUE(t.has(dlg::kResizable));
  ASSERT_GT(t.minWidth, 0);
  const MappingLayout layout = mappingLayout(t.minWidth, t.minHeight);
  EXPECT_GE(layout.listHeight, 50);
  std::vector<Rect> placed;
  for (const ControlTemplate& c : t.controls) {
    if (c.kind != ControlKind::PushButton) continue;
    const Rect button{c.rect.x, layout.buttonTop, c.rect.width, c.rect.height};
    EXPECT_GE(button.x, 0) << c.caption;
    EXPECT_LE(button.right(), t.minWidth) << c.caption;
    EXPECT_GE(button.y, layout.listHeight) << c.caption;
    EXPECT_LE(button.bottom(), t.minHeight) << c.caption;
    for (const Rect& other : placed) EXPECT_FALSE(other.intersects(button)) << c.caption;
    placed.push_back(button);
  }
  EXPECT_EQ(placed.size(), 5u);
}

// Profiles from the dialog: saved with the list's order, loaded into the dialog unchanged,
// refused by the dialog when the stored spreadsheet has moved.
TEST_F(MappingDialogTest, ASavedProfileLoadsIntoTheDialogAndAMovedSpreadsheetIsNamed) {
  const std::string profile = dir.file("kunden");
  EXPECT_TRUE(open([&](FakeDialog& d) {
    d.grid(kGrid).dropDown(1, kCaption, DropDownEnd::Clicked, 2);
    d.grid(kGrid).clickHeader(1);
    d.grid(kGrid).clickHeader(1);
    ui.chosenFiles.push_back(profile);
    d.click(103);
    d.click(105);
  }));
  EXPECT_EQ(ui.log.back().kind, "chooseNewFile");
  const FieldTable saved = state.aFields;
  ASSERT_TRUE(test::readBytes(profile + ".qno").size() > 1);

  AppState loaded;
  test::ScriptedUi otherUi;
  loaded.ui = &otherUi;
  loaded.oSettings = std::make_unique<TIni>(dir.file("anders.ini"));
  otherUi.chosenFiles.push_back(profile + ".qno");
  otherUi.dialogScripts.push_back([&](FakeDialog& d) {
    // Not rebuilt: the saved mapping, shown in structure order.
    EXPECT_EQ(d.grid(kGrid).columnCells(1), (std::vector<std::string>{"NAME", "PLZ", "UMSATZ"}));
    EXPECT_EQ(d.grid(kGrid).cell(1, kCaption), "Postleitzahl");
    d.click(105);
  });
  ASSERT_TRUE(ZUORDNUNGLADEN(loaded));
  ZUORDNUNG(loaded, areas, {});
  EXPECT_EQ(otherUi.kinds(), (std::vector<std::string>{"chooseFile", "dialog"}));

  std::filesystem::rename(state.cXlsFile, dir.file("verschoben.csv"));
  otherUi.log.clear();
  loaded.aFields.clear();
  otherUi.chosenFiles.push_back(profile + ".qno");
  ASSERT_TRUE(ZUORDNUNGLADEN(loaded));
  ZUORDNUNG(loaded, areas, {});
  EXPECT_EQ(otherUi.informationTexts(),
            std::vector<std::string>{"keine gültige Excel-Datei ausgewählt:\r\n" + state.cXlsFile});
  EXPECT_EQ(loaded.aFields, saved);  // the loaded mapping stays
  EXPECT_EQ(loaded.cXlsFile, state.cXlsFile);
}

}  // namespace
}  // namespace zandor
