#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "support/fake_dialog.h"
#include "ui/ui.h"

namespace zandor::test {

// A Ui for tests: records everything shown and answers from a script. A question or a
// file dialog that the script does not answer fails the test.
class ScriptedUi : public Ui {
 public:
  struct Entry {
    std::string kind;  // "information", "question", "chooseFile", "wait", ...
    std::string title;
    std::string text;  // Windows-1252 bytes as the program passed them
  };

  std::deque<bool> answers;               // for question()
  std::deque<std::string> chosenFiles;    // for chooseFile() and chooseNewFile()
  std::deque<std::string> chosenFolders;  // for chooseFolder()

  // Scripts for the dialogs made, in order; each dialog made is logged as "dialog" with its
  // template name.
  std::deque<FakeDialog::Script> dialogScripts;

  std::vector<Entry> log;
  // The start folder of every file and folder dialog, in order.
  std::vector<std::string> startDirectories;

  // The texts of all information boxes and summaries, in UTF-8 for readable assertions.
  std::vector<std::string> informationTexts() const;
  std::vector<std::string> kinds() const;

  void information(const std::string& text) override;
  void summary(const std::string& text) override;
  bool question(const std::string& title, const std::string& text) override;
  std::string chooseFile(const std::string& title, const std::string& mask,
                         const std::string& startDirectory) override;
  std::string chooseNewFile(const std::string& title, const std::string& mask,
                            const std::string& startDirectory) override;
  std::string chooseFolder(const std::string& title, const std::string& startDirectory) override;
  void waitShow(const std::string& text) override;
  void waitSay(const std::string& text) override;
  void waitEnd() override;
  void showTextFile(const std::string& path) override;
  void openDocument(const std::string& path) override;
  std::unique_ptr<Dialog> makeDialog(const std::string& templateName) override;
  void waitProgress(int permille) override;

 private:
  std::string nextChosenFile(const char* kind, const std::string& title, const std::string& mask,
                             const std::string& startDirectory);
};

}  // namespace zandor::test
