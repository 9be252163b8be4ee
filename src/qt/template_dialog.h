#pragma once

#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QPointer>
#include <QRect>
#include <map>
#include <memory>

#include "resources/dialog_template.h"
#include "ui/dialog.h"

namespace zandor {

// Dialog units to pixels from a font's metrics, as Windows converts them: x = dlu * average
// character width / 4, y = dlu * character height / 8.
struct DialogUnits {
  int charWidth = 6;
  int charHeight = 13;

  static DialogUnits of(const QFont& font);
  QRect toPixels(const Rect& r) const;
  int x(int dlu) const;
  int y(int dlu) const;
};

// The font a template asks for; where that family is missing, the desktop's sans serif.
QFont templateFont(const DialogTemplate& tmpl);

// A drop-down list whose closed box shows a long entry (a path) shortened inside its
// folders, so that the file name at its end stays in view; the whole entry is its tooltip.
// Entries and selection keep their full texts.
class PathComboBox : public QComboBox {
 public:
  explicit PathComboBox(QWidget* parent);
  // The text the closed box shows at its present width.
  QString shownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The text shortened to the width: the folders cut at their end ("…"), the file name whole
// where it fits, else cut in its middle.
QString elidedPath(const QString& text, const QFontMetrics& metrics, int width);

class DialogWindow;
class QtControl;
class QtGrid;

// A template rendered as Qt widgets behind the toolkit-neutral interface. Each control's
// widget carries the object name "ctl" followed by its id.
class QtDialog : public Dialog {
 public:
  QtDialog(const DialogTemplate& tmpl, QWidget* parent);
  // The grid list of the id as the Qt front end has it, or nullptr.
  QtGrid* qtGrid(int id) const;
  ~QtDialog() override;

  Control* control(int id) override;
  GridList* gridList(int id) override;
  void setTitle(const std::string& title) override;
  int runModal() override;
  void showModeless() override;
  void end(int result) override;
  void refresh() override;
  bool shown() const override;

  QDialog* window() const;
  const DialogTemplate& tmpl() const { return tmpl_; }
  // The widget of a control of the template (controls without id included), by position.
  QWidget* widgetAt(std::size_t index) const;

 private:
  const DialogTemplate& tmpl_;
  // Owned here, unless the window it belongs to goes first and takes it along.
  QPointer<DialogWindow> window_;
  std::map<int, std::unique_ptr<QtControl>> controls_;
  std::map<int, std::unique_ptr<QtGrid>> grids_;
  std::vector<QWidget*> widgets_;
  bool modal_ = false;
};

}  // namespace zandor
