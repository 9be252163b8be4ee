#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "resources/dialog_template.h"
#include "resources/ids/wait_message_ids.h"
#include "support/fake_dialog.h"
#include "ui/wait_window.h"

namespace zandor {
namespace {

using Clock = std::chrono::steady_clock;

// What reached the screen.
struct Screen {
  int redraws = 0;
  std::string text;
};

// A window system on which each redraw takes its time.
class SlowDialog : public test::FakeDialog {
 public:
  SlowDialog(std::chrono::milliseconds each, Screen& screen)
      : FakeDialog(*findDialogTemplate(tpl::kWaitMessage), nullptr), each_(each), screen_(screen) {}
  void refresh() override {
    ++screen_.redraws;
    screen_.text = text(wait_ids::kText);
    std::this_thread::sleep_for(each_);
  }

 private:
  std::chrono::milliseconds each_;
  Screen& screen_;
};

struct Drawing {
  int redraws = 0;
  double drawingShare = 0;
};

// Says rows for a while, as a run does, and reports how the window was drawn.
Drawing sayRows(std::chrono::milliseconds each, std::chrono::milliseconds during) {
  Screen screen;
  WaitWindow wait([&] { return std::make_unique<SlowDialog>(each, screen); });
  const auto start = Clock::now();
  wait.show("Zeile: 1");
  long row = 1;
  while (Clock::now() - start < during) wait.say("Zeile: " + std::to_string(++row));
  wait.end();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_EQ(screen.text, "Zeile: " + std::to_string(row))
      << "the last row reaches the screen before the message goes";
  return {screen.redraws, screen.redraws * std::chrono::duration<double>(each).count() / elapsed};
}

TEST(WaitWindowTest, ASlowWindowSystemIsDrawnLessOftenAndTheRunKeepsItsPace) {
  const Drawing quick = sayRows(std::chrono::milliseconds(0), std::chrono::milliseconds(400));
  EXPECT_GE(quick.redraws, 400 / WaitWindow::kRedrawMilliseconds - 2) << "every 40 ms";
  EXPECT_LE(quick.redraws, 400 / WaitWindow::kRedrawMilliseconds + 3);

  const Drawing slow = sayRows(std::chrono::milliseconds(8), std::chrono::milliseconds(800));
  EXPECT_GE(slow.redraws, 3) << "still drawn while the run goes on";
  EXPECT_LT(slow.drawingShare, 0.1) << slow.redraws << " redraws";
  EXPECT_LT(slow.redraws, 800 / WaitWindow::kRedrawMilliseconds / 2);

  // However slow the window system, the message changes a few times a second.
  const Drawing crawling = sayRows(std::chrono::milliseconds(40), std::chrono::milliseconds(1200));
  EXPECT_GE(crawling.redraws, 1200 / (WaitWindow::kLongestGapMilliseconds + 40));
}

}  // namespace
}  // namespace zandor
