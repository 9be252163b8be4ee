#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/error_handler.h"
#include "app/startup.h"
#include "mapping/column_headings.h"
#include "mapping/file_choice_dialog.h"
#include "mapping/import_options_dialog.h"
#include "qt/qt_test_support.h"
#include "qt/qt_ui.h"
#include "qt/template_dialog.h"
#include "resources/dialog_template.h"
#include "resources/ids/error_dialog_ids.h"
#include "settings/preferences.h"
#include "settings/preferences_dialog.h"
#include "state/app_state.h"
#include "state/wait_message.h"
#include "support/test_support.h"
#include "support/working_directory.h"

namespace zandor {
namespace {

using test::controlOf;
using test::onNextModal;

class QtDialogsTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  QtUi ui;
  AppState state;

  void SetUp() override {
    state.ui = &ui;
    INI_INIT_FILE(state, dir.file("zandor.ini"));
  }
};

void typeInto(QWidget* dialog, int id, const QString& text) {
  QLineEdit* edit = controlOf<QLineEdit>(dialog, id);
  ASSERT_NE(edit, nullptr) << id;
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, text);
}

TEST_F(QtDialogsTest, PreferencesTakeInputValidateOnEscapeAndStoreOnOk) {
  std::vector<QString> messages;
  bool checkedDialog = false;
  onNextModal([&](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Voreinstellungen");
    typeInto(dialog, 113, "ABCDEF");
    typeInto(dialog, 114, "12x3456789");  // digits only, six positions
    EXPECT_EQ(controlOf<QLineEdit>(dialog, 114)->text(), "123456");
    EXPECT_EQ(controlOf<QLabel>(dialog, 131)->text(), "ABCDEF123456");
    onNextModal(
        [&](QWidget* box) {
          messages.push_back(static_cast<QMessageBox*>(box)->text());
          static_cast<QMessageBox*>(box)->accept();
        },
        dialog);
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    typeInto(dialog, 114, "1234");
    QTest::mouseClick(controlOf<QCheckBox>(dialog, 141), Qt::LeftButton, {}, QPoint(6, 6));
    QTest::mouseClick(controlOf<QPushButton>(dialog, 101), Qt::LeftButton);
    checkedDialog = true;
  });
  VOREINST(state);
  EXPECT_TRUE(checkedDialog);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            "Die autom. Kundennummer darf max. 10 Stellen haben\n"
            "Bitte kürzen Sie entweder den Vorlauf oder die Nummer");
  EXPECT_EQ(state.vorein(vorein::kAdrPrefix), Value::text("ABCDEF"));
  EXPECT_EQ(state.oSettings->Get("Adressen", "Nummer"), "1234");
  EXPECT_EQ(state.oSettings->Get("Updaten", "Nummer"), ".T.");
}

TEST_F(QtDialogsTest, FileChoiceTakesTheEntryPickedInTheDropDown) {
  state.oSettings->Set("Excel", "xls1", Value::text("/daten/Preisliste M\xe4rz.xlsx"));
  state.oSettings->Set("Excel", "xls2", Value::text("/daten/alt.xls"));
  state.oSettings->Set("dBase", "dbf1", Value::text("/daten/ARTIKEL.DBF"));
  bool checkedDialog = false;
  onNextModal([&](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Datei-Optionen");
    auto* xls = controlOf<QComboBox>(dialog, 111);
    ASSERT_NE(xls, nullptr);
    EXPECT_FALSE(xls->isEditable());
    EXPECT_EQ(xls->currentText(), "/daten/Preisliste März.xlsx");
    EXPECT_EQ(controlOf<QComboBox>(dialog, 112)->currentText(), "/daten/ARTIKEL.DBF");
    EXPECT_TRUE(test::saveScreenshot(dialog, "file_choice"));
    xls->setFocus();
    QTest::keyClick(xls, Qt::Key_Down);
    EXPECT_EQ(xls->currentText(), "/daten/alt.xls");
    QTest::mouseClick(controlOf<QCheckBox>(dialog, 105), Qt::LeftButton, {}, QPoint(6, 6));
    QTest::mouseClick(controlOf<QPushButton>(dialog, 101), Qt::LeftButton);
    checkedDialog = true;
  });
  DLGZUORDNUNG(state);
  EXPECT_TRUE(checkedDialog);
  EXPECT_FALSE(state.lHeader);
  EXPECT_EQ(state.cXlsFile, "/daten/alt.xls");
  EXPECT_EQ(state.oSettings->Get("Excel", "xls1"), "/daten/alt.xls");
  EXPECT_EQ(state.oSettings->Get("Excel", "xls2"), "/daten/Preisliste M\xe4rz.xlsx");
  EXPECT_EQ(state.cDbfFile, "/daten/ARTIKEL.DBF");
}

