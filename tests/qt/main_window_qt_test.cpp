#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "app/error_handler.h"
#include "app/help_about.h"
#include "qt/main_window.h"
#include "qt/qt_test_support.h"
#include "qt/qt_ui.h"
#include "resources/dialog_template.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "support/recording_commands.h"
#include "support/test_support.h"
#include "support/working_directory.h"
#include "table/work_areas.h"
#include "ui/event_guard.h"

namespace zandor {
namespace {

class QtMainWindowTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  QtUi ui;
  AppState state;
  WorkAreas areas;
  test::RecordingCommands commands{state, areas};
  std::vector<std::string>& started = commands.started;
  std::unique_ptr<MainWindow> window;

  void SetUp() override {
    state.ui = &ui;
    INI_INIT_FILE(state, dir.file("zandor.ini"));
    window = std::make_unique<MainWindow>(state, commands);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  QAction* menuAction(const QString& menu, const QString& item) {
    for (QAction* m : window->menuBar()->actions()) {
      if (m->text() != menu) continue;
      for (QAction* a : m->menu()->actions()) {
        if (a->text() == item) return a;
      }
    }
    return nullptr;
  }
  std::string ini() { return test::readBytes(dir.path() / "zandor.ini"); }
};

TEST_F(QtMainWindowTest, TitleStatusAndMenusComeFromTheData) {
  EXPECT_EQ(window->windowTitle(), "Qno Zandor Version 1.2 Build 1 vom 22.01.2013");
  auto* status = window->findChild<QLabel*>("statusText");
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(status->text().startsWith("Excel-Einlesetool "));
  QStringList menus;
  for (QAction* m : window->menuBar()->actions()) menus << m->text();
  EXPECT_EQ(menus, QStringList({"&Datei", "&Hilfe"}));
  ASSERT_NE(menuAction("&Hilfe", "&Über Qno"), nullptr);
  EXPECT_TRUE(test::saveScreenshot(window.get(), "main_window"));
}

TEST_F(QtMainWindowTest, ButtonBodyOpensTheFileChoiceAndTheArrowTheMenu) {
  QToolButton* button = window->dropDownButton();
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->toolTip(), "Zuordnung");
  EXPECT_GE(button->width(), 52);
  EXPECT_GE(button->height(), 52);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
  EXPECT_EQ(started, std::vector<std::string>{"DLGZUORDNUNG"});

  QStringList items;
  test::onNextPopup([&](QWidget* popup) {
    for (QAction* a : static_cast<QMenu*>(popup)->actions()) items << a->text();
    EXPECT_TRUE(test::saveScreenshot(popup, "drop_down_menu"));
    EXPECT_GE(popup->mapToGlobal(QPoint(0, 0)).y(),
              button->mapToGlobal(QPoint(0, button->height())).y() - 1);
    static_cast<QMenu*>(popup)->actions()[2]->trigger();
    popup->close();
  });
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() - 4, button->height() / 2));
  QTest::qWait(50);
  EXPECT_EQ(items, QStringList({"Zuordnung (Startdialog)", "Zuordnung aus Einstellung",
                                "Zuordnung laden"}));
  EXPECT_EQ(started, (std::vector<std::string>{"DLGZUORDNUNG", "ZUORDNUNGLADEN"}));
}

TEST_F(QtMainWindowTest, HelpMenuShowsItsMessageAndAboutTheMakersLines) {
  QString text;
  test::onNextModal([&](QWidget* box) {
    text = static_cast<QMessageBox*>(box)->text();
    static_cast<QMessageBox*>(box)->accept();
  });
  menuAction("&Hilfe", "&Hilfe")->trigger();
  EXPECT_EQ(text, "Noch keine Hilfe hintlegt");

  test::onNextModal([&](QWidget* box) {
    text = static_cast<QMessageBox*>(box)->text();
    EXPECT_EQ(box->windowTitle(), "Information");
    EXPECT_TRUE(test::saveScreenshot(box, "about_box"));
    static_cast<QMessageBox*>(box)->accept();
  });
  menuAction("&Hilfe", "&Über Qno")->trigger();
  EXPECT_TRUE(text.startsWith("Dieses Programm wurde hergestellt von:\n\n"));
}

