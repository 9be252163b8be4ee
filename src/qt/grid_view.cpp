#include "qt/grid_view.h"

#include <QAbstractItemView>
#include <QAbstractTableModel>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTimer>

#include "base/text.h"
#include "qt/qt_text.h"
#include "ui/event_guard.h"

namespace zandor {

// The behaviour's rows as a Qt table model; nothing is copied.
class GridTableModel : public QAbstractTableModel {
 public:
  GridTableModel(const std::vector<GridColumn>& columns, QObject* parent)
      : QAbstractTableModel(parent), columns_(columns) {}

  void setSource(const GridModel* source) {
    beginResetModel();
    source_ = source;
    endResetModel();
  }
  void reload() {
    beginResetModel();
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() || source_ == nullptr ? 0 : source_->rowCount();
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (source_ == nullptr || !index.isValid()) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
      return toQ(trimRight(source_->cell(index.row(), index.column())));
    }
    return {};
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(columns_.size())) {
      return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) return toQ(columns_[static_cast<std::size_t>(section)].header);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
    return {};
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (editable(index.column())) f |= Qt::ItemIsEditable;
    return f;
  }
  bool editable(int column) const {
    return column >= 0 && column < static_cast<int>(columns_.size()) &&
           columns_[static_cast<std::size_t>(column)].editable;
  }

 private:
  const std::vector<GridColumn>& columns_;
  const GridModel* source_ = nullptr;
};

namespace {

// How an editor ended, before the rule of the drop-down list turns it into an edit.
enum class EditorEnd { Entry, Escape, Enter, FocusLost };

// The in-cell editor: a drop-down list into which a number may be typed.
class ChoiceEditor : public QComboBox {
 public:
  ChoiceEditor(QtGrid& grid, int row, int column, QWidget* parent)
      : QComboBox(parent), grid_(grid), row_(row), column_(column) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(20);
    for (const std::string& entry : grid.entries()) addItem(toQ(entry));
    lineEdit()->installEventFilter(this);
    view()->installEventFilter(this);
    connect(this, &QComboBox::activated, this,
            [this](int index) { conclude(EditorEnd::Entry, index); });
  }

  void start(int highlighted, const QString& text, bool withList) {
    highlighted_ = highlighted < count() ? highlighted : -1;
    setCurrentIndex(highlighted_);
    lineEdit()->setText(text);
    lineEdit()->selectAll();
    if (withList) {
      QPointer<ChoiceEditor> self(this);
      QTimer::singleShot(0, this, [self] {
        if (self) self->showPopup();
      });
    }
  }

  void showPopup() override {
    listShown_ = true;
    escaped_ = false;
    QComboBox::showPopup();
    // The list opens on the cell's entry, or on none.
    view()->setCurrentIndex(highlighted_ >= 0 ? model()->index(highlighted_, 0) : QModelIndex());
    if (highlighted_ < 0) view()->clearSelection();
  }

  void hidePopup() override {
    QComboBox::hidePopup();
    // A chosen entry reports itself right after this; anything else is decided once the
    // list has gone.
    QPointer<ChoiceEditor> self(this);
    QTimer::singleShot(0, this, [self] {
      if (self) self->conclude(self->escaped_ ? EditorEnd::Escape : EditorEnd::FocusLost);
    });
  }

