#include "qt/qt_test_support.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdlib>

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

void onNextPopup(std::function<void(QWidget*)> step) {
  pollFor([] { return QApplication::activePopupWidget(); }, std::move(step));
}

bool saveScreenshot(QWidget* widget, const std::string& name) {
  const char* build = std::getenv("ZANDOR_BUILD_DIR");
  const QString dir = QString::fromUtf8(build ? build : ".") + QStringLiteral("/screenshots");
  QDir().mkpath(dir);
  const QPixmap picture = widget->grab();
  return !picture.isNull() &&
         picture.save(dir + QStringLiteral("/") + QString::fromStdString(name) + ".png");
}

}  // namespace zandor::test
