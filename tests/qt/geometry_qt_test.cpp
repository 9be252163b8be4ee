#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QStyle>

#include "qt/qt_test_support.h"
#include "qt/qt_text.h"
#include "qt/template_dialog.h"

namespace zandor {
namespace {

QString shown(const std::string& caption) {
  QString text = toQ(caption);
  text.remove(QLatin1Char('&'));
  return text;
}

// The width a control needs for its caption on one line, in pixels.
int neededWidth(const ControlTemplate& c, QWidget* widget) {
  const QFontMetrics metrics(widget->font());
  const int text = metrics.horizontalAdvance(shown(c.caption));
  QStyle* style = widget->style();
  switch (c.kind) {
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
      return text + style->pixelMetric(QStyle::PM_IndicatorWidth) +
             style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    case ControlKind::PushButton:
      return text + 2 * 4;  // the button's frame and a little air on each side
    default:
      return text;
  }
}

// Every template rendered: each caption fits its control, and controls the template keeps
// apart do not overlap on screen.
TEST(TemplateGeometryTest, CaptionsFitAndControlsKeepApart) {
  for (const DialogTemplate& t : dialogTemplates()) {
    QtDialog dialog(t, nullptr);
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
      const ControlTemplate& c = t.controls[i];
      QWidget* w = dialog.widgetAt(i);
      ASSERT_NE(w, nullptr);
      EXPECT_TRUE(QRect(QPoint(0, 0), dialog.window()->size()).contains(w->geometry()))
          << t.name << " " << c.id;
      if (c.caption.empty() || c.kind == ControlKind::Picture) continue;
      const QFontMetrics metrics(w->font());
      if (c.has(ctl::kWraps)) {
        const QRect needed =
            metrics.boundingRect(QRect(0, 0, w->width(), 1000), Qt::TextWordWrap, shown(c.caption));
        EXPECT_LE(needed.height(), w->height()) << t.name << ": " << c.caption;
      } else {
        EXPECT_LE(neededWidth(c, w), w->width()) << t.name << ": " << c.caption;
        EXPECT_LE(metrics.height(), w->height() + 2) << t.name << ": " << c.caption;
      }
      for (std::size_t j = 0; j < i; ++j) {
        if (t.controls[j].rect.intersects(c.rect)) continue;
        EXPECT_FALSE(dialog.widgetAt(j)->geometry().intersects(w->geometry()))
            << t.name << ": " << t.controls[j].caption << " / " << c.caption;
      }
    }
    // The dialog keeps the template's proportions.
    const DialogUnits units = DialogUnits::of(dialog.window()->font());
    if (!t.has(dlg::kPixels)) {
      EXPECT_EQ(dialog.window()->width(), units.x(t.width)) << t.name;
      EXPECT_EQ(dialog.window()->height(), units.y(t.height)) << t.name;
    }
  }
}

TEST(TemplateGeometryTest, DialogUnitsFollowTheFontMetrics) {
  DialogUnits units{6, 13};
  EXPECT_EQ(units.toPixels({4, 8, 40, 16}), QRect(6, 13, 60, 26));
  DialogUnits wide{8, 16};
  EXPECT_EQ(wide.toPixels({4, 8, 40, 16}), QRect(8, 16, 80, 32));
}

}  // namespace
}  // namespace zandor
