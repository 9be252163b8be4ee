// Windows keep what they show on screen: resizable dialogs down to their smallest size,
// viewers on small screens.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include "app/app_state.h"
#include "app/startup.h"
#include "mapping/mapping_dialog.h"
#include "qt/qt_test_support.h"
#include "qt/qt_ui.h"
#include "settings/preferences.h"
#include "support/test_support.h"
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

}  // namespace
}  // namespace zandor
