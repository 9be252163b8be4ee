#pragma once

#include <memory>
#include <string>

#include "ui/dialog.h"

namespace zandor {

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

  // The modeless wait message: opened with a text, its text replaced, closed. A windowed
  // front end draws it with a WaitWindow.
  virtual void waitShow(const std::string& text) = 0;
  virtual void waitSay(const std::string& text) = 0;
  virtual void waitEnd() = 0;
  // How far the work the open message tells of has got, in thousandths, for a bar under
  // the text; said before the text it goes with. A message opened afresh has no bar.
  virtual void waitProgress(int /*permille*/) {}

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
};

}  // namespace zandor