TEST_F(QtMainWindowTest, PreferencesOpenFromTheToolbar) {
  bool opened = false;
  test::onNextModal([&](QWidget* dialog) {
    opened = dialog->objectName() == "VOREINST";
    EXPECT_TRUE(test::saveScreenshot(dialog, "preferences"));
    QTest::mouseClick(test::controlOf<QPushButton>(dialog, 102), Qt::LeftButton);
  });
  QTest::mouseClick(window->findChild<QToolButton*>("toolSETUP"), Qt::LeftButton);
  EXPECT_TRUE(opened);
}

TEST_F(QtMainWindowTest, EveryWayOfClosingWritesTheSettings) {
  QTest::mouseClick(window->findChild<QToolButton*>("toolQUIT"), Qt::LeftButton);
  EXPECT_FALSE(window->isVisible());
  EXPECT_NE(ini().find("[Updaten]\r\nNummer=.F.\r\nArtikelart=1\r\n"), std::string::npos);

  std::filesystem::remove(dir.path() / "zandor.ini");
  window->show();
  menuAction("&Datei", "Programm &Beenden")->trigger();
  EXPECT_FALSE(window->isVisible());
  EXPECT_NE(ini().find("[Pfade]"), std::string::npos);

  std::filesystem::remove(dir.path() / "zandor.ini");
  window->show();
  window->close();  // the close box and the system menu send this
  EXPECT_NE(ini().find("[Pfade]"), std::string::npos);
}

// "&Quit" in the error dialog, chosen while a command of the window runs, ends every event
// loop with exit code 1, carries the quit through the dialog that was open, and does not
// write the settings.
TEST_F(QtMainWindowTest, QuitInTheErrorDialogEndsTheProgramWithoutWritingSettings) {
  test::WorkingDirectory cwd(dir.path());
  ERRORSYS(state, nullptr, "Qt Test");
  bool unwound = false;
  test::RecordingCommands failing(state, areas);
  failing.onFileChoice = [&](AppState& s) {
    // An error raised inside a dialog that is open over the window.
    auto dialog = s.ui->makeDialog(tpl::kPreferences);
    dialog->onClicked = [](int) {
      Error error;
      error.genCode = gen::kCorruption;
      error.subsystem = "DBFCDX";
      raiseError(error);
    };
    test::onNextModal([](QWidget* d) {
      test::onNextModal([](QWidget* e) { e->findChild<QPushButton*>("ctl112")->click(); }, d);
      test::controlOf<QPushButton>(d, 101)->click();
    });
    try {
      dialog->runModal();
    } catch (const ProgramQuit&) {
      unwound = true;
      throw;
    }
  };
  MainWindow failingWindow(state, failing);
  failingWindow.show();
  QTimer::singleShot(0, [&] {
    QTest::mouseClick(failingWindow.dropDownButton(), Qt::LeftButton, {}, QPoint(8, 20));
  });
  QEventLoop loop;
  EXPECT_EQ(loop.exec(), 1);
  EXPECT_TRUE(unwound);
  EXPECT_TRUE(quitPending());
  EXPECT_EQ(pendingQuitCode(), 1);
  EXPECT_EQ(ini(), "");
  test::forgetQuit();
  setErrorHandler(consoleErrorHandler);
}

TEST_F(QtMainWindowTest, ADroppedSpreadsheetOrTableOpensTheFileChoiceWithIt) {
  MainWindow target(state, commands);
  target.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
  auto drop = [&](const QString& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&target, &event);
    QTest::qWait(20);
    return true;
  };
  EXPECT_TRUE(drop(QStringLiteral("/daten/Preisliste M\u00e4rz.xlsx")));
  EXPECT_TRUE(drop(QStringLiteral("/daten/ARTIKEL.DBF")));
  EXPECT_FALSE(drop(QStringLiteral("/daten/bild.png")));
  EXPECT_EQ(started, (std::vector<std::string>{"DLGZUORDNUNG/daten/Preisliste M\xe4rz.xlsx",
                                               "DLGZUORDNUNG/daten/ARTIKEL.DBF"}));
}

}  // namespace
}  // namespace zandor
