#include "qt/qt_ui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "app/help_about.h"
#include "base/paths.h"
#include "qt/qt_text.h"
#include "qt/screen_fit.h"
#include "qt/template_dialog.h"
#include "resources/dialog_template.h"
#include "ui/event_guard.h"

namespace zandor {

QWidget* ownerWindow() {
  if (QWidget* active = QApplication::activeModalWidget()) return active;
  if (QWidget* active = QApplication::activeWindow()) return active;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (qobject_cast<QMainWindow*>(top) && top->isVisible()) return top;
  }
  return nullptr;
}

namespace {

// A chosen name that Windows-1252 cannot hold would turn into "?" and name no file: it is
// refused where it is chosen, so it is never stored, and counts as cancelled.
std::string usableChoice(const QString& chosen, ChosenKind kind) {
  if (chosen.isEmpty()) return {};
  const std::string message = unusableNameMessage(chosen.toStdString(), kind);
  if (message.empty()) return fromQ(chosen);
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Name nicht verwendbar"),
                  QString::fromStdString(message), QMessageBox::Ok, ownerWindow());
  box.setObjectName(QStringLiteral("unusableName"));
  box.exec();
  rethrowPendingQuit();
  return {};
}

}  // namespace

QtUi::QtUi() {
  // A quit chosen in the error handler ends every running event loop.
  setEventLoopExit([](int code) { QCoreApplication::exit(code); });
}
QtUi::~QtUi() = default;

void QtUi::information(const std::string& text) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), toQ(text),
                  QMessageBox::Ok, ownerWindow());
  box.exec();
  rethrowPendingQuit();
}

bool QtUi::question(const std::string& title, const std::string& text) {
  QMessageBox box(QMessageBox::Question, toQ(title), toQ(text), QMessageBox::Yes | QMessageBox::No,
                  ownerWindow());
  const int answer = box.exec();
  rethrowPendingQuit();
  return answer == QMessageBox::Yes;
}

std::string QtUi::chooseFile(const std::string& title, const std::string& mask,
                             const std::string& startDirectory) {
  const QString filter = toQ(mask) + QStringLiteral(";;") + QStringLiteral("*");
  // Qt's own dialog, not the desktop's: that one speaks the desktop's language whatever
  // texts are loaded, and looks and behaves alike on every desktop (and in the tests).
  const QString chosen =
      QFileDialog::getOpenFileName(ownerWindow(), toQ(title), toQ(startDirectory), filter, nullptr,
                                   QFileDialog::DontUseNativeDialog);
  rethrowPendingQuit();
  return usableChoice(chosen, ChosenKind::File);
}

std::string QtUi::chooseNewFile(const std::string& title, const std::string& mask,
                                const std::string& startDirectory) {
  // An open dialog, not a save dialog: no question before a file is replaced.
  QFileDialog dialog(ownerWindow(), toQ(title), toQ(startDirectory),
                     toQ(mask) + QStringLiteral(";;*"));
  dialog.setObjectName(QStringLiteral("chooseNewFile"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.selectFile(toQ(mask));
  const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  rethrowPendingQuit();
  return chosen ? usableChoice(dialog.selectedFiles().front(), ChosenKind::NewFile) : std::string();
}

std::string QtUi::chooseFolder(const std::string& title, const std::string& startDirectory) {
  const QString chosen = QFileDialog::getExistingDirectory(
      ownerWindow(), toQ(title), toQ(startDirectory),
      QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  rethrowPendingQuit();
  return usableChoice(chosen, ChosenKind::Folder);
}

void QtUi::waitShow(const std::string& text) {
  wait_.show(text);
}

void QtUi::waitProgress(int permille) {
  wait_.progress(permille);
}

void QtUi::waitSay(const std::string& text) {
  wait_.say(text);
}

void QtUi::waitEnd() {
  if (wait_.dialog() == nullptr) return;
  wait_.end();
  // Lets the windows below repaint the area before the caller goes on.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QWidget* QtUi::waitWindow() const {
  auto* dialog = static_cast<QtDialog*>(wait_.dialog());
  return dialog != nullptr ? dialog->window() : nullptr;
}

namespace {

// Keeps a viewer opened over a modal dialog usable: it belongs to the dialog while that
// runs (a modal dialog blocks every window but its own), and becomes a window of its own
// when the dialog goes, instead of going with it.
class ViewerKeeper : public QObject {
 public:
  ViewerKeeper(QWidget* viewer, QWidget* owner) : QObject(viewer), viewer_(viewer) {
    owner->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide && viewer_->parentWidget() == watched) {
      watched->removeEventFilter(this);
      const QRect where = viewer_->geometry();
      viewer_->setParent(nullptr, Qt::Window);
      viewer_->setGeometry(where);
      viewer_->show();
    }
    return false;
  }

 private:
  QWidget* viewer_;
};

}  // namespace

QWidget* openTextViewer(const std::string& path) {
  std::ifstream in(nativePath(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  QWidget* modal = QApplication::activeModalWidget();
  auto* viewer = new QPlainTextEdit(modal);
  viewer->setWindowFlags(Qt::Window);
  if (modal != nullptr) new ViewerKeeper(viewer, modal);
  viewer->setAttribute(Qt::WA_DeleteOnClose);
  viewer->setObjectName(QStringLiteral("textViewer"));
  viewer->setReadOnly(true);
  viewer->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  viewer->setPlainText(toQ(bytes.str()));
  viewer->setWindowTitle(toQ(fileNamePart(path)) + QStringLiteral(" \u2013 Zandor"));
  // Whole on its owner's screen, however small that is.
  placeOnScreen(viewer, QSize(760, 520), modal != nullptr ? modal : ownerWindow());
  viewer->show();
  return viewer;
}

void QtUi::showTextFile(const std::string& path) {
  openTextViewer(path);
}

#ifdef Q_OS_LINUX
namespace {

// Said once xdg-open has ended; the caller has gone on by then, so the box waits for no one.
void tellLater(const std::string& text) {
  auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Information"), toQ(text),
                              QMessageBox::Ok, ownerWindow());
  box->setObjectName(QStringLiteral("documentNotOpened"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace
#endif

void QtUi::openDocument(const std::string& path) {
  const QString absolute = QFileInfo(toQ(path)).absoluteFilePath();
  const std::string failed = documentNotOpenedMessage(fromQ(QDir::toNativeSeparators(absolute)));
#ifdef Q_OS_LINUX
  // QDesktopServices hands the file to xdg-open and tells only whether that started; its
  // exit status tells whether a program took the document. A viewer that xdg-open waits
  // for keeps it running: no message then.
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (!opener.isEmpty()) {
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, process,
                     [process, failed](int code, QProcess::ExitStatus status) {
                       process->deleteLater();
                       if (status != QProcess::NormalExit || code != 0) tellLater(failed);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, failed](QProcess::ProcessError error) {
                       if (error != QProcess::FailedToStart) return;
                       process->deleteLater();
                       tellLater(failed);
                     });
    process->start(opener, {absolute});
    return;
  }
#endif
  // Without a program for the document the toolkit says so only on standard error.
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(absolute))) information(failed);
}

std::unique_ptr<Dialog> QtUi::makeDialog(const std::string& templateName) {
  const DialogTemplate* tmpl = findDialogTemplate(templateName);
  if (tmpl == nullptr) return nullptr;
  return std::make_unique<QtDialog>(*tmpl, ownerWindow());
}

}  // namespace zandor
