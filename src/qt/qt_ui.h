#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "resources/dialog_template.h"
#include "ui/ui.h"
#include "ui/wait_window.h"

namespace zandor {

// The Ui of the desktop program: message boxes, file and folder dialogs, the text viewer,
// documents, the wait message and dialogs rendered from the templates.
class QtUi : public Ui {
 public:
  QtUi();
  ~QtUi() override;

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

  // The open wait message's window (nullptr when none is open).
  QWidget* waitWindow() const;
  // How often the wait message was drawn since it opened.
  int waitRedraws() const { return wait_.redraws(); }

 private:
  WaitWindow wait_{[this] { return makeDialog(tpl::kWaitMessage); }};
};

// The window message boxes and dialogs belong to: the active one, else the main window.
QWidget* ownerWindow();

// The Linux stand-in for Notepad: a read-only window showing a Windows-1252 text file.
QWidget* openTextViewer(const std::string& path);

}  // namespace zandor
