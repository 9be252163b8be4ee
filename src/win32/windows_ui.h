#pragma once

#include <memory>
#include <string>

#include "resources/dialog_template.h"
#include "ui/ui.h"
#include "ui/wait_window.h"

namespace zandor::win32 {

// The Ui of the Windows program: message boxes, the common file and folder dialogs,
// Notepad for text files, the shell's "open" for documents, the wait message and dialogs
// built from the templates.
class WindowsUi : public Ui {
 public:
  WindowsUi();
  ~WindowsUi() override;

  void information(const std::string& text) override;
  bool question(const std::string& title, const std::string& text) override;
  std::string chooseFile(const std::string& title, const std::string& mask,
                         const std::string& startDirectory) override;
  std::string chooseNewFile(const std::string& title, const std::string& mask,
                            const std::string& startDirectory) override;
  std::string chooseFolder(const std::string& title, const std::string& startDirectory) override;
  void waitShow(const std::string& text) override;
  void waitSay(const std::string& text) override;
  void waitEnd() override;
  void waitProgress(int permille) override;
  void showTextFile(const std::string& path) override;
  void openDocument(const std::string& path) override;
  std::unique_ptr<Dialog> makeDialog(const std::string& templateName) override;

  // The open wait message, or nullptr.
  Dialog* waitDialog() const { return wait_.dialog(); }

 private:
  std::string chooseOpen(const std::string& title, const std::string& mask,
                         const std::string& startDirectory, bool mustExist);

  WaitWindow wait_{[this] { return makeDialog(tpl::kWaitMessage); }};
};

}  // namespace zandor::win32
