#include "mapping/file_choice_dialog.h"

#include <gtest/gtest.h>

#include "settings/preferences.h"
#include "state/app_state.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

namespace zandor {
namespace {

using test::FakeDialog;

class FileChoiceDialogTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::ScriptedUi ui;
  AppState state;

  void SetUp() override {
    state.ui = &ui;
    INI_INIT_FILE(state, dir.file("zandor.ini"));
  }

  // True when the dialog asked for the mapping dialog to follow.
  bool run(FakeDialog::Script script) {
    ui.dialogScripts.push_back(std::move(script));
    const bool next = DLGZUORDNUNG(state);
    EXPECT_TRUE(ui.dialogScripts.empty());
    return next;
  }
  void remember(const char* section, const char* prefix, std::vector<std::string> names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      state.oSettings->Set(section, prefix + std::to_string(i + 1), Value::text(names[i]));
    }
  }
  std::vector<std::string> remembered(const char* section, const char* prefix) {
    std::vector<std::string> out;
    for (int i = 1; i <= 20; ++i)
      out.push_back(state.oSettings->Get(section, prefix + std::to_string(i)));
    while (!out.empty() && out.back().empty()) out.pop_back();
    return out;
  }
  void makeMapping() {
    FieldRow field;
    field[field_slot::kFieldName] = Value::text("NAME");
    state.aFields = {field};
    ColumnRow column;
    column[column_slot::kColHeading] = Value::text("Name");
    state.aColumns = {column};
  }
};

TEST_F(FileChoiceDialogTest, EmptyListsGoOnWithEmptyChoicesStoredFirst) {
  const bool next = run([](FakeDialog& d) {
    EXPECT_EQ(d.title(), "Datei-Optionen");
    EXPECT_TRUE(OCTRL(d, 111).items().empty());
    EXPECT_EQ(OCTRL(d, 111).selection(), -1);
    EXPECT_TRUE(OCTRL(d, 112).items().empty());
    EXPECT_TRUE(d.checked(105));
    d.click(103);
    EXPECT_FALSE(d.isOpen());
  });
  EXPECT_TRUE(next);
  EXPECT_EQ(ui.kinds(), (std::vector<std::string>{"dialog"}));
  // Both lists are on file before the mapping dialog reads them.
  EXPECT_EQ((std::vector<std::string>{state.cXlsFile, state.cDbfFile,
                                      state.oSettings->Get("Excel", "xls1"),
                                      state.oSettings->Get("dBase", "dbf1")}),
            (std::vector<std::string>{"", "", "", ""}));
  // The keys exist now, all empty.
  EXPECT_TRUE(state.oSettings->Get("Excel", "xls20").empty());
  EXPECT_NE(test::readBytes(dir.file("zandor.ini")).find("xls20="), std::string::npos);
}

TEST_F(FileChoiceDialogTest, BrowsingStartsInThePreferredFoldersAndMovesAChoiceToTheTop) {
  remember("Excel", "xls", {"/d/a.xls", "/d/b.xls", "/d/c.xls"});
  remember("dBase", "dbf", {"/t/ADRESSEN.DBF"});
  state.vorein(vorein::kXlsDirectory) = Value::text("/daten/excel");
  state.vorein(vorein::kDbfDirectory) = Value::text("/daten/dbase");
  ui.chosenFiles = {"", "/d/c.xls", ""};
  run([](FakeDialog& d) {
    EXPECT_EQ(OCTRL(d, 111).items(),
              (std::vector<std::string>{"/d/a.xls", "/d/b.xls", "/d/c.xls"}));
    EXPECT_EQ(OCTRL(d, 111).selection(), 0);
    EXPECT_EQ(OCTRL(d, 112).selection(), 0);
    d.click(121);  // cancelled: a.xls stays
    EXPECT_EQ(OCTRL(d, 111).selection(), 0);
    d.click(121);
    EXPECT_EQ(OCTRL(d, 111).selection(), 2);
    d.click(122);  // cancelled
    d.click(101);
  });
  ASSERT_EQ(ui.log.size(), 4u);
  EXPECT_EQ(ui.log[1].title, "Bitte eine Exceldatei ausw\xe4hlen");
  EXPECT_EQ(ui.log[1].text, "*.xl*");
  EXPECT_EQ(ui.log[3].title, "Bitte eine dBasedatei ausw\xe4hlen");
  EXPECT_EQ(ui.log[3].text, "*.dbf");
  EXPECT_EQ(ui.startDirectories,
            (std::vector<std::string>{"/daten/excel", "/daten/excel", "/daten/dbase"}));
  EXPECT_EQ(remembered("Excel", "xls"),
            (std::vector<std::string>{"/d/c.xls", "/d/a.xls", "/d/b.xls"}));
  EXPECT_EQ(remembered("dBase", "dbf"), (std::vector<std::string>{"/t/ADRESSEN.DBF"}));
  EXPECT_EQ(state.cXlsFile, "/d/c.xls");
  EXPECT_EQ(state.cDbfFile, "/t/ADRESSEN.DBF");
}

