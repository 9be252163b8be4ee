#include "ui/wait_window.h"

#include <algorithm>

#include "resources/ids/wait_message_ids.h"

namespace zandor {

void WaitWindow::show(const std::string& text) {
  dialog_ = make_();
  if (!dialog_) return;
  dialog_->onCloseRequest = [](CloseReason) { return false; };  // only end() closes it
  redraws_ = 0;
  gap_ = std::chrono::milliseconds(kRedrawMilliseconds);
  permille_ = -1;
  text_ = text;
  if (Control* bar = dialog_->control(wait_ids::kProgress)) bar->setVisible(false);
  dialog_->showModeless();
  draw();
}

void WaitWindow::progress(int permille) {
  permille_ = permille;
  drawn_ = false;
}

void WaitWindow::say(const std::string& text) {
  // A message whose owner window has closed went with it; a fresh one takes its place.
  if (!dialog_ || !dialog_->shown()) {
    const int permille = permille_;
    show(text);
    permille_ = permille;
  }
  if (!dialog_) return;
  text_ = text;
  drawn_ = false;
  // The first row shows at once rather than the opening blank.
  const auto now = std::chrono::steady_clock::now();
  if (redraws_ < 2 || now - lastDrawn_ >= gap_) draw();
}

void WaitWindow::end() {
  if (!dialog_) return;
  // The last text is on screen before the message goes.
  if (!drawn_ && dialog_->shown()) draw();
  dialog_->end(0);  // nothing to end when its owner took it along
  dialog_.reset();
  permille_ = -1;
}

void WaitWindow::draw() {
  const auto started = std::chrono::steady_clock::now();
  if (Control* text = dialog_->control(wait_ids::kText)) text->setText(text_);
  if (Control* bar = dialog_->control(wait_ids::kProgress)) {
    if (permille_ >= 0) {
      bar->setProgress(permille_);
      bar->setVisible(true);
    }
  }
  dialog_->refresh();
  drawn_ = true;
  ++redraws_;
  lastDrawn_ = std::chrono::steady_clock::now();
  // The showing draw waits for the window system to map the window: no measure of a redraw.
  if (redraws_ > 1) {
    gap_ = std::clamp<std::chrono::steady_clock::duration>(
        (lastDrawn_ - started) * 20, std::chrono::milliseconds(kRedrawMilliseconds),
        std::chrono::milliseconds(kLongestGapMilliseconds));
  }
}

}  // namespace zandor