TEST_F(QtDialogsTest, ImportOptionsPromptThenTakeTheStopColumnAndTheNumberFlag) {
  state.cDbfFile = "/daten/ADRESSEN.DBF";
  state.aColumns = columnTableFromFirstRow(3, [](int column) {
    return std::optional<Value>(Value::text(column == 1 ? "Name" : column == 2 ? "Ort" : "PLZ"));
  });
  bool checkedDialog = false;
  onNextModal([&](QWidget* dialog) {
    auto* list = controlOf<QComboBox>(dialog, 111);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_EQ(list->placeholderText(), "(Bitte wählen)");
    auto* box = controlOf<QCheckBox>(dialog, 105);
    EXPECT_EQ(box->text(), "Kd.-Nr. autom. generieren");
    EXPECT_TRUE(test::saveScreenshot(dialog, "import_options"));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(state.nStopColumn, 2);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, 6));
    QTest::mouseClick(controlOf<QPushButton>(dialog, 101), Qt::LeftButton);
    checkedDialog = true;
  });
  EINLESEOPTION(state);
  EXPECT_TRUE(checkedDialog);
  EXPECT_EQ(state.nStopColumn, 2);
  EXPECT_TRUE(state.lAutoAdrNr);
}

TEST_F(QtDialogsTest, ErrorDialogOffersTheAllowedButtonsAndAnswers) {
  test::WorkingDirectory cwd(dir.path());
  ERRORSYS(state, nullptr, "Qt Test");
  int mainWindow = 0;
  state.oWndMain = reinterpret_cast<WindowHandle*>(&mainWindow);
  const Error error = test::notIndexedError();
  onNextModal([&](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Qt Test");
    EXPECT_EQ(dialog->size(), QSize(450, 300));
    EXPECT_EQ(controlOf<QLabel>(dialog, errdlg::kDescription)->text(),
              "   Error description: Error DBFNTX/1201  Workarea not indexed");
    EXPECT_GT(controlOf<QListWidget>(dialog, errdlg::kStackList)->count(), 0);
    EXPECT_TRUE(controlOf<QPushButton>(dialog, errdlg::kRetry)->isHidden());
    EXPECT_TRUE(test::saveScreenshot(dialog, "error_dialog"));
    QTest::mouseClick(controlOf<QPushButton>(dialog, errdlg::kDefault), Qt::LeftButton);
  });
  EXPECT_EQ(raiseError(error), ErrorAnswer::Default);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "error.log"));

  onNextModal([&](QWidget* dialog) { dialog->close(); });  // the close box quits
  EXPECT_THROW(raiseError(error), ProgramQuit);
  setErrorHandler(consoleErrorHandler);
}

TEST_F(QtDialogsTest, WaitMessageIsAFramelessWindowWithTheCurrentText) {
  SAYMSGWAIT(state, "Zeile: 2");
  QWidget* wait = ui.waitWindow();
  ASSERT_NE(wait, nullptr);
  EXPECT_TRUE(wait->isVisible());
  EXPECT_TRUE(wait->windowFlags() & Qt::FramelessWindowHint);
  QTest::qWait(WaitWindow::kLongestGapMilliseconds + 5);
  SAYMSGWAIT(state, "Zeile: 3");
  EXPECT_EQ(controlOf<QLabel>(wait, 101)->text(), "Zeile: 3");
  EXPECT_EQ(controlOf<QLabel>(wait, 101)->alignment(), Qt::AlignCenter);
  EXPECT_TRUE(test::saveScreenshot(wait, "wait_message"));
  QTest::keyClick(wait, Qt::Key_Escape);  // only ENDMSGWAIT closes it
  EXPECT_TRUE(wait->isVisible());
  ENDMSGWAIT(state);
  EXPECT_EQ(ui.waitWindow(), nullptr);
}

// Records the text a label shows when its window goes.
class LastTextWatch : public QObject {
 public:
  LastTextWatch(QWidget* window, QLabel* label) : label_(label) {
    window->installEventFilter(this);
  }
  QString last;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Hide) last = label_->text();
    return false;
  }

 private:
  QLabel* label_;
};

