#include <gtest/gtest.h>

#include <thread>

#include "app/error_handler.h"
#include "app/error_report.h"
#include "resources/dialog_template.h"
#include "resources/ids/error_dialog_ids.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"
#include "support/working_directory.h"

namespace zandor {
namespace {

using test::FakeDialog;

Error seekError() {
  Error e;
  e.genCode = gen::kNoOrder;
  e.subsystem = "DBFCDX";
  e.subCode = 1201;
  e.description = "Workarea not indexed";
  e.operation = "DBSEEK";
  e.canDefault = true;
  return e;
}

class ErrorHandlerTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::WorkingDirectory cwd{dir.path()};
  test::ScriptedUi ui;
  AppState state;
  int mainWindow = 0;

  void SetUp() override {
    state.ui = &ui;
    ERRORSYS(state, nullptr, "Qt 6 (Test)");
  }
  void TearDown() override { setErrorHandler(consoleErrorHandler); }
  void mainWindowRuns() { state.oWndMain = reinterpret_cast<WindowHandle*>(&mainWindow); }
  std::string report() { return test::readBytes(dir.path() / "error.log"); }
  // The exit code the program quits with, or -1 when the handler answered.
  int quitCode(const Error& error) {
    try {
      raiseError(error);
      return -1;
    } catch (const ProgramQuit& quit) {
      return quit.exitCode();
    }
  }
};

TEST_F(ErrorHandlerTest, DivisionByZeroAndSharingErrorsAreSettledSilently) {
  Error zero;
  zero.genCode = gen::kZeroDivision;
  EXPECT_EQ(raiseError(zero), ErrorAnswer::Default);
  for (int osCode : {32, 5}) {
    Error open;
    open.genCode = gen::kOpen;
    open.osCode = osCode;
    open.canDefault = true;
    EXPECT_EQ(raiseError(open), ErrorAnswer::Default);
  }
  Error lock;
  lock.genCode = gen::kAppendLock;
  lock.canDefault = true;
  EXPECT_EQ(raiseError(lock), ErrorAnswer::Default);
  EXPECT_TRUE(ui.log.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "error.log"));

  // Without a default allowed, the same refused lock needs the user.
  lock.canDefault = false;
  ui.dialogScripts.push_back([](FakeDialog& d) { d.click(errdlg::kQuit); });
  EXPECT_EQ(quitCode(lock), 1);
}

TEST_F(ErrorHandlerTest, DialogShowsDescriptionStackAndOnlyTheAllowedButtons) {
  mainWindowRuns();
  ui.dialogScripts.push_back([](FakeDialog& d) {
    EXPECT_EQ(d.title(), "Qt 6 (Test)");
    EXPECT_EQ(d.text(errdlg::kDescription),
              "   Error description: Error DBFCDX/1201  Workarea not indexed: DBSEEK");
#ifndef _WIN32  // the call levels come from glibc's backtrace; Windows builds list none yet
    Control& stack = OCTRL(d, errdlg::kStackList);
    ASSERT_FALSE(stack.items().empty());
    EXPECT_EQ(stack.selection(), 0);
    EXPECT_EQ(stack.items()[0].rfind("   Called from: ", 0), 0u);
#endif
    EXPECT_FALSE(OCTRL(d, errdlg::kRetry).visible());
    EXPECT_TRUE(OCTRL(d, errdlg::kDefault).visible());
    d.click(errdlg::kSeeReport);
    EXPECT_TRUE(d.isOpen());
    d.click(errdlg::kDefault);
  });
  EXPECT_EQ(raiseError(seekError()), ErrorAnswer::Default);
  EXPECT_EQ(ui.kinds(), (std::vector<std::string>{"dialog", "showTextFile"}));
#ifdef _WIN32
  EXPECT_EQ(ui.log[1].text, ".\\error.log");
#else
  EXPECT_EQ(ui.log[1].text, "./error.log");
#endif
  EXPECT_NE(report().find("   Error description: Error DBFCDX/1201  Workarea not indexed"),
            std::string::npos);

  Error retryable = seekError();
  retryable.canRetry = true;
  ui.dialogScripts.push_back([](FakeDialog& d) { d.click(errdlg::kRetry); });
  EXPECT_EQ(raiseError(retryable), ErrorAnswer::Retry);
}

TEST_F(ErrorHandlerTest, QuitCloseBoxAndLateRetryEndTheProgramWithoutWritingSettings) {
  INI_INIT_FILE(state, dir.file("zandor.ini"));
  ui.dialogScripts.push_back([](FakeDialog& d) { d.click(errdlg::kQuit); });
  EXPECT_EQ(quitCode(seekError()), 1);
  ui.dialogScripts.push_back([](FakeDialog& d) { d.pressCloseBox(); });
  EXPECT_EQ(quitCode(seekError()), 1);
  Error retryable = seekError();
  retryable.canRetry = true;
  ui.dialogScripts.push_back([](FakeDialog& d) { d.click(errdlg::kRetry); });
  EXPECT_EQ(quitCode(retryable), 1);  // the main window is no longer running
  EXPECT_EQ(test::readBytes(dir.path() / "zandor.ini"), "");
}

