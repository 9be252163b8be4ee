// The toolkit's own dialogs as the program uses them: file and folder choice, questions,
// documents.
#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "state/app_state.h"
#include "app/help_about.h"
#include "mapping/file_choice_dialog.h"
#include "qt/qt_test_support.h"
#include "qt/qt_ui.h"
#include "settings/preferences.h"
#include "settings/preferences_dialog.h"
#include "support/test_support.h"
#include "support/working_directory.h"

namespace zandor {
namespace {

using test::controlOf;
using test::onNextModal;

class QtStandardDialogsTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  QtUi ui;
  AppState state;

  void SetUp() override {
    state.ui = &ui;
    INI_INIT_FILE(state, dir.file("zandor.ini"));
  }
};

// "Łódź" would come back as "?ód?", name no file and be kept in the recent list.
TEST_F(QtStandardDialogsTest, AFileNameOutside1252IsRefusedWhereItIsChosen) {
  const std::filesystem::path polish = dir.path() / std::filesystem::path(u8"Łódź_kunden.xlsx");
  test::writeBytes(polish, "PK");
  state.oSettings->Set("Excel", "xls1", Value::text("/daten/alt.xlsx"));
  QString message;
  bool sawFileDialog = false;
  onNextModal([&](QWidget* dialog) {
    onNextModal(
        [&](QWidget* files) {
          auto* fileDialog = qobject_cast<QFileDialog*>(files);
          ASSERT_NE(fileDialog, nullptr);
          sawFileDialog = true;
          onNextModal(
              [&](QWidget* box) {
                auto* messageBox = qobject_cast<QMessageBox*>(box);
                ASSERT_NE(messageBox, nullptr);
                message = messageBox->text();
                EXPECT_TRUE(test::saveScreenshot(box, "unusable_file_name"));
                messageBox->accept();
              },
              files);
          fileDialog->selectFile(QString::fromStdString(polish.string()));
          static_cast<QDialog*>(fileDialog)->accept();  // as its "Öffnen" button
        },
        dialog);
    QTest::mouseClick(controlOf<QPushButton>(dialog, 121), Qt::LeftButton);
    QTest::mouseClick(controlOf<QPushButton>(dialog, 101), Qt::LeftButton);
  });
  DLGZUORDNUNG(state);
  EXPECT_TRUE(sawFileDialog);
  EXPECT_TRUE(message.contains(QStringLiteral("Der Dateiname „Łódź_kunden.xlsx“")))
      << message.toStdString();
  EXPECT_TRUE(message.contains(QStringLiteral("das Zeichen „Ł“"))) << message.toStdString();
  // The choice counted as cancelled: the list still starts with the earlier file.
  EXPECT_EQ(state.oSettings->Get("Excel", "xls1"), "/daten/alt.xlsx");
  EXPECT_EQ(state.cXlsFile, "/daten/alt.xlsx");
}

// A folder chosen in the preferences: refused the same way, the choice counts as cancelled
// (which empties the preference, as cancelling always did).
TEST_F(QtStandardDialogsTest, AFolderNameOutside1252IsRefusedWhereItIsChosen) {
  const std::filesystem::path polish = dir.path() / std::filesystem::path(u8"Łódź");
  std::filesystem::create_directory(polish);
  QString message;
  QString shown = QStringLiteral("(nicht gelesen)");
  onNextModal([&](QWidget* dialog) {
    onNextModal(
        [&](QWidget* folders) {
          auto* folderDialog = qobject_cast<QFileDialog*>(folders);
          ASSERT_NE(folderDialog, nullptr);
          onNextModal(
              [&](QWidget* box) {
                auto* messageBox = qobject_cast<QMessageBox*>(box);
                ASSERT_NE(messageBox, nullptr);
                message = messageBox->text();
                messageBox->accept();
              },
              folders);
          folderDialog->setDirectory(QString::fromStdString(dir.path().string()));
          folderDialog->selectFile(QString::fromStdString(polish.string()));
          static_cast<QDialog*>(folderDialog)->accept();
        },
        dialog);
    QTest::mouseClick(controlOf<QPushButton>(dialog, 121), Qt::LeftButton);
    shown = controlOf<QLineEdit>(dialog, 111)->text();
    QTest::mouseClick(controlOf<QPushButton>(dialog, 101), Qt::LeftButton);
  });
  VOREINST(state);
  EXPECT_TRUE(message.contains(QStringLiteral("Der Ordnername „Łódź“"))) << message.toStdString();
  EXPECT_TRUE(message.contains(QStringLiteral("benennen Sie den Ordner um")))
      << message.toStdString();
  EXPECT_EQ(shown.toStdString(), "");
  EXPECT_EQ(state.oSettings->Get("Pfade", "Excel-Pfad"), "");
}

QStringList buttonTexts(const QList<QAbstractButton*>& buttons) {
  QStringList texts;
  for (QAbstractButton* button : buttons) texts << button->text().remove(QLatin1Char('&'));
  texts.sort();
  return texts;
}

// Qt's own texts are German whatever language the desktop speaks.
TEST_F(QtStandardDialogsTest, QuestionsAndFileDialogsSpeakGerman) {
  QStringList answers;
  onNextModal([&](QWidget* box) {
    auto* question = qobject_cast<QMessageBox*>(box);
    ASSERT_NE(question, nullptr);
    answers = buttonTexts(question->buttons());
    EXPECT_TRUE(test::saveScreenshot(box, "question_german"));
    question->button(QMessageBox::Yes)->click();
  });
  EXPECT_TRUE(ui.question("Index", "Soll der Index neu aufgebaut werden?"));
  EXPECT_EQ(answers, QStringList({"Ja", "Nein"}));

  test::writeBytes(dir.path() / "kunden.xlsx", "PK");
  QStringList labels;
  QStringList buttons;
  onNextModal([&](QWidget* files) {
    auto* fileDialog = qobject_cast<QFileDialog*>(files);
    ASSERT_NE(fileDialog, nullptr);
    EXPECT_TRUE(fileDialog->testOption(QFileDialog::DontUseNativeDialog));
    for (QLabel* label : files->findChildren<QLabel*>()) {
      if (!label->text().isEmpty()) labels << label->text().remove(QLatin1Char('&'));
    }
    buttons = buttonTexts(files->findChild<QDialogButtonBox*>()->buttons());
    EXPECT_TRUE(test::saveScreenshot(files, "file_dialog_german"));
    static_cast<QDialog*>(fileDialog)->reject();
  });
  EXPECT_EQ(ui.chooseFile("Bitte eine Exceldatei ausw\xe4hlen", "*.xl*", dir.path().string()), "");
  EXPECT_EQ(labels, QStringList({"Suchen in:", "Dateiname:", "Dateien des Typs:"}));
  EXPECT_EQ(buttons, QStringList({"Abbrechen", "Öffnen"}));
}

// PATH for one test, so that the desktop's programs are the test's own.
class PathOnly {
 public:
  explicit PathOnly(const std::filesystem::path& dir) : old_(qgetenv("PATH")) {
    qputenv("PATH", QByteArray::fromStdString(dir.string()));
  }
  ~PathOnly() { qputenv("PATH", old_); }