TEST_F(FileChoiceDialogTest, ABrowsedNewFileIsShownAndTakenButRememberedOnlyOnConfirm) {
  remember("Excel", "xls", {"/d/a.xls", "/d/b.xls"});
  remember("dBase", "dbf", {"/t/A.DBF", "/t/B.DBF"});
  ui.chosenFiles = {"/neu/ARTIKEL.DBF"};
  run([&](FakeDialog& d) {
    d.select(111, 1);
    d.click(122);
    EXPECT_EQ(OCTRL(d, 112).items()[static_cast<std::size_t>(OCTRL(d, 112).selection())],
              "/neu/ARTIKEL.DBF");
    EXPECT_EQ(remembered("dBase", "dbf"), (std::vector<std::string>{"/t/A.DBF", "/t/B.DBF"}));
    d.click(101);
  });
  EXPECT_EQ(remembered("Excel", "xls"), (std::vector<std::string>{"/d/b.xls", "/d/a.xls"}));
  EXPECT_EQ(remembered("dBase", "dbf"),
            (std::vector<std::string>{"/neu/ARTIKEL.DBF", "/t/A.DBF", "/t/B.DBF"}));
  EXPECT_EQ(state.cXlsFile, "/d/b.xls");
  EXPECT_EQ(state.cDbfFile, "/neu/ARTIKEL.DBF");
  EXPECT_EQ(ui.kinds(), (std::vector<std::string>{"dialog", "chooseFile"}));
}

TEST_F(FileChoiceDialogTest, CancelKeepsTheHeaderClickButNothingElse) {
  remember("Excel", "xls", {"/d/a.xls", "/d/b.xls"});
  state.cXlsFile = "/d/a.xls";
  makeMapping();
  run([](FakeDialog& d) {
    d.click(105);
    d.select(111, 1);
    d.click(102);
    EXPECT_FALSE(d.isOpen());
  });
  EXPECT_FALSE(state.lHeader);
  EXPECT_EQ(state.cXlsFile, "/d/a.xls");
  EXPECT_EQ(remembered("Excel", "xls"), (std::vector<std::string>{"/d/a.xls", "/d/b.xls"}));
  EXPECT_EQ(state.aFields.size(), 1u);

  // The dialog shows the current value, and the close box ends it the same way.
  run([](FakeDialog& d) {
    EXPECT_FALSE(d.checked(105));
    d.click(105);
    d.pressCloseBox();
  });
  EXPECT_TRUE(state.lHeader);
  EXPECT_EQ(state.aColumns.size(), 1u);
  EXPECT_EQ(ui.kinds(), (std::vector<std::string>{"dialog", "dialog"}));
}

TEST_F(FileChoiceDialogTest, ConfirmingTheSameFilesAgainDiscardsTheMapping) {
  remember("Excel", "xls", {"/d/a.xls"});
  remember("dBase", "dbf", {"/t/A.DBF"});
  makeMapping();
  EXPECT_FALSE(run([](FakeDialog& d) { d.click(101); }));  // no mapping dialog after it
  EXPECT_TRUE(state.aFields.empty());
  EXPECT_TRUE(state.aColumns.empty());
  EXPECT_EQ(state.cXlsFile, "/d/a.xls");
  EXPECT_EQ(remembered("Excel", "xls"), (std::vector<std::string>{"/d/a.xls"}));
}

TEST_F(FileChoiceDialogTest, ADroppedFileIsPendingOnTopOfItsList) {
  remember("Excel", "xls", {"/d/a.xls"});
  remember("dBase", "dbf", {"/t/ADRESSEN.DBF"});
  ui.dialogScripts.push_back([](FakeDialog& d) {
    EXPECT_EQ(OCTRL(d, 112).items(),
              (std::vector<std::string>{"/t/neu/ARTIKEL.Dbf", "/t/ADRESSEN.DBF"}));
    EXPECT_EQ(OCTRL(d, 112).selection(), 0);
    EXPECT_EQ(OCTRL(d, 111).items(), std::vector<std::string>{"/d/a.xls"});
    d.click(101);
  });
  DLGZUORDNUNG(state, "/t/neu/ARTIKEL.Dbf");
  EXPECT_EQ(state.cDbfFile, "/t/neu/ARTIKEL.Dbf");
  EXPECT_EQ(state.cXlsFile, "/d/a.xls");

  ui.dialogScripts.push_back([](FakeDialog& d) {
    EXPECT_EQ(OCTRL(d, 111).items(), (std::vector<std::string>{"/d/liste.csv", "/d/a.xls"}));
    d.click(102);
  });
  DLGZUORDNUNG(state, "/d/liste.csv");
  EXPECT_EQ(remembered("Excel", "xls"), std::vector<std::string>{"/d/a.xls"});  // cancelled
}

}  // namespace
}  // namespace zandor