  // The focus went elsewhere (the view's commit on focus loss comes here too).
  void focusLost() {
    if (view()->isVisible()) return;
    conclude(EditorEnd::FocusLost);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (watched == view()) {
        if (key == Qt::Key_Escape) escaped_ = true;
        return false;
      }
      if (key == Qt::Key_Escape) {
        conclude(EditorEnd::Escape);
        return true;
      }
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        conclude(EditorEnd::Enter);
        return true;
      }
    } else if (event->type() == QEvent::FocusOut && watched == lineEdit()) {
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason != Qt::PopupFocusReason) focusLost();
    }
    return QComboBox::eventFilter(watched, event);
  }

 private:
  void conclude(EditorEnd how, int index = -1) {
    if (done_) return;
    done_ = true;
    CellEdit edit;
    edit.row = row_;
    edit.column = column_;
    switch (how) {
      case EditorEnd::Entry:
        edit.entry = droppedEntry(DropDownEnd::Clicked, index);
        break;
      case EditorEnd::Escape:
        edit.key = grid_key::kEscape;
        break;
      case EditorEnd::Enter:
      case EditorEnd::FocusLost:
        if (listShown_) {
          const int highlighted =
              view()->currentIndex().isValid() ? view()->currentIndex().row() : -1;
          edit.entry = droppedEntry(
              how == EditorEnd::Enter ? DropDownEnd::Enter : DropDownEnd::FocusLost, highlighted);
        } else {
          edit.typed = fromQ(lineEdit()->text());
        }
        break;
    }
    grid_.deliver(edit);
    if (auto* delegate =
            qobject_cast<QAbstractItemDelegate*>(grid_.view()->itemDelegateForColumn(column_))) {
      emit delegate->closeEditor(this, QAbstractItemDelegate::NoHint);
    }
  }

  QtGrid& grid_;
  int row_;
  int column_;
  int highlighted_ = -1;
  bool listShown_ = false;
  bool escaped_ = false;
  bool done_ = false;
};

}  // namespace

// Draws the cells of an editable column with a drop-down button and makes their editors.
class ChoiceDelegate : public QStyledItemDelegate {
 public:
  ChoiceDelegate(QtGrid& grid, QObject* parent) : QStyledItemDelegate(parent), grid_(grid) {}

  // Whether the next editor opens with its list shown, and the entry it highlights.
  bool withList = false;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex& index) const override {
    auto* editor = new ChoiceEditor(grid_, index.row(), index.column(), parent);
    const int highlighted =
        grid_.highlightedEntry ? grid_.highlightedEntry(index.row(), index.column()) : -1;
    editor->start(highlighted, withList ? QString() : index.data().toString(), withList);
    const_cast<ChoiceDelegate*>(this)->withList = false;
    return editor;
  }

  void setEditorData(QWidget*, const QModelIndex&) const override {}

  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex&) const override {
    if (auto* choice = dynamic_cast<ChoiceEditor*>(editor)) choice->focusLost();
  }

  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex&) const override {
    editor->setGeometry(option.rect);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionComboBox box;
    box.rect = option.rect;
    box.state = option.state | QStyle::State_Enabled;
    box.palette = option.palette;
    box.currentText = index.data().toString();
    box.editable = false;
    box.frame = false;
    QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
    if (option.state & QStyle::State_Selected) {
      painter->fillRect(option.rect, option.palette.highlight());
    }
    style->drawComplexControl(QStyle::CC_ComboBox, &box, painter, option.widget);
    style->drawControl(QStyle::CE_ComboBoxLabel, &box, painter, option.widget);
  }

  // The part of a cell that opens the list.
  static QRect buttonRect(const QRect& cell, const QWidget* widget) {
    QStyleOptionComboBox box;
    box.rect = cell;
    box.editable = false;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    return style->subControlRect(QStyle::CC_ComboBox, &box, QStyle::SC_ComboBoxArrow, widget);
  }

 private:
  QtGrid& grid_;
};

namespace {

// Opens the list on a click on a cell's drop-down button, and on Alt+Down or F4.
class DropDownOpener : public QObject {
 public:
  DropDownOpener(QtGrid& grid, GridTableModel& model)
      : QObject(grid.view()), grid_(grid), model_(model) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    QTableView* view = grid_.view();
    if (event->type() == QEvent::MouseButtonPress && watched == view->viewport()) {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const QModelIndex index = view->indexAt(mouse->position().toPoint());
      if (mouse->button() == Qt::LeftButton && index.isValid() && model_.editable(index.column()) &&
          ChoiceDelegate::buttonRect(view->visualRect(index), view)
              .contains(mouse->position().toPoint())) {
        grid_.openDropDown(index.row(), index.column());
        return true;
      }
    } else if (event->type() == QEvent::KeyPress && watched == view) {
      const auto* key = static_cast<QKeyEvent*>(event);
      const QModelIndex index = view->currentIndex();
      const bool opens = key->key() == Qt::Key_F4 ||
                         (key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier));
      if (opens && index.isValid() && model_.editable(index.column())) {
        grid_.openDropDown(index.row(), index.column());
        return true;
      }
    }
    return false;
  }

 private:
  QtGrid& grid_;
  GridTableModel& model_;
};

}  // namespace

