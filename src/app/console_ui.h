#pragma once

#include <iosfwd>
#include <optional>

#include "ui/ui.h"

namespace zandor {

// The user interface of the command-line companion: messages go to one stream (standard
// error), summaries to another (standard output), both as UTF-8; the one yes/no question is
// answered by a fixed answer; dialogs do nothing.
class ConsoleUi : public Ui {
 public:
  ConsoleUi(std::ostream& messages, bool answer, bool showProgress);
  ConsoleUi(std::ostream& messages, std::ostream& summaries, bool answer, bool showProgress);

  void information(const std::string& text) override;
  void detail(const std::string& text) override;
  void summary(const std::string& text) override;
  bool question(const std::string& title, const std::string& text) override;
  std::string chooseFile(const std::string& title, const std::string& mask,
                         const std::string& startDirectory) override;
  std::string chooseFolder(const std::string& title, const std::string& startDirectory) override;
  void waitShow(const std::string& text) override;
  void waitSay(const std::string& text) override;
  void waitEnd() override;
  void showTextFile(const std::string& path) override;
  void openDocument(const std::string& path) override;

 private:
  std::ostream& out_;
  std::ostream& summaries_;
  bool answer_;
  bool showProgress_;
  bool progressShown_ = false;
};

}  // namespace zandor
