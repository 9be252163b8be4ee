// The toolkit's own dialogs as the program uses them: file choice, questions, documents,
// viewers.
#include <gtest/gtest.h>

#include <filesystem>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "app/app_state.h"
#include "app/help_about.h"
#include "mapping/file_choice_dialog.h"
#include "qt/qt_test_support.h"
#include "qt/qt_ui.h"
#include "settings/preferences.h"
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

// The offscreen platform has no program for documents, as a desktop without a PDF viewer:
// "Hilfe" must say so instead of doing nothing visible.
TEST_F(QtStandardDialogsTest, HelpWithoutAProgramForPdfFilesSaysSo) {
  test::writeBytes(dir.path() / kHelpFileName, "%PDF-1.4\n");
  test::WorkingDirectory cwd(dir.path());
  QString text;
  onNextModal([&](QWidget* box) {
    auto* messageBox = qobject_cast<QMessageBox*>(box);
    ASSERT_NE(messageBox, nullptr);
    text = messageBox->text();
    EXPECT_TRUE(test::saveScreenshot(box, "help_not_opened"));
    messageBox->accept();
  });
  HILFEOEFFNEN(state);
  const QString help =
      QString::fromStdString((std::filesystem::absolute(dir.path()) / kHelpFileName).string());
  EXPECT_TRUE(text.startsWith(QStringLiteral("Die Hilfe „") + help +
                              QStringLiteral("“ konnte nicht geöffnet werden")))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("kein Programm zum Anzeigen von PDF-Dateien")))
      << text.toStdString();
}

}  // namespace
}  // namespace zandor
