#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

namespace zandor {

// Where a window of the wanted inner size goes so that it lies whole, frame included, in
// the available area: no larger than that area, centred over `over` where it fits and
// moved inside where not.
QRect fittedGeometry(QSize wanted, const QMargins& frame, const QRect& available,
                     const QRect& over);

// Sizes and places a top-level window that way on the screen of its owner (the primary
// screen without one), centred over the owner.
void placeOnScreen(QWidget* window, QSize wanted, QWidget* owner);

}  // namespace zandor
