#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <vector>

#include "resources/dialog_template.h"
#include "ui/dialog.h"

namespace zandor::win32 {

class ListViewGrid;
class NativeControlHandle;

// A template as a native dialog behind the toolkit-neutral interface. The window exists
// from construction on, hidden, so the behaviour can fill it before it runs; runModal()
// disables the owner and runs the dialog manager's keyboard in a loop of its own.
class TemplateDialog : public Dialog {
 public:
  TemplateDialog(const DialogTemplate& tmpl, HWND owner);
  ~TemplateDialog() override;
  TemplateDialog(const TemplateDialog&) = delete;
  TemplateDialog& operator=(const TemplateDialog&) = delete;

  Control* control(int id) override;
  GridList* gridList(int id) override;
  void setTitle(const std::string& title) override;
  int runModal() override;
  void showModeless() override;
  void end(int result) override;
  void refresh() override;
  bool shown() const override;

  HWND window() const { return hwnd_; }
  const DialogTemplate& tmpl() const { return tmpl_; }
  // The window of the template's n-th control (controls without id included).
  HWND childAt(std::size_t index) const;
  ListViewGrid* grid(int id) const;

  // A template rectangle in this dialog's pixels (client coordinates).
  RECT toPixels(const Rect& r) const;
  // Whether text is being set from code (the edit field's change is then not the user's).
  bool settingText() const { return settingText_; }
  void setSettingText(bool on) { settingText_ = on; }
  // The control to focus once the dialog is on screen.
  void focusWhenShown(HWND control);

 private:
  static INT_PTR CALLBACK procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);
  INT_PTR handle(UINT message, WPARAM w, LPARAM l);
  void initialize();
  void placeInPixels();
  void command(int id, int code, HWND from);
  void reportSize();
  bool drawItem(const DRAWITEMSTRUCT& item);

  const DialogTemplate& tmpl_;
  HWND hwnd_ = nullptr;
  std::vector<HWND> children_;
  std::map<int, std::unique_ptr<Control>> controls_;
  std::map<int, std::unique_ptr<ListViewGrid>> grids_;
  HWND pendingFocus_ = nullptr;
  bool modal_ = false;
  bool ended_ = false;
  bool shown_ = false;
  int result_ = 0;
  bool settingText_ = false;
};

// The window dialogs and message boxes belong to: the running modal dialog, else the main
// window (nullptr before it exists).
HWND ownerWindow();
// The main window, once it exists.
void setMainWindow(HWND window);
// Whether a modal dialog of the program runs.
bool modalRunning();
// Processes what is waiting to be painted or sent, without user input, so that windows
// stay drawn while the GUI thread works.
void pumpPaint();

}  // namespace zandor::win32
