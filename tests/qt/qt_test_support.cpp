#include "qt/qt_test_support.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdlib>

#include "ui/event_guard.h"

namespace zandor::test {

namespace {

void pollFor(std::function<QWidget*()> find, std::function<void(QWidget*)> step) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, find, step] {
    QWidget* w = find();
    if (w == nullptr || !w->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    step(w);
  });
  timer->start();
}

}  // namespace

void onNextModal(std::function<void(QWidget*)> step, QWidget* notThis) {
  pollFor(
      [notThis] {
        QWidget* w = QApplication::activeModalWidget();
        return w == notThis ? nullptr : w;
      },
      std::move(step));
}

void forgetQuit() {
  clearPendingQuit();
  // Qt keeps the thread's loops quitting until the application loop has run once more.
  QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

void onNextPopup(std::function<void(QWidget*)> step) {
  pollFor([] { return QApplication::activePopupWidget(); }, std::move(step));
}

namespace {

bool savePicture(const QPixmap& picture, const std::string& name) {
  const char* build = std::getenv("ZANDOR_BUILD_DIR");
  const QString dir = QString::fromUtf8(build ? build : ".") + QStringLiteral("/screenshots");
  QDir().mkpath(dir);
  return !picture.isNull() &&
         picture.save(dir + QStringLiteral("/") + QString::fromStdString(name) + ".png");
}

}  // namespace

bool saveScreenshot(QWidget* widget, const std::string& name) {
  return savePicture(widget->grab(), name);
}

bool saveScreenshot(QWidget* widget, QWidget* popup, const std::string& name) {
  const QPixmap window = widget->grab();
  const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - widget->mapToGlobal(QPoint(0, 0));
  const QPixmap list = popup->grab();
  QPixmap picture(window.width(), std::max(window.height(), at.y() + list.height()));
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.drawPixmap(0, 0, window);
  painter.drawPixmap(at, list);
  painter.end();
  return savePicture(picture, name);
}

bool saveScreensPicture(const std::string& name) {
  QRect all;
  for (QScreen* screen : QGuiApplication::screens()) all |= screen->geometry();
  QPixmap picture(all.size());
  picture.fill(Qt::darkCyan);
  QPainter painter(&picture);
  for (QScreen* screen : QGuiApplication::screens()) {
    painter.setPen(Qt::black);
    painter.drawRect(screen->geometry().translated(-all.topLeft()).adjusted(0, 0, -1, -1));
  }
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (!top->isVisible()) continue;
    painter.fillRect(top->frameGeometry().translated(-all.topLeft()), Qt::gray);
    painter.drawPixmap(top->geometry().topLeft() - all.topLeft(), top->grab());
  }
  painter.end();
  return savePicture(picture, name);
}

}  // namespace zandor::test
