// Windows keep what they show on screen: resizable dialogs down to their smallest size,
// viewers on small screens.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>

#include "app/error_handler.h"
#include "app/startup.h"
#include "mapping/file_choice_dialog.h"
#include "mapping/mapping_dialog.h"
#include "qt/qt_test_support.h"
#include "qt/qt_text.h"
#include "qt/qt_ui.h"
#include "qt/screen_fit.h"
#include "qt/template_dialog.h"
#include "resources/dialog_template.h"
#include "resources/ids/error_dialog_ids.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "support/test_support.h"
#include "support/working_directory.h"
#include "table/table_create.h"
#include "table/work_areas.h"

namespace zandor {
namespace {

using test::controlOf;
using test::onNextModal;

class QtWindowSizeTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  QtUi ui;
  AppState state;
  WorkAreas areas;

  void SetUp() override {
    setProgramDateSettings();
    state.ui = &ui;
    INI_INIT_FILE(state, dir.file("zandor.ini"));
  }
};

// Made as small as the window system lets it, the mapping dialog still shows every button
// whole, apart from the others and under the list.
TEST_F(QtWindowSizeTest, TheMappingDialogKeepsItsButtonsWholeAtItsSmallest) {
  state.cDbfFile = dir.file("ADRESSEN.DBF");
  createTable(state.cDbfFile, {{"KUNDE", 'C', 10, 0}, {"NAME", 'C', 40, 0}});
  state.cXlsFile = dir.file("kunden.csv");
  test::writeBytes(state.cXlsFile, "Kunde;Name\r\nK1;Meier\r\n");
  state.oSettings->Set("dBase", "dbf1", Value::text(state.cDbfFile));
  state.oSettings->Set("Excel", "xls1", Value::text(state.cXlsFile));
  bool checked = false;
  onNextModal([&](QWidget* dialog) {
    ASSERT_EQ(dialog->windowTitle().toStdString(), "Zuordnung");
    dialog->resize(1, 1);
    const QRect inside(QPoint(0, 0), dialog->size());
    EXPECT_GT(dialog->width(), 1);
    auto* list = controlOf<QTableView>(dialog, 201);
    ASSERT_NE(list, nullptr);
    EXPECT_GT(list->height(), list->horizontalHeader()->height());
    std::vector<QPushButton*> buttons;
    for (int id : {101, 102, 103, 104, 105}) {
      auto* button = controlOf<QPushButton>(dialog, id);
      ASSERT_NE(button, nullptr) << id;
      EXPECT_TRUE(inside.contains(button->geometry())) << button->text().toStdString();
      EXPECT_GE(button->y(), list->geometry().bottom()) << button->text().toStdString();
      for (QPushButton* other : buttons) {
        EXPECT_FALSE(other->geometry().intersects(button->geometry()))
            << other->text().toStdString() << " / " << button->text().toStdString();
      }
      buttons.push_back(button);
    }
    EXPECT_TRUE(test::saveScreenshot(dialog, "mapping_dialog_smallest"));
    buttons.back()->click();
    checked = true;
  });
  ZUORDNUNG(state, areas, [](AppState&) {});
  EXPECT_TRUE(checked);
}

// A closed drop-down list shows a long path's file name, cutting the folders instead; the
// entry itself, what is chosen and stored, stays whole.
TEST_F(QtWindowSizeTest, AClosedDropDownShowsTheFileNameOfALongPath) {
  const std::string longPath =
      "/home/anna/Dokumente/Kunden und Lieferanten/Importe aus der Buchhaltung 2024/"
      "Preisliste Fr\xfchjahr.xlsx";
  state.oSettings->Set("Excel", "xls1", Value::text(longPath));
  state.oSettings->Set("Excel", "xls2", Value::text("/daten/alt.xls"));
  bool checked = false;
  onNextModal([&](QWidget* dialog) {
    auto* xls = dynamic_cast<PathComboBox*>(controlOf<QComboBox>(dialog, 111));
    ASSERT_NE(xls, nullptr);
    const QString full = toQ(longPath);
    EXPECT_EQ(xls->currentText(), full);
    EXPECT_EQ(xls->toolTip(), full);
    EXPECT_GT(xls->fontMetrics().horizontalAdvance(full), xls->width());
    const QString shown = xls->shownText();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("\u2026/Preisliste Frühjahr.xlsx")))
        << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/home/"))) << shown.toStdString();
    EXPECT_LT(xls->fontMetrics().horizontalAdvance(shown), xls->width());
    EXPECT_TRUE(test::saveScreenshot(dialog, "file_choice_long_path"));
    xls->setCurrentIndex(1);
    EXPECT_EQ(xls->shownText(), QStringLiteral("/daten/alt.xls"));
    // A name too long on its own is cut in its middle, its extension kept.
    const QFontMetrics metrics = xls->fontMetrics();
    const QString name = QStringLiteral("/daten/") + QString(80, QLatin1Char('x')) + ".xlsx";
    const QString cut = elidedPath(name, metrics, 100);
    EXPECT_TRUE(cut.endsWith(QStringLiteral(".xlsx"))) << cut.toStdString();
    EXPECT_LE(metrics.horizontalAdvance(cut), 100);
    QTest::mouseClick(controlOf<QPushButton>(dialog, 102), Qt::LeftButton);
    checked = true;
  });
  DLGZUORDNUNG(state);
  EXPECT_TRUE(checked);
}

