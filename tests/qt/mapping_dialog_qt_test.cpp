#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "app/startup.h"
#include "mapping/mapping_dialog.h"
#include "qt/qt_test_support.h"
#include "qt/qt_ui.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "support/test_support.h"
#include "table/table_create.h"
#include "table/work_areas.h"

namespace zandor {
namespace {

using test::controlOf;
using test::onNextModal;

class QtMappingDialogTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  QtUi ui;
  AppState state;
  WorkAreas areas;

  void SetUp() override {
    setProgramDateSettings();
    state.ui = &ui;
    INI_INIT_FILE(state, dir.file("zandor.ini"));
    state.cDbfFile = dir.file("ADRESSEN.DBF");
    createTable(state.cDbfFile, {{"KUNDE", 'C', 10, 0},
                                 {"NAME", 'C', 40, 0},
                                 {"PLZ", 'C', 5, 0},
                                 {"ORT", 'C', 30, 0},
                                 {"UMSATZ", 'N', 12, 2}});
    state.cXlsFile = dir.file("kunden.csv");
    test::writeBytes(state.cXlsFile, "Kunde;Name;Postleitzahl;Ort\r\nK1;Meier;12345;Berlin\r\n");
    state.oSettings->Set("dBase", "dbf1", Value::text(state.cDbfFile));
    state.oSettings->Set("Excel", "xls1", Value::text(state.cXlsFile));
  }
};

QStringList column(QTableView* view, int c) {
  QStringList out;
  for (int r = 0; r < view->model()->rowCount(); ++r) {
    out << view->model()->index(r, c).data().toString();
  }
  return out;
}

// Waits for the queued hand-over of an ended edit.
void settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

TEST_F(QtMappingDialogTest, GridShowsTheFieldsAndTheDropDownMapsAColumn) {
  bool checked = false;
  onNextModal([&](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Zuordnung");
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    auto* view = controlOf<QTableView>(dialog, 201);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->showGrid());
    EXPECT_EQ(view->model()->rowCount(), 5);
    EXPECT_EQ(view->model()->headerData(3, Qt::Horizontal).toString(), "Länge");
    EXPECT_EQ(view->model()->headerData(6, Qt::Horizontal).toString(), "G");
    EXPECT_EQ(view->horizontalHeader()->defaultAlignment(), Qt::AlignCenter);
    EXPECT_EQ(view->columnWidth(0), 25);
    EXPECT_EQ(view->columnWidth(1), 100);
    EXPECT_EQ(view->columnWidth(5), 125);
    EXPECT_EQ(column(view, 5), QStringList({"0", "0", "0", "0", "0"}));

    QString told;
    onNextModal(
        [&](QWidget* box) {
          told = static_cast<QMessageBox*>(box)->text();
          static_cast<QMessageBox*>(box)->accept();
        },
        dialog);
    QTest::mouseClick(controlOf<QPushButton>(dialog, 101), Qt::LeftButton);  // automatic
    EXPECT_EQ(told, "Es wurden 3 Zuordnungen automatisch hergestellt");
    EXPECT_EQ(column(view, 5), QStringList({"Kunde", "Name", "0", "Ort", "0"}));

    // A click on the drop-down button of PLZ's cell opens the list with the initial
    // number's entry highlighted; Down and Enter choose the heading after it.
    const QRect cell = view->visualRect(view->model()->index(2, 5));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.topRight() + QPoint(-4, 4));
    settle();
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    auto* list = popup->findChild<QAbstractItemView*>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentIndex().row(), 0);
    EXPECT_EQ(list->model()->index(0, 0).data().toString(), "(ohne Zuordnung)");
    EXPECT_TRUE(test::saveScreenshot(dialog, popup, "mapping_dropdown"));
    for (int i = 0; i < 3; ++i) QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    settle();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(column(view, 5), QStringList({"Kunde", "Name", "Postleitzahl", "Ort", "0"}));
    EXPECT_EQ(column(view, 6), QStringList({"A", "B", "C", "D", ""}));
    EXPECT_EQ(column(view, 7), QStringList({"1", "2", "3", "4", ""}));

    // Escape in the list leaves the line as it was.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.topRight() + QPoint(-4, 4));
    settle();
    popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    list = popup->findChild<QAbstractItemView*>();
    EXPECT_FALSE(list->currentIndex().isValid());  // a mapped cell highlights nothing
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Escape);
    settle();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(column(view, 5)[2], "Postleitzahl");
    EXPECT_TRUE(dialog->isVisible());

    // Typing into a fresh cell: a number maps, also when a header click ends the edit
    // and moves the rows.
    view->setCurrentIndex(view->model()->index(4, 5));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_2);
    settle();
    QWidget* editor = view->indexWidget(view->model()->index(4, 5));
    ASSERT_NE(editor, nullptr);
    auto* typed = editor->findChild<QLineEdit*>();
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->text(), "2");
    const int x = view->horizontalHeader()->sectionViewportPosition(0) + 10;
    QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
    settle();
    EXPECT_EQ(column(view, 1), QStringList({"UMSATZ", "ORT", "PLZ", "NAME", "KUNDE"}));
    EXPECT_EQ(column(view, 5)[0], "Name");
    EXPECT_TRUE(dialog->isVisible());

    // Header clicks sort the table itself; the cursor stays on its field.
    view->setCurrentIndex(view->model()->index(2, 1));  // PLZ
    const int name = view->horizontalHeader()->sectionViewportPosition(1) + 10;
    QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(name, 5));
    EXPECT_EQ(column(view, 1), QStringList({"KUNDE", "NAME", "ORT", "PLZ", "UMSATZ"}));
    EXPECT_EQ(view->currentIndex().row(), 3);
    QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(name, 5));
    EXPECT_EQ(column(view, 1), QStringList({"UMSATZ", "PLZ", "ORT", "NAME", "KUNDE"}));
    EXPECT_EQ(view->currentIndex().row(), 1);
    EXPECT_TRUE(test::saveScreenshot(dialog, "mapping_dialog"));

    // Larger: the buttons stay in one row under the list, which takes the rest.
    dialog->resize(dialog->width() + 200, dialog->height() + 150);
    settle();
    auto* start = controlOf<QPushButton>(dialog, 104);
    for (int id : {101, 102, 103, 105})
      EXPECT_EQ(controlOf<QPushButton>(dialog, id)->y(), start->y());
    EXPECT_LT(view->geometry().bottom(), start->y());
    EXPECT_GT(view->height(), dialog->height() - 3 * start->height());
    EXPECT_LE(start->geometry().bottom(), dialog->height());
    EXPECT_NEAR(view->width(), dialog->width(), 2);  // dialog units, rounded
    QTest::mouseClick(controlOf<QPushButton>(dialog, 105), Qt::LeftButton);
    checked = true;
  });
  ZUORDNUNG(state, areas, {});
  EXPECT_TRUE(checked);
  ASSERT_EQ(state.aFields.size(), 5u);
  EXPECT_EQ(state.aFields[0][1], Value::text("UMSATZ"));
  EXPECT_EQ(state.aFields[0][7], Value::integer(2));  // UMSATZ, typed
}

}  // namespace
}  // namespace zandor