QtGrid::QtGrid(QWidget* parent) : view_(new QTableView(parent)) {
  model_ = new GridTableModel(columns_, view_);
  delegate_ = new ChoiceDelegate(*this, view_);
  view_->setModel(model_);
  view_->setShowGrid(true);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  QHeaderView* header = view_->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignCenter);
  header->setSectionsClickable(true);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  QObject::connect(header, &QHeaderView::sectionClicked, view_, [this](int section) {
    runGuarded([&] {
      // An edit still open belongs to its row as it stands now.
      finishEdit();
      if (onHeaderClicked) onHeaderClicked(section);
    });
  });
  auto* opener = new DropDownOpener(*this, *model_);
  view_->viewport()->installEventFilter(opener);
  view_->installEventFilter(opener);
}

QtGrid::~QtGrid() = default;

void QtGrid::setColumns(const std::vector<GridColumn>& columns) {
  columns_ = columns;
  model_->reload();
  for (int c = 0; c < static_cast<int>(columns_.size()); ++c) {
    view_->setItemDelegateForColumn(c, columns_[static_cast<std::size_t>(c)].editable
                                           ? static_cast<QAbstractItemDelegate*>(delegate_)
                                           : nullptr);
  }
  fitWidths();
}

void QtGrid::setModel(const GridModel* model) {
  model_->setSource(model);
  fitWidths();
}

void QtGrid::setDropDownEntries(const std::vector<std::string>& entries) {
  entries_ = entries;
}

void QtGrid::refresh() {
  const int row = currentRow();
  const int column = std::max(0, view_->currentIndex().column());
  model_->reload();
  fitWidths();
  if (row >= 0 && row < model_->rowCount()) view_->setCurrentIndex(model_->index(row, column));
}

int QtGrid::currentRow() const {
  const QModelIndex index = view_->currentIndex();
  return index.isValid() ? index.row() : -1;
}

void QtGrid::setCurrentRow(int row) {
  if (row < 0 || row >= model_->rowCount()) {
    view_->setCurrentIndex({});
    return;
  }
  const int column = std::max(0, view_->currentIndex().column());
  view_->setCurrentIndex(model_->index(row, column));
  view_->scrollTo(model_->index(row, column));
}

void QtGrid::deliver(const CellEdit& edit) {
  // The behaviour redraws the list, which takes the editor away: it hears of the edit only
  // after the editor has closed, unless the rows are about to move.
  pending_ = edit;
  QTimer::singleShot(0, view_, [this] {
    if (!pending_) return;
    const CellEdit ended = *pending_;
    pending_.reset();
    runGuarded([&] {
      if (onCellEdited) onCellEdited(ended);
    });
  });
}

void QtGrid::finishEdit() {
  if (auto* editor = dynamic_cast<ChoiceEditor*>(view_->indexWidget(view_->currentIndex()))) {
    editor->focusLost();
  }
  if (!pending_) return;
  const CellEdit ended = *pending_;
  pending_.reset();
  if (onCellEdited) onCellEdited(ended);
}

void QtGrid::openDropDown(int row, int column) {
  const QModelIndex index = model_->index(row, column);
  if (!index.isValid() || !model_->editable(column)) return;
  view_->setCurrentIndex(index);
  delegate_->withList = true;
  view_->edit(index);
  delegate_->withList = false;
}

void QtGrid::fitWidths() {
  QHeaderView* header = view_->horizontalHeader();
  for (int c = 0; c < static_cast<int>(columns_.size()); ++c) {
    const int width = columns_[static_cast<std::size_t>(c)].width;
    if (width > 0) {
      header->resizeSection(c, width);
    } else {
      view_->resizeColumnToContents(c);
    }
  }
}

}  // namespace zandor
