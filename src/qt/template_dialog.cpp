#include "qt/template_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "qt/grid_view.h"
#include "qt/qt_text.h"
#include "ui/event_guard.h"

namespace zandor {

namespace {

// Calls back when its window gets an expose event.
class ExposeWatch : public QObject {
 public:
  ExposeWatch(QWindow* window, std::function<void()> exposed)
      : window_(window), exposed_(std::move(exposed)) {
    window_->installEventFilter(this);
  }
  ~ExposeWatch() override {
    if (window_) window_->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Expose && window_->isExposed()) exposed_();
    return false;
  }

 private:
  QPointer<QWindow> window_;
  std::function<void()> exposed_;
};

// How long refresh() waits at most for the window system to show a new window.
constexpr int kExposeWaitMilliseconds = 2000;

}  // namespace

DialogUnits DialogUnits::of(const QFont& font) {
  const QFontMetrics metrics(font);
  DialogUnits units;
  const int width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  units.charWidth = (width / 26 + 1) / 2;
  units.charHeight = metrics.height();
  return units;
}

int DialogUnits::x(int dlu) const {
  return (dlu * charWidth + 2) / 4;
}

int DialogUnits::y(int dlu) const {
  return (dlu * charHeight + 4) / 8;
}

QRect DialogUnits::toPixels(const Rect& r) const {
  const int left = x(r.x);
  const int top = y(r.y);
  return QRect(left, top, x(r.x + r.width) - left, y(r.y + r.height) - top);
}

QFont templateFont(const DialogTemplate& tmpl) {
  const QString family = QString::fromStdString(tmpl.fontName);
  QFont font = QFontDatabase::families().contains(family)
                   ? QFont(family)
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(tmpl.fontPoints);
  return font;
}

