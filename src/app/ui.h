#pragma once

#include <memory>
#include <string>

#include "ui/dialog.h"

namespace zandor {

struct AppState;

// Everything the program asks of the person in front of it. Texts are Windows-1252 bytes;
// each implementation converts at its own edge. No operation talks to a toolkit directly.
class Ui {
 public:
  virtual ~Ui() = default;

  // Information box: title "Information", information icon, one OK button.
  virtual void information(const std::string& text) = 0;
  // The closing summary of an operation; an information box unless the Ui shows it apart.
  virtual void summary(const std::string& text) { information(text); }
  // The cause behind the message just shown (a reader's own words), for a front end that
  // has room for such details; a window shows only the message.
  virtual void detail(const std::string& /*text*/) {}
  // Yes/no question with the caller's title; true for Yes.
  virtual bool question(const std::string& title, const std::string& text) = 0;
  // File-open dialog; the chosen full path, or "" when cancelled.
  virtual std::string chooseFile(const std::string& title, const std::string& mask,
                                 const std::string& startDirectory) = 0;
  // A file-open dialog in which a name that does not exist yet may be typed (only its
  // folder must exist); the name box starts with the mask. "" when cancelled.
  virtual std::string chooseNewFile(const std::string& title, const std::string& mask,
                                    const std::string& startDirectory) {
    return chooseFile(title, mask, startDirectory);
  }
  // Folder chooser; the chosen directory, or "" when cancelled.
  virtual std::string chooseFolder(const std::string& title, const std::string& startDirectory) = 0;

  // The modeless wait message.
  virtual void waitShow(const std::string& text) = 0;
  virtual void waitSay(const std::string& text) = 0;
  virtual void waitEnd() = 0;
  // The rows the next wait message counts through, when they are known in advance: its
  // text ends in the row number, and a bar may show how far it got. Forgotten when the
  // message ends.
  virtual void waitProgress(long /*firstRow*/, long /*lastRow*/) {}

  // Shows a text file in the plain text viewer (Notepad on Windows).
  virtual void showTextFile(const std::string& path) = 0;
  // Opens a document with the desktop's default program.
  virtual void openDocument(const std::string& path) = 0;

  // A dialog built from the named template, not yet shown; nullptr from a Ui without
  // windows, and the operation that asked then shows nothing.
  virtual std::unique_ptr<Dialog> makeDialog(const std::string& templateName) {
    (void)templateName;
    return nullptr;
  }

  // The program's own modal dialogs that core operations open.
  virtual void importOptionsDialog(AppState& state) = 0;
  virtual void mappingDialog(AppState& state) = 0;
};

}  // namespace zandor
