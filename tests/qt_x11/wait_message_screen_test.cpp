#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <cstdlib>

#include "import/import_fixture.h"
#include "import/import_run.h"
#include "qt/qt_ui.h"

namespace zandor {
namespace {

// What the X server shows of the wait message each time it was drawn, against what the
// window itself renders.
struct Look {
  std::string text;
  int differing = 0;  // pixels the screen shows otherwise than the window renders
  int pixels = 0;
  int ink = 0;  // dark pixels on screen where the text goes
  QImage screen;
};

class ScreenWatchingUi : public QtUi {
 public:
  std::vector<Look> looks;
  std::vector<std::string> messages;

  void information(const std::string& text) override { messages.push_back(text); }
  bool question(const std::string&, const std::string&) override { return true; }
  void showTextFile(const std::string&) override {}
  void waitShow(const std::string& text) override {
    QtUi::waitShow(text);
    look(text);
  }
  void waitSay(const std::string& text) override {
    const int before = waitRedraws();
    QtUi::waitSay(text);
    if (waitRedraws() != before && looks.size() < 6) look(text);
  }

 private:
  void look(const std::string& text) {
    QWidget* window = waitWindow();
    if (window == nullptr) return;
    Look l;
    l.text = text;
    const QImage own = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint at = window->mapToGlobal(QPoint(0, 0));
    l.screen = window->screen()
                   ->grabWindow(0, at.x(), at.y(), window->width(), window->height())
                   .toImage()
                   .convertToFormat(QImage::Format_RGB32);
    if (l.screen.size() != own.size()) {
      l.differing = l.pixels = 1;
      looks.push_back(l);
      return;
    }
    const QLabel* label = window->findChild<QLabel*>(QStringLiteral("ctl101"));
    const QRect textArea = label != nullptr ? label->geometry() : window->rect();
    for (int y = 0; y < own.height(); ++y) {
      for (int x = 0; x < own.width(); ++x) {
        const QRgb seen = l.screen.pixel(x, y);
        ++l.pixels;
        if (seen != own.pixel(x, y)) ++l.differing;
        if (textArea.contains(x, y) && qGray(seen) < 100) ++l.ink;
      }
    }
    looks.push_back(l);
  }
};

void saveShot(const QImage& image, const std::string& name) {
  const char* build = std::getenv("ZANDOR_BUILD_DIR");
  const QString dir = QString::fromUtf8(build ? build : ".") + QStringLiteral("/screenshots");
  QDir().mkpath(dir);
  image.save(dir + QStringLiteral("/") + QString::fromStdString(name) + QStringLiteral(".png"));
}

class WaitMessageScreenTest : public test::ImportFixture {};

// The program keeps the GUI thread while it imports: each time the message is drawn, the
// window system must already show it, painted, with the text of that moment.
TEST_F(WaitMessageScreenTest, TheScreenShowsTheMessageWithItsTextWhileTheImportRuns) {
  ScreenWatchingUi screenUi;
  state.ui = &screenUi;
  makeTable("KUNDEN.DBF", {{"KUNDE", 'C', 10, 0}, {"NAME1", 'C', 20, 0}});
  std::vector<std::string> lines = {"Kunde;Name"};
  for (int i = 1; i <= 300000; ++i) {
    lines.push_back("K" + std::to_string(i) + ";Name " + std::to_string(i));
  }
  makeSheet(lines);
  map("KUNDE", 1);
  map("NAME1", 2);
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Summary);

  ASSERT_GE(screenUi.looks.size(), 3u);
  EXPECT_EQ(screenUi.looks[1].text,
            "Excel-Datei wird ge\xf6"
            "ffnet ...");
  EXPECT_EQ(screenUi.looks[2].text.rfind("Zeile: ", 0), 0u);
  for (std::size_t i = 1; i < screenUi.looks.size(); ++i) {
    const Look& l = screenUi.looks[i];
    EXPECT_EQ(l.differing, 0) << l.text << ": " << l.differing << " of " << l.pixels;
    EXPECT_GT(l.ink, 20) << l.text << ": no text on screen";
  }
  saveShot(screenUi.looks[1].screen, "wait_message_opening_on_screen");
  saveShot(screenUi.looks.back().screen, "wait_message_mid_run_on_screen");
}

}  // namespace
}  // namespace zandor
