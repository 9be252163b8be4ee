#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/grid_list.h"

namespace zandor {

// The toolkit-neutral dialog: built by a backend from a template, its controls found by id.
// What every backend guarantees:
// - Threads: dialogs, their controls and their callbacks belong to the GUI thread.
// - Lifetime: a Control* or GridList* stays valid as long as its Dialog object, also after
//   the dialog ended. A modeless dialog whose owner closed went with it: control() and
//   gridList() answer nullptr from then on, and pointers fetched before must not be used
//   (a Control* still changes nothing safely). The Dialog object may be destroyed once
//   runModal() returned or a modeless one ended.
// - Owner: a new dialog belongs to the active window of the program (a modal dialog, else
//   the main window), stays above it, and goes when it closes.
// - Events: onClicked and onChanged come from the user only; text, checks or selection set
//   from code never fire them. A callback may call end(), requestClose() or setText() on
//   its own dialog; it runs inside the event guard (ui/event_guard.h).
// - Sizes: positions and sizes of controls, place() and onResized are in dialog units of
//   the template's font (x: a quarter of the average character width, y: an eighth of the
//   character height). Two sizes are fixed in pixels instead, because the program's look
//   is defined that way: a template with the pixel style (the error dialog, 450 x 300
//   whatever the font) and grid column widths. Pixels are those of a 96 dpi screen; a
//   backend scales them by the screen's resolution.
// Texts are Windows-1252 bytes; backends convert at their edge.

// What limits typing into an edit field.
struct InputRule {
  int positions = 0;  // 0: no limit
  bool digitsOnly = false;

  // The text a field with this rule holds after the user typed text into it.
  std::string apply(const std::string& typed) const;
};

class Control {
 public:
  virtual ~Control() = default;

  virtual int id() const = 0;
  // Caption of labels, buttons and check boxes; contents of edit fields. Setting it on a
  // drop-down list gives the prompt shown while nothing is selected.
  virtual std::string text() const = 0;
  virtual void setText(const std::string& text) = 0;
  // Check boxes and radio buttons.
  virtual bool checked() const = 0;
  virtual void setChecked(bool on) = 0;
  // Lists: the items and the selected one (-1 for none).
  virtual std::vector<std::string> items() const = 0;
  virtual void setItems(const std::vector<std::string>& items) = 0;
  virtual int selection() const = 0;
  virtual void setSelection(int index) = 0;
  virtual bool visible() const = 0;
  virtual void setVisible(bool on) = 0;
  virtual bool enabled() const = 0;
  virtual void setEnabled(bool on) = 0;
  virtual void setFocus() = 0;
  virtual void setInputRule(const InputRule& rule) = 0;
  // Progress bars: how far the work got, in thousandths (0 to 1000).
  virtual int progress() const = 0;
  virtual void setProgress(int permille) = 0;
  // Moves and sizes the control, in dialog units.
  virtual void place(int x, int y, int width, int height) = 0;
};

// How a close request came about.
enum class CloseReason { Button, Escape, CloseBox };

class Dialog {
 public:
  virtual ~Dialog() = default;

  // Events the behaviour listens to. A click on a push button, check box or radio button
  // gives onClicked; a change of an edit field's text or of a list's selection made by the
  // user gives onChanged. onCloseRequest answers whether the dialog may close; without it,
  // every request closes.
  std::function<void(int id)> onClicked;
  std::function<void(int id)> onChanged;
  std::function<bool(CloseReason reason)> onCloseRequest;
  // The dialog's inner size changed (in dialog units); also once when a resizable dialog
  // opens.
  std::function<void(int width, int height)> onResized;

  // The control with the id, or nullptr.
  virtual Control* control(int id) = 0;
  // The grid list with the id, or nullptr.
  virtual GridList* gridList(int id) = 0;
  virtual void setTitle(const std::string& title) = 0;

  // Runs the dialog until it ends; the result passed to end().
  virtual int runModal() = 0;
  // Shows the dialog and returns at once.
  virtual void showModeless() = 0;
  // Ends the dialog without asking.
  virtual void end(int result) = 0;
  // For a modeless dialog shown while the caller keeps the GUI thread busy: when refresh()
  // returns, the window is on screen and painted with its current texts and values
  // (the window system has shown it, not only been asked to). User input is not handled.
  virtual void refresh() = 0;
  // Whether the dialog is on screen: between showModeless() or runModal() and its end, or
  // the close of its owner, which takes it along.
  virtual bool shown() const = 0;

  // Asks to close, as Escape, the close box or a button that closes would: the dialog ends
  // with result 0 unless onCloseRequest refuses. True when it ended.
  bool requestClose(CloseReason reason);
};

// The first control of the dialog with the id. The caller passes an id the dialog has;
// a missing one is a programming error and throws std::logic_error.
Control& OCTRL(Dialog& dialog, int id);

}  // namespace zandor