 private:
  QByteArray old_;
};

// An xdg-open that ends with the status and leaves its argument in a file.
void fakeOpener(const std::filesystem::path& dir, int status) {
  std::filesystem::create_directories(dir);
  test::writeBytes(dir / "xdg-open", "#!/bin/sh\nprintf %s \"$1\" > \"$0.arg\"\nexit " +
                                         std::to_string(status) + "\n");
  std::filesystem::permissions(dir / "xdg-open", std::filesystem::perms::owner_all);
}

QMessageBox* documentMessage() {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->objectName() == QStringLiteral("documentNotOpened") && top->isVisible())
      return qobject_cast<QMessageBox*>(top);
  }
  return nullptr;
}

// Closes a modal box other than the late message about the document, so that a test that
// expects none fails instead of waiting for it.
class NoBlockingBox {
 public:
  NoBlockingBox() {
    timer_.callOnTimeout([this] {
      QWidget* box = QApplication::activeModalWidget();
      if (box == nullptr || box->objectName() == QStringLiteral("documentNotOpened")) return;
      seen = true;
      box->close();
    });
    timer_.start(20);
  }
  bool seen = false;

 private:
  QTimer timer_;
};

// "Hilfe" on a desktop without a program for PDF files must say so instead of doing
// nothing visible: where there is no xdg-open (the offscreen platform opens nothing
// itself), and where xdg-open finds no program and fails.
TEST_F(QtStandardDialogsTest, HelpWithoutAProgramForPdfFilesSaysSo) {
  test::writeBytes(dir.path() / kHelpFileName, "%PDF-1.4\n");
  test::WorkingDirectory cwd(dir.path());
  const std::string help = (std::filesystem::absolute(dir.path()) / kHelpFileName).string();
  const QString expected = QStringLiteral("Die Hilfe „") + QString::fromStdString(help) +
                           QStringLiteral("“ konnte nicht geöffnet werden");
  {
    std::filesystem::create_directory(dir.path() / "leer");
    PathOnly path(dir.path() / "leer");
    QString text;
    onNextModal([&](QWidget* box) {
      auto* messageBox = qobject_cast<QMessageBox*>(box);
      ASSERT_NE(messageBox, nullptr);
      text = messageBox->text();
      EXPECT_TRUE(test::saveScreenshot(box, "help_not_opened"));
      messageBox->accept();
    });
    HILFEOEFFNEN(state);
    EXPECT_TRUE(text.startsWith(expected)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("kein Programm zum Anzeigen von PDF-Dateien")))
        << text.toStdString();
  }
  {
    fakeOpener(dir.path() / "ohne", 3);  // xdg-open: "no method available"
    PathOnly path(dir.path() / "ohne");
    NoBlockingBox none;
    HILFEOEFFNEN(state);
    EXPECT_FALSE(none.seen);
    ASSERT_TRUE(QTest::qWaitFor([] { return documentMessage() != nullptr; }, 10000));
    EXPECT_TRUE(documentMessage()->text().startsWith(expected))
        << documentMessage()->text().toStdString();
    EXPECT_EQ(test::readBytes(dir.path() / "ohne" / "xdg-open.arg"), help);
    documentMessage()->accept();
  }
  {
    fakeOpener(dir.path() / "mit", 0);
    PathOnly path(dir.path() / "mit");
    NoBlockingBox none;
    HILFEOEFFNEN(state);
    EXPECT_FALSE(none.seen);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return std::filesystem::exists(dir.path() / "mit" / "xdg-open.arg"); }, 10000));
    QTest::qWait(300);  // time for the ending to be seen
    EXPECT_EQ(documentMessage(), nullptr);
    EXPECT_FALSE(none.seen);
  }
}

}  // namespace
}  // namespace zandor