QString elidedPath(const QString& text, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  const qsizetype cut =
      std::max(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
  const QString name = text.mid(cut + 1);
  const int room = width - metrics.horizontalAdvance(text.mid(cut));
  if (cut <= 0 || room < metrics.horizontalAdvance(QStringLiteral("/\u2026"))) {
    return metrics.elidedText(name, Qt::ElideMiddle, width);
  }
  return metrics.elidedText(text.left(cut), Qt::ElideRight, room) + text.mid(cut);
}

PathComboBox::PathComboBox(QWidget* parent) : QComboBox(parent) {
  connect(this, &QComboBox::currentTextChanged, this,
          [this](const QString& text) { setToolTip(text); });
}

QString PathComboBox::shownText() const {
  QStyleOptionComboBox option;
  initStyleOption(&option);
  if (currentIndex() < 0) return placeholderText();
  // The label is drawn a pixel inside the edit field on each side.
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  return elidedPath(option.currentText, fontMetrics(), field.width() - 2);
}

void PathComboBox::paintEvent(QPaintEvent*) {
  // As QComboBox draws itself, with the shortened text.
  QStylePainter painter(this);
  painter.setPen(palette().color(QPalette::Text));
  QStyleOptionComboBox option;
  initStyleOption(&option);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  if (currentIndex() < 0 && !placeholderText().isEmpty()) {
    option.palette.setBrush(QPalette::ButtonText, option.palette.placeholderText());
  }
  option.currentText = shownText();
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

class DialogWindow : public QDialog {
 public:
  using QDialog::QDialog;
  std::function<void(CloseReason)> closeRequested;
  std::function<void(QSize)> resized;

  void reject() override {
    if (closeRequested) {
      runGuarded([&] { closeRequested(CloseReason::Escape); });
    } else {
      QDialog::reject();
    }
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QDialog::resizeEvent(event);
    if (resized) runGuarded([&] { resized(event->size()); });
  }

  void closeEvent(QCloseEvent* event) override {
    if (!closeRequested || !isVisible()) {
      QDialog::closeEvent(event);
      return;
    }
    event->ignore();
    runGuarded([&] { closeRequested(CloseReason::CloseBox); });
  }
};

class QtControl : public Control {
 public:
  QtControl(int id, ControlKind kind, QWidget* widget, std::function<QRect(const Rect&)> toPixels)
      : id_(id), kind_(kind), widget_(widget), toPixels_(std::move(toPixels)) {}

  int id() const override { return id_; }

  std::string text() const override {
    if (auto* edit = qobject_cast<QLineEdit*>(widget_)) return fromQ(edit->text());
    if (auto* label = qobject_cast<QLabel*>(widget_)) return fromQ(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(widget_)) return fromQ(button->text());
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) return fromQ(combo->currentText());
    return {};
  }

  void setText(const std::string& text) override {
    const QString q = toQ(text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget_)) {
      // A stored value longer than the field's positions is shown whole.
      if (rule_.positions > 0) edit->setMaxLength(std::max<int>(rule_.positions, q.size()));
      edit->setText(q);
    } else if (auto* label = qobject_cast<QLabel*>(widget_)) {
      label->setText(q);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget_)) {
      button->setText(q);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
      combo->setPlaceholderText(q);
    }
  }

  bool checked() const override {
    auto* button = qobject_cast<QAbstractButton*>(widget_);
    return button != nullptr && button->isChecked();
  }

  void setChecked(bool on) override {
    if (auto* button = qobject_cast<QAbstractButton*>(widget_)) button->setChecked(on);
  }

  std::vector<std::string> items() const override {
    std::vector<std::string> out;
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
      for (int i = 0; i < combo->count(); ++i) out.push_back(fromQ(combo->itemText(i)));
    } else if (auto* list = qobject_cast<QListWidget*>(widget_)) {
      for (int i = 0; i < list->count(); ++i) out.push_back(fromQ(list->item(i)->text()));
    }
    return out;
  }

  void setItems(const std::vector<std::string>& items) override {
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
      combo->clear();
      for (const std::string& item : items) combo->addItem(toQ(item));
      combo->setCurrentIndex(-1);
    } else if (auto* list = qobject_cast<QListWidget*>(widget_)) {
      list->clear();
      for (const std::string& item : items) list->addItem(toQ(item));
    }
  }

  int selection() const override {
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) return combo->currentIndex();
    if (auto* list = qobject_cast<QListWidget*>(widget_)) return list->currentRow();
    return -1;
  }

  void setSelection(int index) override {
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) combo->setCurrentIndex(index);
    if (auto* list = qobject_cast<QListWidget*>(widget_)) list->setCurrentRow(index);
  }

  bool visible() const override { return widget_ && !widget_->isHidden(); }
  void setVisible(bool on) override {
    if (widget_) widget_->setVisible(on);
  }
  bool enabled() const override { return widget_ && widget_->isEnabled(); }
  void setEnabled(bool on) override {
    if (widget_) widget_->setEnabled(on);
  }
  void setFocus() override {
    if (widget_) widget_->setFocus();
  }

  void place(int x, int y, int width, int height) override {
    if (widget_) widget_->setGeometry(toPixels_({x, y, width, height}));
  }

  int progress() const override {
    auto* bar = qobject_cast<QProgressBar*>(widget_);
    return bar != nullptr ? bar->value() : 0;
  }
  void setProgress(int permille) override {
    if (auto* bar = qobject_cast<QProgressBar*>(widget_))
      bar->setValue(std::clamp(permille, 0, 1000));
  }

  void setInputRule(const InputRule& rule) override {
    rule_ = rule;
    auto* edit = qobject_cast<QLineEdit*>(widget_);
    if (edit == nullptr) return;
    if (rule.positions > 0) edit->setMaxLength(std::max<int>(rule.positions, edit->text().size()));
    if (rule.digitsOnly) {
      edit->setValidator(
          new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
  }

 private:
  int id_;
  ControlKind kind_;
  QPointer<QWidget> widget_;  // gone with a window its owner took along
  std::function<QRect(const Rect&)> toPixels_;
  InputRule rule_;
};

namespace {

QWidget* makeWidget(const ControlTemplate& c, QWidget* parent) {
  const QString caption = toQ(c.caption);
  switch (c.kind) {
    case ControlKind::Label: {
      auto* label = new QLabel(caption, parent);
      label->setWordWrap(c.has(ctl::kWraps));
      label->setAlignment(c.has(ctl::kCentered) ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ControlKind::Edit:
      return new QLineEdit(parent);
    case ControlKind::PushButton: {
      auto* button = new QPushButton(caption, parent);
      button->setDefault(c.has(ctl::kDefaultButton));
      button->setAutoDefault(false);
      return button;
    }
    case ControlKind::CheckBox:
      return new QCheckBox(caption, parent);
    case ControlKind::RadioButton:
      return new QRadioButton(caption, parent);
    case ControlKind::DropDownList:
      return new PathComboBox(parent);
    case ControlKind::ListBox:
      return new QListWidget(parent);
    case ControlKind::GridList:
      break;  // made with its grid
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 1000);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::Picture: {
      auto* picture = new QLabel(parent);
      const QIcon icon = parent->style()->standardIcon(QStyle::SP_MessageBoxCritical);
      picture->setPixmap(icon.pixmap(c.rect.width, c.rect.height));
      return picture;
    }
  }
  return new QWidget(parent);
}

}  // namespace

QtDialog::QtDialog(const DialogTemplate& tmpl, QWidget* parent)
    : tmpl_(tmpl), window_(new DialogWindow(parent)) {
  QDialog& w = *window_;
  w.setObjectName(QString::fromStdString(tmpl.name));
  w.setWindowTitle(toQ(tmpl.title));
  w.setFont(templateFont(tmpl));
  if (!tmpl.has(dlg::kCaption)) {
    w.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
  } else if (tmpl.has(dlg::kMaximizeBox)) {
    w.setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  }
  if (tmpl.has(dlg::kBlackOnWhite)) {
    QPalette palette = w.palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    w.setPalette(palette);
    w.setAutoFillBackground(true);
  }
  const DialogUnits units = DialogUnits::of(w.font());
  auto toPixels = [pixels = tmpl.has(dlg::kPixels), units](const Rect& r) {
    return pixels ? QRect(r.x, r.y, r.width, r.height) : units.toPixels(r);
  };
  const QRect size = toPixels({0, 0, tmpl.width, tmpl.height});
  if (tmpl.has(dlg::kResizable)) {
    w.resize(size.size());
    w.setMinimumSize(tmpl.minWidth > 0 ? toPixels({0, 0, tmpl.minWidth, tmpl.minHeight}).size()
                                       : size.size());
  } else {
    w.setFixedSize(size.size());
  }
  if (tmpl.has(dlg::kThinBorder))
    w.setStyleSheet(QStringLiteral("QDialog { border: 1px solid black; }"));

  QLabel* pendingBuddy = nullptr;
  for (const ControlTemplate& c : tmpl.controls) {
    QWidget* widget = nullptr;
    if (c.kind == ControlKind::GridList) {
      auto grid = std::make_unique<QtGrid>(&w);
      widget = grid->view();
      if (c.id != kNoId && !grids_.count(c.id)) grids_[c.id] = std::move(grid);
    } else {
      widget = makeWidget(c, &w);
    }
    widget->setGeometry(toPixels(c.rect));
    widgets_.push_back(widget);
    if (pendingBuddy) pendingBuddy->setBuddy(widget);
    auto* label = qobject_cast<QLabel*>(widget);
    pendingBuddy = label && c.caption.find('&') != std::string::npos ? label : nullptr;
    if (c.id == kNoId) continue;
    widget->setObjectName(QStringLiteral("ctl%1").arg(c.id));
    const int id = c.id;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      QObject::connect(button, &QAbstractButton::clicked, [this, id] {
        runGuarded([&] {
          if (onClicked) onClicked(id);
        });
      });
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      QObject::connect(edit, &QLineEdit::textEdited, [this, id] {
        runGuarded([&] {
          if (onChanged) onChanged(id);
        });
      });
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      QObject::connect(combo, &QComboBox::activated, [this, id] {
        runGuarded([&] {
          if (onChanged) onChanged(id);
        });
      });
    }
    if (!controls_.count(id))
      controls_[id] = std::make_unique<QtControl>(id, c.kind, widget, toPixels);
  }
  window_->closeRequested = [this](CloseReason reason) { requestClose(reason); };
  if (tmpl.has(dlg::kResizable)) {
    window_->resized = [this, units, pixels = tmpl.has(dlg::kPixels)](QSize size) {
      if (!onResized) return;
      if (pixels) {
        onResized(size.width(), size.height());
      } else {
        onResized((size.width() * 4 + units.charWidth / 2) / units.charWidth,
                  (size.height() * 8 + units.charHeight / 2) / units.charHeight);
      }
    };
  }
}

QtDialog::~QtDialog() {
  delete window_.data();
}

Control* QtDialog::control(int id) {
  if (!window_) return nullptr;
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second.get();
}

GridList* QtDialog::gridList(int id) {
  if (!window_) return nullptr;
  const auto it = grids_.find(id);
  return it == grids_.end() ? nullptr : it->second.get();
}

QtGrid* QtDialog::qtGrid(int id) const {
  const auto it = grids_.find(id);
  return it == grids_.end() ? nullptr : it->second.get();
}

void QtDialog::setTitle(const std::string& title) {
  if (window_) window_->setWindowTitle(toQ(title));
}

int QtDialog::runModal() {
  if (!window_) return 0;
  // A template without the centred style opens where it says, at its owner's client origin
  // (ours give no offset); Qt would centre it over the owner otherwise.
  if (!tmpl_.has(dlg::kCentered)) {
    if (QWidget* owner = window_->parentWidget()) window_->move(owner->mapToGlobal(QPoint(0, 0)));
  }
  modal_ = true;
  const int result = window_->exec();
  modal_ = false;
  rethrowPendingQuit();
  return result;
}

void QtDialog::showModeless() {
  if (!window_) return;
  window_->show();
  if (tmpl_.has(dlg::kCentered) && window_->parentWidget() == nullptr) {
    if (QScreen* screen = window_->screen()) {
      QRect frame = window_->frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      window_->move(frame.topLeft());
    }
  }
}

void QtDialog::end(int result) {
  if (!window_) return;
  if (modal_) {
    window_->done(result);
  } else {
    window_->hide();
  }
}

void QtDialog::refresh() {
  if (!window_ || !window_->isVisible()) return;
  QWindow* handle = window_->windowHandle();
  if (handle != nullptr && !handle->isExposed()) {
    // The window system shows a new window a moment after show(); until its first expose
    // nothing painted reaches the screen. Waits for it, without taking user input.
    QEventLoop exposed;
    ExposeWatch watch(handle, [&exposed] { exposed.quit(); });
    QTimer::singleShot(kExposeWaitMilliseconds, &exposed, &QEventLoop::quit);
    if (!handle->isExposed()) exposed.exec(QEventLoop::ExcludeUserInputEvents);
  }
  window_->repaint();
  // Hands the painted window to the window system before the caller goes on working.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool QtDialog::shown() const {
  return window_ && window_->isVisible();
}

QDialog* QtDialog::window() const {
  return window_.data();
}

QWidget* QtDialog::widgetAt(std::size_t index) const {
  return index < widgets_.size() ? widgets_[index] : nullptr;
}

}  // namespace zandor