// Placement on a 640x480 screen, the right one of two, frame included.
TEST(QtScreenFitTest, AWindowLiesWholeOnTheScreenNearItsOwner) {
  const QRect screen(640, 0, 640, 480);
  const QMargins frame(4, 24, 4, 4);
  const QRect large = fittedGeometry(QSize(760, 520), frame, screen, QRect(900, 300, 400, 300));
  EXPECT_EQ(large.marginsAdded(frame), screen);
  const QRect owner(700, 100, 300, 200);
  const QRect small = fittedGeometry(QSize(200, 100), frame, screen, owner);
  EXPECT_EQ(small.size(), QSize(200, 100));
  EXPECT_LE((small.marginsAdded(frame).center() - owner.center()).manhattanLength(), 1);
  const QRect cornered = fittedGeometry(QSize(300, 200), frame, screen, QRect(1200, 440, 80, 40));
  EXPECT_EQ(cornered.size(), QSize(300, 200));
  EXPECT_TRUE(screen.contains(cornered.marginsAdded(frame)));
  // Without an owner: the middle of the screen.
  const QRect alone = fittedGeometry(QSize(200, 100), frame, screen, QRect());
  EXPECT_LE((alone.marginsAdded(frame).center() - screen.center()).manhattanLength(), 1);
}

// The log viewer and the error report's viewer open on their owner's screen and lie whole
// in it. Run once more on two screens of 640x480 (test_qt_small_screens), where the
// viewer's 760x520 do not fit.
class QtScreenFitWindowsTest : public QtWindowSizeTest {
 protected:
  QScreen* lastScreen() const { return QGuiApplication::screens().back(); }

  static void expectWholeOn(QWidget* window, QScreen* screen) {
    const QRect room = screen->availableGeometry();
    EXPECT_TRUE(room.contains(window->frameGeometry()))
        << "frame " << window->frameGeometry().x() << "," << window->frameGeometry().y() << " "
        << window->frameGeometry().width() << "x" << window->frameGeometry().height() << " screen "
        << room.x() << "," << room.y() << " " << room.width() << "x" << room.height();
  }
};

TEST_F(QtScreenFitWindowsTest, TheLogViewerOpensWholeOnTheMainWindowsScreen) {
  QMainWindow owner;
  const QRect room = lastScreen()->availableGeometry();
  owner.setGeometry(room.right() - 300, room.bottom() - 200, 280, 180);
  owner.show();
  test::writeBytes(dir.path() / "Einlesen.log", "Zeile 1\r\n");
  QPointer<QWidget> viewer = openTextViewer(dir.file("Einlesen.log"));
  expectWholeOn(viewer, lastScreen());
  EXPECT_EQ(viewer->screen(), lastScreen());
  EXPECT_TRUE(test::saveScreensPicture("text_viewer_on_screen"));
  viewer->close();
}

TEST_F(QtScreenFitWindowsTest, TheErrorReportOpensWholeOverTheErrorDialog) {
  test::WorkingDirectory cwd(dir.path());
  ERRORSYS(state, nullptr, "Qt Test");
  int mainWindow = 0;
  state.oWndMain = reinterpret_cast<WindowHandle*>(&mainWindow);
  const Error error = test::notIndexedError();
  QPointer<QWidget> viewer;
  onNextModal([&](QWidget* dialog) {
    QTest::mouseClick(controlOf<QPushButton>(dialog, errdlg::kSeeReport), Qt::LeftButton);
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->objectName() == QStringLiteral("textViewer") && top->isVisible()) viewer = top;
    }
    ASSERT_FALSE(viewer.isNull());
    expectWholeOn(viewer, dialog->screen());
    EXPECT_TRUE(test::saveScreensPicture("error_report_on_screen"));
    QTest::mouseClick(controlOf<QPushButton>(dialog, errdlg::kDefault), Qt::LeftButton);
  });
  EXPECT_EQ(raiseError(error), ErrorAnswer::Default);
  setErrorHandler(consoleErrorHandler);
  if (viewer) viewer->close();
}

}  // namespace
}  // namespace zandor
