#include "qt/screen_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace zandor {

QRect fittedGeometry(QSize wanted, const QMargins& frame, const QRect& available,
                     const QRect& over) {
  const QSize room = available.size().shrunkBy(frame).expandedTo(QSize(1, 1));
  QRect framed = QRect(QPoint(0, 0), wanted.boundedTo(room)).marginsAdded(frame);
  framed.moveCenter(over.isValid() ? over.center() : available.center());
  if (framed.right() > available.right()) framed.moveRight(available.right());
  if (framed.bottom() > available.bottom()) framed.moveBottom(available.bottom());
  if (framed.left() < available.left()) framed.moveLeft(available.left());
  if (framed.top() < available.top()) framed.moveTop(available.top());
  return framed.marginsRemoved(frame);
}

namespace {

QMargins frameOf(const QWidget* window) {
  const QRect outer = window->frameGeometry();
  const QRect inner = window->geometry();
  return QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                  outer.right() - inner.right(), outer.bottom() - inner.bottom());
}

}  // namespace

void placeOnScreen(QWidget* window, QSize wanted, QWidget* owner) {
  QWidget* ownerWindow = owner != nullptr ? owner->window() : nullptr;
  if (ownerWindow != nullptr && !ownerWindow->isVisible()) ownerWindow = nullptr;
  QScreen* screen = ownerWindow != nullptr ? ownerWindow->screen() : nullptr;
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    window->resize(wanted);
    return;
  }
  // A frame is known once a window is shown; before, the owner's is the best guess.
  const QMargins frame = window->isVisible()      ? frameOf(window)
                         : ownerWindow != nullptr ? frameOf(ownerWindow)
                                                  : QMargins();
  window->setGeometry(
      fittedGeometry(wanted, frame, screen->availableGeometry(),
                     ownerWindow != nullptr ? ownerWindow->frameGeometry() : QRect()));
}

}  // namespace zandor
