#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressBar>
#include <QWidget>
#include <memory>
#include <string>

#include "app/ui.h"

namespace zandor {

class QtDialog;
class WorkAreas;

// The Ui of the desktop program: message boxes, file and folder dialogs, the text viewer,
// documents, the wait message and dialogs rendered from the templates.
class QtUi : public Ui {
 public:
  QtUi();
  ~QtUi() override;

  // The work areas the mapping dialog reads the table with and the import run writes to.
  void setWorkAreas(WorkAreas* areas) { areas_ = areas; }

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
  void waitProgress(long firstRow, long lastRow) override;
  void showTextFile(const std::string& path) override;
  void openDocument(const std::string& path) override;
  std::unique_ptr<Dialog> makeDialog(const std::string& templateName) override;
  void importOptionsDialog(AppState& state) override;
  void mappingDialog(AppState& state) override;

  // The open wait message's window (nullptr when none is open).
  QWidget* waitWindow() const;
  // How often the wait message was drawn since it opened.
  int waitRedraws() const { return waitRedraws_; }

  // The wait message is redrawn at most this often; a run says a row many thousand times
  // a second.
  static constexpr int kWaitRedrawMilliseconds = 40;

 private:
  void drawWaitText();

  std::unique_ptr<QtDialog> wait_;
  WorkAreas* areas_ = nullptr;
  std::string waitText_;
  bool waitTextDrawn_ = true;
  QElapsedTimer sinceWaitDrawn_;
  int waitRedraws_ = 0;
  long progressFirst_ = 0;
  long progressLast_ = 0;
  QPointer<QProgressBar> progress_;
};

// The window message boxes and dialogs belong to: the active one, else the main window.
QWidget* ownerWindow();

// The Linux stand-in for Notepad: a read-only window showing a Windows-1252 text file.
QWidget* openTextViewer(const std::string& path);

}  // namespace zandor
