// A complete import through the windows of the desktop program, as a user makes it: the
// file choice from the toolbar, the mapping dialog, import options, a saved profile, the run
// with its wait message, summary and log; then the table, its indexes and the profile are
// checked by our own and independent readers.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "app/program_commands.h"
#include "app/startup.h"
#include "mapping/mapping_profile.h"
#include "qt/main_window.h"
#include "qt/qt_test_support.h"
#include "qt/qt_ui.h"
#include "state/app_state.h"
#include "support/index_peer.h"
#include "support/table_readers.h"
#include "support/test_support.h"
#include "table/work_areas.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;
using test::controlOf;
using test::onNextModal;

// The desktop program's Ui, taking a picture of the wait message while the run says a row.
class PicturingUi : public QtUi {
 public:
  int rowsSaid = 0;
  bool pictured = false;
  void waitSay(const std::string& text) override {
    QtUi::waitSay(text);
    if (++rowsSaid == 3 && waitWindow() != nullptr) {
      pictured = test::saveScreenshot(waitWindow(), "wait_message_run");
    }
  }
};

QStringList column(QTableView* view, int c) {
  QStringList out;
  for (int r = 0; r < view->model()->rowCount(); ++r) {
    out << view->model()->index(r, c).data().toString();
  }
  return out;
}

void settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// Accepts every message box of the run, noting its text, until the summary came.
void answerTheRun(QWidget* dialog, QStringList* texts) {
  onNextModal(
      [dialog, texts](QWidget* box) {
        auto* message = qobject_cast<QMessageBox*>(box);
        ASSERT_NE(message, nullptr);
        texts->push_back(message->text());
        const bool summary = message->text().startsWith("Fertig!");
        message->accept();
        if (!summary) answerTheRun(dialog, texts);
      },
      dialog);
}

