#include <gtest/gtest.h>

#include "app/help_about.h"
#include "app/main_window.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "support/recording_commands.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"
#include "support/working_directory.h"
#include "table/work_areas.h"

namespace zandor {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::ScriptedUi ui;
  AppState state;
  WorkAreas areas;
  test::RecordingCommands commands{state, areas};
  std::vector<std::string>& started = commands.started;

  void SetUp() override { state.ui = &ui; }
  // What a command did: the mapping operation started, or the kinds the Ui logged.
  std::string effectOf(Command command) {
    started.clear();
    ui.log.clear();
    ui.dialogScripts.push_back([](test::FakeDialog& d) { d.click(102); });
    const Afterwards after = commands.command(command);
    ui.dialogScripts.clear();
    std::string effect = after == Afterwards::CloseWindow ? "close" : "";
    for (const std::string& s : started) effect += s;
    for (const auto& entry : ui.log) effect += entry.kind + ":" + entry.text;
    return effect;
  }
};

TEST_F(MainWindowTest, TitleIsBuiltFromTheVersionFields) {
  EXPECT_EQ(mainWindowTitle(state), "Qno Zandor Version 1.2 Build 1 vom 22.01.2013");
  state.cBuild = "7";
  EXPECT_EQ(mainWindowTitle(state), "Qno Zandor Version 1.2 Build 7 vom 22.01.2013");
}

TEST_F(MainWindowTest, MenuItemsAndButtonsStartTheirOperations) {
  test::WorkingDirectory cwd(dir.path());
  std::map<std::string, std::string> effects;
  for (const Menu& menu : BUILDMENU()) {
    for (const MenuItem& item : menu.items) effects[item.caption] = effectOf(item.command);
  }
  for (const MenuItem& item : BUILDPOPUP())
    effects["popup " + item.caption] = effectOf(item.command);
  for (const ToolButton& button : toolbarButtons()) {
    if (button.kind != ToolKind::Separator) {
      effects["button " + button.caption] = effectOf(button.command);
    }
  }
  const std::map<std::string, std::string> expected = {
      {"&Voreinstellungen", "dialog:VOREINST"},
      {"&Zuordnung (Dialog)", "DLGZUORDNUNG"},
      {"Zuordnung aus Einstellung", "ZUORDNUNG"},
      {"Zuordnung &laden", "ZUORDNUNGLADEN"},
      {"Programm &Beenden", "close"},
      {"&Hilfe", "information:Noch keine Hilfe hintlegt"},
      {"&\xdc"
       "ber Qno",
       "information:" + aboutText()},
      {"popup Zuordnung (Startdialog)", "DLGZUORDNUNG"},
      {"popup Zuordnung aus Einstellung", "ZUORDNUNG"},
      {"popup Zuordnung laden", "ZUORDNUNGLADEN"},
      {"button Zuordnung", "DLGZUORDNUNG"},
      {"button Voreinstellung", "dialog:VOREINST"},
      {"button Beenden", "close"},
      {"button Hilfe", "information:Noch keine Hilfe hinterlegt"},
  };
  EXPECT_EQ(effects, expected);
  // Only the first button has the drop-down arrow.
  EXPECT_EQ(toolbarButtons()[0].kind, ToolKind::DropDownButton);
}

TEST_F(MainWindowTest, HelpDocumentIsLookedUpInTheWorkingDirectoryOnly) {
  test::TempDir programDir;
  test::writeBytes(programDir.path() / kHelpFileName, "%PDF");
  state.cExePath = programDir.path().string() + "/";
  test::WorkingDirectory cwd(dir.path());
  EXPECT_EQ(effectOf(Command::HelpDocument), "information:Noch keine Hilfe hinterlegt");
  test::writeBytes(dir.path() / kHelpFileName, "%PDF");
  EXPECT_EQ(effectOf(Command::HelpDocument), "openDocument:excelimport.pdf");
  // The menu's item never opens it.
  EXPECT_EQ(effectOf(Command::HelpMessage), "information:Noch keine Hilfe hintlegt");
}

TEST_F(MainWindowTest, CloseCheckWritesThePreferencesEvenWhenNothingChanged) {
  INI_INIT_FILE(state, dir.file("zandor.ini"));
  EXPECT_EQ(test::readBytes(dir.path() / "zandor.ini"), "");
  EXPECT_TRUE(commands.mayClose());
  EXPECT_EQ(test::readBytes(dir.path() / "zandor.ini"),
            "[Pfade]\r\nExcel-Pfad=\r\ndBase-Pfad=\r\n[Header]\r\nExcel=.F.\r\n"
            "[Artikel]\r\nVorlauf=\r\nNummer=1\r\n[Adressen]\r\nVorlauf=\r\nNummer=1\r\n"
            "[Updaten]\r\nNummer=.F.\r\nArtikelart=1\r\n");
}

TEST(AboutTextTest, LinesAreSeparatedByCrLfAndEndWithTwoEmptyLines) {
  const std::string text = aboutText();
  EXPECT_EQ(text.rfind("Dieses Programm wurde hergestellt von:\r\n\r\n", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 6), "\r\n\r\n\r\n");
  EXPECT_EQ(text.find('\n', 0) - 1, text.find('\r', 0));
  // Postal address, telephone and fax, e-mail and home page: three groups of two lines.
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find("\r\n", at);
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(lines.size(), 13u);
  for (int empty : {1, 5, 8, 11, 12}) EXPECT_EQ(lines[empty], "") << empty;
}

}  // namespace
}  // namespace zandor
