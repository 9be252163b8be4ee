#include "qt/main_window.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPixmap>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "qt/qt_text.h"
#include "resources/toolbar_images.h"

namespace zandor {

QIcon toolbarIcon(const std::string& name) {
  const ToolbarImage bitmap = toolbarImage(name);
  QImage image(bitmap.width, bitmap.height, QImage::Format_ARGB32);
  for (int y = 0; y < bitmap.height; ++y) {
    for (int x = 0; x < bitmap.width; ++x) {
      const Rgb c = bitmap.at(x, y);
      const bool transparent = c.r == 255 && c.g == 0 && c.b == 255;
      image.setPixel(x, y, transparent ? qRgba(0, 0, 0, 0) : qRgb(c.r, c.g, c.b));
    }
  }
  return QIcon(QPixmap::fromImage(image));
}

MainWindow::MainWindow(AppState& state, ProgramCommands& commands) : commands_(commands) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(toQ(mainWindowTitle(state)));
  buildMenus();
  buildToolBar();
  auto* status = new QLabel(toQ(statusBarText()));
  status->setObjectName(QStringLiteral("statusText"));
  statusBar()->addWidget(status, 1);
  setCentralWidget(new QWidget);
  setAcceptDrops(true);
  resize(720, 480);
}

namespace {

// The one local file of a drag, or "".
std::string draggedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().front();
  return url.isLocalFile() ? fromQ(url.toLocalFile()) : std::string();
}

}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const std::string file = draggedFile(event->mimeData());
  if (!file.empty() && commands_.takesDroppedFile(file)) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const std::string file = draggedFile(event->mimeData());
  if (file.empty() || !commands_.takesDroppedFile(file)) return;
  event->acceptProposedAction();
  // The dialog runs after the drop has ended, not inside the source's drag loop.
  QTimer::singleShot(0, this, [this, file] { commands_.fileDropped(file); });
}

void MainWindow::run(Command command) {
  if (commands_.command(command) == Afterwards::CloseWindow) close();
}

void MainWindow::buildMenus() {
  for (const Menu& menu : BUILDMENU()) {
    QMenu* m = menuBar()->addMenu(toQ(menu.caption));
    for (const MenuItem& item : menu.items) {
      const Command command = item.command;
      m->addAction(toQ(item.caption), this, [this, command] { run(command); });
    }
  }
}

void MainWindow::fillPopup() {
  popup_->clear();
  for (const MenuItem& item : BUILDPOPUP()) {
    const Command command = item.command;
    popup_->addAction(toQ(item.caption), this, [this, command] { run(command); });
  }
}

void MainWindow::buildToolBar() {
  QToolBar* bar = addToolBar(QStringLiteral("Werkzeuge"));
  bar->setObjectName(QStringLiteral("toolBar"));
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setIconSize(QSize(kToolImageSize, kToolImageSize));
  bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bar->setMinimumHeight(kToolBarHeight);
  QFont small = bar->font();
  small.setPointSize(8);
  for (const ToolButton& b : toolbarButtons()) {
    if (b.kind == ToolKind::Separator) {
      bar->addSeparator();
      continue;
    }
    auto* button = new QToolButton(bar);
    button->setObjectName(QString::fromStdString("tool" + b.image));
    button->setText(toQ(b.caption));
    button->setToolTip(toQ(b.tooltip));
    button->setIcon(toolbarIcon(b.image));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFont(small);
    button->setMinimumSize(kToolButtonSize, kToolButtonSize);
    const Command command = b.command;
    connect(button, &QToolButton::clicked, this, [this, command] { run(command); });
    if (b.kind == ToolKind::DropDownButton) {
      popup_ = new QMenu(button);
      popup_->setObjectName(QStringLiteral("dropDownMenu"));
      connect(popup_, &QMenu::aboutToShow, this, [this] { fillPopup(); });
      button->setMenu(popup_);
      button->setPopupMode(QToolButton::MenuButtonPopup);
      dropDown_ = button;
    }
    bar->addWidget(button);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (commands_.mayClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace zandor