TEST(QtEndToEndTest, ACompleteImportThroughTheWindows) {
  test::TempDir dir;
  const fs::path source = fs::path(ZANDOR_SOURCE_DIR) / "examples";
  fs::create_directories(dir.path() / "db");
  for (const char* file : {"ADRESSEN.DBF", "ADRESSEN.cdx", "adkun.cdx"}) {
    fs::copy_file(source / "data" / "cdx" / file, dir.path() / "db" / file);
  }
  fs::copy_file(source / "adressen_neu.csv", dir.path() / "adressen_neu.csv");
  const std::string table = dir.file("db/ADRESSEN.DBF");
  const std::string sheet = dir.file("adressen_neu.csv");
  test::writeBytes(dir.path() / "zandor.ini", "[Excel]\r\nxls1=" + sheet + "\r\n[dBase]\r\ndbf1=" +
                                                  table + "\r\n[Updaten]\r\nNummer=.T.\r\n");
  std::string before;
  ASSERT_EQ(test::runCommand("'" + test::cliPath() + "' dbf dump '" + table + "'", &before), 0);

  PicturingUi ui;
  AppState state;
  WorkAreas areas;
  state.ui = &ui;
  startProgram(state, dir.file("zandor"));
  ProgramCommands commands(state, areas);
  MainWindow window(state, commands);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  QStringList runTexts;
  bool mapped = false;
  onNextModal([&](QWidget* choice) {
    EXPECT_EQ(choice->windowTitle(), "Datei-Optionen");
    EXPECT_EQ(controlOf<QComboBox>(choice, 111)->currentText().toStdString(), sheet);
    EXPECT_EQ(controlOf<QComboBox>(choice, 112)->currentText().toStdString(), table);
    onNextModal(
        [&](QWidget* dialog) {
          EXPECT_EQ(dialog->windowTitle(), "Zuordnung");
          // Opened at its template's place over its owner, not centred.
          ASSERT_NE(dialog->parentWidget(), nullptr);
          EXPECT_EQ(dialog->frameGeometry().topLeft(),
                    dialog->parentWidget()->mapToGlobal(QPoint(0, 0)));
          auto* view = controlOf<QTableView>(dialog, 201);
          ASSERT_NE(view, nullptr);
          onNextModal([](QWidget* box) { static_cast<QMessageBox*>(box)->accept(); }, dialog);
          QTest::mouseClick(controlOf<QPushButton>(dialog, 101), Qt::LeftButton);
          EXPECT_EQ(column(view, 5), QStringList({"KUNDE", "NAME1", "STRASSE", "PLZ", "ORT",
                                                  "UMSATZ", "ANGELEGT", "AKTIV"}));

          // AKTIV is left out: "(ohne Zuordnung)" from its drop-down list.
          const QRect cell = view->visualRect(view->model()->index(7, 5));
          QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.topRight() + QPoint(-4, 4));
          settle();
          QWidget* popup = QApplication::activePopupWidget();
          ASSERT_NE(popup, nullptr);
          auto* list = popup->findChild<QAbstractItemView*>();
          ASSERT_NE(list, nullptr);
          QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                            list->visualRect(list->model()->index(0, 0)).center());
          settle();
          EXPECT_EQ(column(view, 5)[7], "");
          EXPECT_EQ(column(view, 7)[7], "");
          EXPECT_TRUE(test::saveScreenshot(dialog, "mapping_dialog_example"));

          // The stop column: KUNDE, the first column.
          onNextModal(
              [&](QWidget* options) {
                auto* stop = controlOf<QComboBox>(options, 111);
                stop->setFocus();
                QTest::keyClick(stop, Qt::Key_Down);
                QTest::mouseClick(controlOf<QPushButton>(options, 101), Qt::LeftButton);
              },
              dialog);
          QTest::mouseClick(controlOf<QPushButton>(dialog, 102), Qt::LeftButton);
          EXPECT_EQ(state.nStopColumn, 1);

          // A profile under a new name, typed without its extension.
          onNextModal(
              [&](QWidget* files) {
                auto* chooser = qobject_cast<QFileDialog*>(files);
                ASSERT_NE(chooser, nullptr);
                EXPECT_EQ(chooser->windowTitle(), "Bitte Dateinamen angeben");
                // The dialog reads folders in the background and may put its start text
                // back meanwhile: type the name until it holds, then accept at once, with
                // no event in between.
                const QString wanted = QString::fromStdString(dir.file("kunden"));
                auto* name = chooser->findChild<QLineEdit*>("fileNameEdit");
                ASSERT_NE(name, nullptr);
                for (int i = 0; i < 1000; ++i) {
                  QTest::qWait(10);
                  name->setText(wanted);
                  if (chooser->selectedFiles() == QStringList{wanted}) break;
                }
                EXPECT_EQ(chooser->selectedFiles(), QStringList{wanted});
                static_cast<QDialog*>(chooser)->accept();  // as the button does
              },
              dialog);
          QTest::mouseClick(controlOf<QPushButton>(dialog, 103), Qt::LeftButton);

          answerTheRun(dialog, &runTexts);
          QTest::mouseClick(controlOf<QPushButton>(dialog, 104), Qt::LeftButton);
          EXPECT_TRUE(dialog->isVisible());  // the dialog stays open
          auto* viewer = dialog->findChild<QPlainTextEdit*>(QStringLiteral("textViewer"));
          ASSERT_NE(viewer, nullptr);
          EXPECT_TRUE(viewer->toPlainText().contains("Indextyp: DBFCDX"));
          viewer->close();
          QTest::mouseClick(controlOf<QPushButton>(dialog, 105), Qt::LeftButton);
          mapped = true;
        },
        choice);
    QTest::mouseClick(controlOf<QPushButton>(choice, 103), Qt::LeftButton);
  });
  QToolButton* button = window.dropDownButton();
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
  ASSERT_TRUE(mapped);
  EXPECT_TRUE(ui.pictured);
  EXPECT_GE(ui.rowsSaid, 3);
  ASSERT_FALSE(runTexts.isEmpty());
  EXPECT_TRUE(runTexts.back().startsWith("Fertig! Insgesamt wurden"))
      << runTexts.back().toStdString();
  EXPECT_EQ(ui.waitWindow(), nullptr);

  // The table changed, and every index file of it is sound by our check and the readers.
  std::string after;
  ASSERT_EQ(test::runCommand("'" + test::cliPath() + "' dbf dump '" + table + "'", &after), 0);
  EXPECT_NE(after, before);
  for (const char* index : {"adkun.cdx", "ADRESSEN.cdx"}) {
    std::string out;
    EXPECT_EQ(test::runCommand("'" + test::cliPath() + "' dbf check '" + table + "' '" +
                                   dir.file(std::string("db/") + index) + "' 2>&1",
                               &out),
              0)
        << index << ": " << out;
  }
  test::expectReadersAgree(table);
  if (!test::sharedDir().empty()) {
    const test::PeerListing peer = test::peerListing(table, dir.file("db/adkun.cdx"), "ADKUN");
    ASSERT_TRUE(peer.ok) << peer.raw;
    EXPECT_EQ(peer.entries.size(),
              static_cast<std::size_t>(std::count(after.begin(), after.end(), '\n')));
  }

  // The profile loads again as it was saved.
  const std::optional<MappingProfile> profile = readProfileFile(dir.file("kunden.qno"));
  ASSERT_TRUE(profile.has_value());
  EXPECT_EQ(profile->fields, state.aFields);
  EXPECT_EQ(profile->columns, state.aColumns);
  EXPECT_EQ(profile->xlsFile, sheet);
  EXPECT_EQ(profile->dbfFile, table);
  EXPECT_EQ(profile->stopColumn, 1);
}

}  // namespace
}  // namespace zandor
