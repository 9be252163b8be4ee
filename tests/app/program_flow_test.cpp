#include <gtest/gtest.h>

#include "app/program_commands.h"
#include "import/import_fixture.h"
#include "support/fake_dialog.h"

namespace zandor {
namespace {

using test::FakeDialog;

// The program's commands with nothing stood in: each dialog the scripted user meets is the
// real behaviour on a fake window, in the order the program opens them.
class ProgramFlowTest : public test::ImportFixture {
 protected:
  ProgramCommands commands{state, areas};

  void SetUp() override {
    ImportFixture::SetUp();
    makeTable("KUNDEN.DBF", {{"KUNDE", 'C', 10, 0}, {"NAME1", 'C', 12, 0}});
    makeSheet({"KUNDE;NAME1", "K1;Meier", "K2;Schulz"});
    state.oSettings->Set("Excel", "xls1", Value::text(state.cXlsFile));
    state.aFields.clear();
    state.nStopColumn = 0;
  }

  std::vector<std::string> dialogs() const {
    std::vector<std::string> out;
    for (const auto& e : ui.log) {
      if (e.kind == "dialog") out.push_back(e.text);
    }
    return out;
  }
};

TEST_F(ProgramFlowTest, FromTheToolbarButtonThroughEveryDialogToTheImportedTable) {
  ui.dialogScripts.push_back([](FakeDialog& choice) { choice.click(103); });  // Nächster Schritt
  ui.dialogScripts.push_back([this](FakeDialog& mapping) {
    mapping.click(101);  // map by headings
    ui.dialogScripts.push_front([](FakeDialog& options) {
      options.select(111, 0);  // stop at the first empty cell of column A
      options.click(101);
    });
    mapping.click(102);
    mapping.click(104);  // Einlesen starten; the dialog stays open while the run goes
    mapping.click(105);
  });
  EXPECT_EQ(commands.command(Command::FileChoice), Afterwards::Stay);
  EXPECT_EQ(dialogs(), (std::vector<std::string>{"DATEIWAHL", "ZUORDNUNG", "EINLESEOPTION"}));
  EXPECT_EQ(state.nStopColumn, 1);
  const std::vector<std::string> texts = ui.informationTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back().rfind("Fertig! Insgesamt wurden 2 Datens\xc3\xa4tze", 0), 0u)
      << texts.back();
  const std::vector<std::string> rows = records();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_NE(rows[0].find("Meier"), std::string::npos);
  EXPECT_NE(rows[1].find("K2"), std::string::npos);
}

TEST_F(ProgramFlowTest, TheMappingDialogFollowsOnlyTheStepsThatAskForIt) {
  // "Speichern und schließen" in the file choice ends there.
  ui.dialogScripts.push_back([](FakeDialog& choice) { choice.click(101); });
  commands.command(Command::FileChoice);
  EXPECT_EQ(dialogs(), std::vector<std::string>{"DATEIWAHL"});

  // A cancelled profile choice opens nothing.
  ui.log.clear();
  ui.chosenFiles.push_back("");
  commands.command(Command::LoadMapping);
  EXPECT_EQ(ui.kinds(), std::vector<std::string>{"chooseFile"});

  // "Zuordnung aus Einstellung" goes straight to the mapping dialog.
  ui.log.clear();
  ui.dialogScripts.push_back([](FakeDialog& mapping) { mapping.click(105); });
  commands.command(Command::MappingFromSettings);
  EXPECT_EQ(dialogs(), std::vector<std::string>{"ZUORDNUNG"});
  EXPECT_EQ(commands.command(Command::Quit), Afterwards::CloseWindow);
}

TEST_F(ProgramFlowTest, ADroppedFileIsTakenOnlyWhenAReaderOrTheTableLayerReadsItsKind) {
  for (const char* taken : {"a.xlsx", "B.XLS", "c.ods", "d.fods", "e.csv", "f.xlsm", "g.dbf",
                            "/pfad mit.punkt/h.Xltx"}) {
    EXPECT_TRUE(commands.takesDroppedFile(taken)) << taken;
  }
  for (const char* refused :
       {"bild.png", "liste", "xlsx", "/daten.xlsx/notiz", "a.xlsx.bak", "a.pdf", ""}) {
    EXPECT_FALSE(commands.takesDroppedFile(refused)) << refused;
  }
  commands.fileDropped(data.file("bild.png"));
  EXPECT_TRUE(ui.log.empty());

  // A dropped table is the pending table choice of the file choice.
  const std::string other = data.file("ANDERE.DBF");
  ui.dialogScripts.push_back([other](FakeDialog& choice) {
    EXPECT_EQ(OCTRL(choice, 112).items().front(), other);
    choice.click(102);
  });
  commands.fileDropped(other);
  EXPECT_EQ(dialogs(), std::vector<std::string>{"DATEIWAHL"});
}

}  // namespace
}  // namespace zandor