TEST_F(QtDialogsTest, WaitMessageRedrawsAFewDozenTimesASecondAndShowsTheLastTextLast) {
  STARTMSGWAIT(state);
  QWidget* wait = ui.waitWindow();
  ASSERT_NE(wait, nullptr);
  LastTextWatch watch(wait, controlOf<QLabel>(wait, 101));
  QElapsedTimer clock;
  clock.start();
  int rows = 0;
  // Long enough for a few redraws however slow the machine makes them (the gap stays under
  // kLongestGapMilliseconds).
  while (clock.elapsed() < 1000) SAYMSGWAIT(state, "Zeile: " + std::to_string(++rows));
  const qint64 took = clock.elapsed();
  EXPECT_GT(rows, 1000);
  EXPECT_LE(ui.waitRedraws(), 1 + took / WaitWindow::kRedrawMilliseconds + 1);
  EXPECT_GE(ui.waitRedraws(), 3);
  ENDMSGWAIT(state);
  EXPECT_EQ(watch.last, QString::fromStdString("Zeile: " + std::to_string(rows)));
}

TEST_F(QtDialogsTest, WaitMessageShowsABarWhenTheRowsAreKnown) {
  sayWaitRow(state, 2, 2, 11);
  auto* bar = controlOf<QProgressBar>(ui.waitWindow(), 102);
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->value(), 100);
  QTest::qWait(WaitWindow::kLongestGapMilliseconds + 5);
  sayWaitRow(state, 7, 2, 11);
  EXPECT_EQ(bar->value(), 600);
  EXPECT_EQ(controlOf<QLabel>(ui.waitWindow(), 101)->text(), "Zeile: 7");
  EXPECT_TRUE(test::saveScreenshot(ui.waitWindow(), "wait_message_progress"));
  ENDMSGWAIT(state);
  // The next message knows no rows.
  SAYMSGWAIT(state, "Zeile: 2");
  EXPECT_FALSE(controlOf<QProgressBar>(ui.waitWindow(), 102)->isVisible());
  ENDMSGWAIT(state);
}

TEST_F(QtDialogsTest, ADialogWhoseOwnerWindowWentFirstIsGoneWithoutHarm) {
  auto* owner = new QWidget;
  QtDialog dialog(*findDialogTemplate(tpl::kWaitMessage), owner);
  dialog.showModeless();
  delete owner;
  EXPECT_EQ(dialog.window(), nullptr);
  EXPECT_EQ(dialog.control(101), nullptr);
  dialog.end(0);
  dialog.refresh();
}

TEST_F(QtDialogsTest, TextViewerShowsWindows1252Text) {
  test::writeBytes(dir.path() / "Einlesen.log", "Datens\xe4tze \x80 15\r\nZeile 2\r\n");
  QWidget* viewer = openTextViewer(dir.file("Einlesen.log"));
  auto* text = qobject_cast<QPlainTextEdit*>(viewer);
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->isReadOnly());
  EXPECT_EQ(text->toPlainText(), "Datensätze € 15\nZeile 2\n");
  viewer->close();
}

// A viewer opened from a modal dialog ("See error.log file") belongs to it while it runs,
// so it takes input, and stays open as a window of its own when the dialog closes.
TEST_F(QtDialogsTest, TextViewerOpenedOverAModalDialogOutlivesIt) {
  test::writeBytes(dir.path() / "error.log", "Application\r\n");
  QPointer<QWidget> viewer;
  test::onNextModal([&](QWidget* dialog) {
    viewer = openTextViewer(dir.file("error.log"));
    EXPECT_EQ(viewer->parentWidget(), dialog);
    QTest::mouseClick(controlOf<QPushButton>(dialog, 102), Qt::LeftButton);
  });
  VOREINST(state);
  ASSERT_FALSE(viewer.isNull());
  EXPECT_EQ(viewer->parentWidget(), nullptr);
  EXPECT_TRUE(viewer->isVisible());
  viewer->close();
}

// A settings file that is there but cannot be read is named at start, in a box that shows
// the whole German text.
TEST_F(QtDialogsTest, UnreadableSettingsAreNamedAtStart) {
  std::filesystem::create_directory(dir.file("gesperrt.ini"));
  INI_INIT_FILE(state, dir.file("gesperrt.ini"));
  ASSERT_FALSE(state.cSettingsProblem.empty());
  QString text;
  onNextModal([&](QWidget* box) {
    text = static_cast<QMessageBox*>(box)->text();
    EXPECT_TRUE(test::saveScreenshot(box, "unreadable_settings"));
    static_cast<QMessageBox*>(box)->accept();
  });
  reportUnreadableSettings(state);
  EXPECT_TRUE(text.contains(QStringLiteral("Die Einstellungsdatei")));
  EXPECT_TRUE(text.contains(QStringLiteral("Sie ist ein Verzeichnis.")));
  EXPECT_TRUE(text.contains(QStringLiteral("geänderte Voreinstellungen")));
}

}  // namespace
}  // namespace zandor