TEST_F(ErrorHandlerTest, ASecondErrorWhileTheDialogIsBuiltEndsTheProgramAtOnce) {
  mainWindowRuns();
  ui.dialogScripts.push_back([](FakeDialog&) { raiseError(seekError()); });
  EXPECT_EQ(quitCode(seekError()), 1);
  EXPECT_EQ(ui.kinds(), std::vector<std::string>{"dialog"});
  // The handler is usable again afterwards.
  ui.dialogScripts.push_back([](FakeDialog& d) { d.click(errdlg::kDefault); });
  EXPECT_EQ(raiseError(seekError()), ErrorAnswer::Default);
}

TEST_F(ErrorHandlerTest, AnErrorOnAnotherThreadNeverOpensTheDialogThere) {
  bool refused = false;
  std::thread helper([&] {
    try {
      raiseError(seekError());
    } catch (const ErrorException&) {
      refused = true;  // handed back to the GUI thread instead
    }
  });
  helper.join();
  EXPECT_TRUE(refused);
  EXPECT_TRUE(ui.log.empty());
}

TEST(ErrorReportTest, SectionsAndLineFormats) {
  Error error = seekError();
  error.args = std::vector<Value>{Value::text("K1000"), Value::integer(12), Value::logical(true)};
  ReportFacts facts;
  facts.programPath = "/opt/zandor/zandor";
  facts.programSize = 1234567;
  facts.osMajor = 6;
  facts.osMinor = 1;
  facts.osBuild = 76;
  facts.osExtra = "Linux";
  facts.secondsFromStart = 3725;
  facts.date = "22.01.13";
  facts.time = "09:05:01";
  facts.calls = {{"zandor", "EINLESEN", 310}, {"", "", 0}, {"zandor", "MAIN", 12}};
  facts.memoryBytes = 8ull * 1024 * 1024 * 1024 + 5;
  facts.tasks = {"1 init", "77 zandor"};
  facts.drivers = {"DBFCDX", "DBFNTX"};
  WorkAreaFacts area;
  area.number = 1;
  area.current = true;
  area.alias = "cAlias";
  area.driver = "DBFCDX";
  area.recNo = 5;
  area.recCount = 1200;
  area.orders = {{"KUNDE", "ADKUN", true}, {"", "LEER", false}, {"UPPER(NAME)", "NAME", false}};
  facts.areas = {area};
  facts.classes = {"TIni"};

  const std::string r = errorReport(error, facts);
  const std::string expectedParts[] = {
      "Application\r\n===========\r\n   Path and name: /opt/zandor/zandor (64 bits)\r\n"
      "   Size: 1,234,567 bytes\r\n",
      "   Windows version: 6.1, Build 76 Linux\r\n\r\n   Time from start: 01:02:05\r\n"
      "   Error occurred at: 22.01.13, 09:05:01\r\n"
      "   Error description: Error DBFCDX/1201  Workarea not indexed: DBSEEK\r\n"
      "   Args:\r\n     [   1] = C   K1000\r\n     [   2] = N   12\r\n     [   3] = L   .T.\r\n"
      "\r\nStack Calls\r\n===========\r\n"
      "   Called from: zandor => EINLESEN( 310 )\r\n   Called from: zandor => MAIN( 12 )\r\n"
      "\r\nSystem\r\n======\r\n",
      "   Hardware memory: 8193 megs\r\n\r\n",
      "   Windows total applications running: 2\r\n      1 1 init\r\n      2 77 zandor\r\n",
      "\r\nVariables in use\r\n================\r\n   Procedure     Type   Value\r\n",
      "\r\nLinked RDDs\r\n===========\r\n   DBFCDX\r\n   DBFNTX\r\n"
      "\r\nDataBases in use\r\n================\r\n\r\n"
      "  1: => cAlias                             RddName: DBFCDX\r\n"
      "     ==============================\r\n     RecNo    RecCount    BOF   EOF\r\n"
      "          5         1200      .F.   .F.\r\n\r\n"
      "     Indexes in use                        TagName\r\n"
      "        => KUNDE                              ADKUN\r\n"
      "           UPPER(NAME)                        NAME\r\n\r\n     Relations in use\r\n"
      "\r\nClasses in use:\r\n===============\r\n     1 TIni\r\n"
      "\r\nMemory Analysis\r\n===============\r\n",
  };
  std::size_t at = 0;
  for (const std::string& part : expectedParts) {
    const std::size_t found = r.find(part, at);
    EXPECT_NE(found, std::string::npos) << part;
    if (found != std::string::npos) at = found + part.size();
  }
  EXPECT_EQ(r.substr(r.size() - 2), "\r\n");
  EXPECT_EQ(pictureThousands(999), "      999");
  EXPECT_EQ(pictureThousands(12345678), "12,345,678");
}

}  // namespace
}  // namespace zandor
