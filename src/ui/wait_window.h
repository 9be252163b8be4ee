#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "ui/dialog.h"

namespace zandor {

// The wait message of a windowed front end, drawn the same by each: a modeless dialog of
// the template WAIT_MSG with its text and, once progress is said, a bar under it. A run
// says a row many thousand times a second, so the window is redrawn at most every
// kRedrawMilliseconds, and less often where a redraw is slow (a window system behind a
// network or Wine): the run spends at most a twentieth of its time drawing, and the message
// changes at least every kLongestGapMilliseconds. The first text and the last one always
// reach the screen.
class WaitWindow {
 public:
  using DialogMaker = std::function<std::unique_ptr<Dialog>()>;
  explicit WaitWindow(DialogMaker make) : make_(std::move(make)) {}

  void show(const std::string& text);
  void say(const std::string& text);
  void progress(int permille);
  void end();

  // The open message, or nullptr.
  Dialog* dialog() const { return dialog_.get(); }
  // How often the message was drawn since it opened.
  int redraws() const { return redraws_; }

  static constexpr int kRedrawMilliseconds = 40;
  static constexpr int kLongestGapMilliseconds = 400;

 private:
  void draw();

  DialogMaker make_;
  std::unique_ptr<Dialog> dialog_;
  std::string text_;
  int permille_ = -1;  // -1: no bar
  bool drawn_ = true;
  int redraws_ = 0;
  std::chrono::steady_clock::time_point lastDrawn_;
  std::chrono::steady_clock::duration gap_ = std::chrono::milliseconds(kRedrawMilliseconds);
};

}  // namespace zandor
