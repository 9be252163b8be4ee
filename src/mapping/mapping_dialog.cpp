#include "mapping/mapping_dialog.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>

#include "base/paths.h"
#include "base/text.h"
#include "mapping/auto_mapping.h"
#include "mapping/field_list.h"
#include "mapping/import_options_dialog.h"
#include "mapping/mapping_profile.h"
#include "mapping/structure_readers.h"
#include "mapping/table_helpers.h"
#include "resources/dialog_template.h"
#include "resources/ids/mapping_ids.h"
#include "state/app_state.h"
#include "ui/ui.h"

namespace zandor {

namespace {

using namespace mapping_ids;
constexpr int kButtons[] = {kAutoMap, kOptions, kSave, kStartImport, kClose};

// Distances of the template from its bottom edge: the list ends 25 units above it, the
// buttons start 17 units above it.
constexpr int kListBottomGap = 25;
constexpr int kButtonBottomGap = 17;

std::optional<int> wholeNumber(const Value& value) {
  if (!value.isNumber()) return std::nullopt;
  const Number& n = value.asNumber();
  if (n.isInteger) {
    if (n.integer < -1000000 || n.integer > 1000000) return std::nullopt;
    return static_cast<int>(n.integer);
  }
  if (!(n.real > -1e6 && n.real < 1e6) || n.real != static_cast<int>(n.real)) return std::nullopt;
  return static_cast<int>(n.real);
}

// A typed text is a number only while the cell still holds its initial number: the edit is
// then numeric. Otherwise it stays text and changes nothing.
Value typedValue(const Value& cell, const std::string& typed) {
  if (!cell.isNumber()) return Value::text(typed);
  const std::string digits = trimmed(typed);
  int n = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
    return Value::text(typed);
  }
  return Value::integer(n);
}

std::string textOf(const Value& value) {
  return value.isText() ? value.asText() : std::string();
}

class MappingDialog {
 public:
  MappingDialog(AppState& state, Dialog& dialog, const ImportStarter& startImport)
      : state_(state), dialog_(dialog), startImport_(startImport), model_(state.aFields) {}

  void run() {
    grid_ = dialog_.gridList(kFieldList);
    sortBy(field_slot::kFieldNo, true);
    if (grid_ != nullptr) {
      grid_->setColumns(fieldListColumns());
      grid_->setModel(&model_);
      grid_->setDropDownEntries(dropDownEntries());
      grid_->setCurrentRow(state_.aFields.empty() ? -1 : 0);
      grid_->onHeaderClicked = [this](int column) { headerClicked(column); };
      grid_->highlightedEntry = [this](int row, int) { return highlighted(row); };
      grid_->onCellEdited = [this](const CellEdit& edit) { edited(edit); };
    }
    dialog_.onClicked = [this](int id) { clicked(id); };
    dialog_.onResized = [this](int width, int height) { layOut(width, height); };
    // A run in progress keeps the dialog open.
    dialog_.onCloseRequest = [this](CloseReason) { return !importRunning_; };
    if (const DialogTemplate* tmpl = findDialogTemplate(tpl::kMapping)) {
      layOut(tmpl->width, tmpl->height);
    }
    dialog_.runModal();
  }

 private:
  // Entry k stands for the column of row k of the column table.
  std::vector<std::string> dropDownEntries() const {
    const int slot = state_.lHeader ? column_slot::kColHeading : column_slot::kColLetters;
    std::vector<std::string> entries;
    for (const ColumnRow& column : state_.aColumns) {
      entries.push_back(textOf(column[static_cast<std::size_t>(slot)]));
    }
    return entries;
  }

  // Only a cell that still holds its initial number finds its entry.
  int highlighted(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= state_.aFields.size()) return -1;
    const std::optional<int> n =
        wholeNumber(state_.aFields[static_cast<std::size_t>(row)][field_slot::kColCaption]);
    if (!n) return -1;
    for (std::size_t i = 0; i < state_.aColumns.size(); ++i) {
      if (wholeNumber(state_.aColumns[i][column_slot::kColNo]) == n) return static_cast<int>(i);
    }
    return -1;
  }

  void edited(const CellEdit& edit) {
    if (edit.column != kChoiceColumn || edit.row < 0 ||
        static_cast<std::size_t>(edit.row) >= state_.aFields.size()) {
      return;
    }
    FieldRow& row = state_.aFields[static_cast<std::size_t>(edit.row)];
    Value value;
    if (edit.entry) {
      if (*edit.entry < 0 || static_cast<std::size_t>(*edit.entry) >= state_.aColumns.size())
        return;  // no column table: nothing to choose
      value = state_.aColumns[static_cast<std::size_t>(*edit.entry)][column_slot::kColNo];
    } else {
      value = typedValue(row[field_slot::kColCaption], edit.typed);
    }
    FELDPOSTEN(state_, row, value, edit.key);
    if (grid_ != nullptr) grid_->refresh();
  }

  void sortBy(int slot, bool ascending) {
    const int current = grid_ != nullptr ? grid_->currentRow() : -1;
    sortSlot_ = slot;
    ascending_ = ascending;
    const int followed = sortFields(state_.aFields, slot, ascending, current);
    if (grid_ != nullptr) {
      grid_->refresh();
      grid_->setCurrentRow(followed);
    }
  }

  void headerClicked(int column) {
    if (importRunning_) return;
    sortBy(column, column == sortSlot_ ? !ascending_ : true);
  }

  void layOut(int width, int height) {
    const MappingLayout layout = mappingLayout(width, height);
    OCTRL(dialog_, kFieldList).place(0, 0, layout.listWidth, layout.listHeight);
    const DialogTemplate* tmpl = findDialogTemplate(tpl::kMapping);
    for (int id : kButtons) {
      const ControlTemplate* c = tmpl != nullptr ? tmpl->control(id) : nullptr;
      if (c == nullptr) continue;
      OCTRL(dialog_, id).place(c->rect.x, layout.buttonTop, c->rect.width, c->rect.height);
    }
  }

  void startImport() {
    // The run shows its own windows and asks its own questions; a second click while it
    // runs starts nothing.
    if (importRunning_ || !startImport_) return;
    importRunning_ = true;
    struct Done {
      bool& flag;
      ~Done() { flag = false; }
    } done{importRunning_};
    startImport_(state_);
    if (grid_ != nullptr) grid_->refresh();
  }

  void clicked(int id) {
    if (importRunning_) return;
    switch (id) {
      case kAutoMap:
        AUTOMATISCHZUORDNEN(state_);
        if (grid_ != nullptr) grid_->refresh();
        dialog_.refresh();
        break;
      case kOptions:
        EINLESEOPTION(state_);
        break;
      case kSave:
        ZUORDNUNGSPEICHERN(state_);
        break;
      case kStartImport:
        startImport();
        break;
      case kClose:
        dialog_.requestClose(CloseReason::Button);
        break;
      default:
        break;
    }
  }

  AppState& state_;
  Dialog& dialog_;
  const ImportStarter& startImport_;
  FieldListModel model_;
  GridList* grid_ = nullptr;
  int sortSlot_ = -1;
  bool ascending_ = true;
  bool importRunning_ = false;
};

}  // namespace

bool FELDPOSTEN(AppState& state, FieldRow& row, const Value& value, int key) {
  if (key == 27) return true;
  const std::optional<int> n = wholeNumber(value);
  if (!n) return true;
  if (*n == 0) {
    row[field_slot::kColCaption] = Value::text("");
    row[field_slot::kColLetters] = Value::text("");
    row[field_slot::kColNo] = Value::text("");
    return true;
  }
  // Only columns the sheet has; the list offers no others, and a typed one beyond them
  // would map a field to nothing.
  if (*n < 0 || static_cast<std::size_t>(*n) >= state.aColumns.size()) return true;
  const ColumnRow& column = state.aColumns[static_cast<std::size_t>(*n)];
  row[field_slot::kColCaption] =
      state.lHeader ? column[column_slot::kColHeading] : Value::text(EXCELSPALTE(*n));
  row[field_slot::kColLetters] = Value::text(EXCELSPALTE(*n));
  row[field_slot::kColNo] = Value::integer(*n);
  return true;
}

MappingLayout mappingLayout(int width, int height) {
  MappingLayout layout;
  layout.listWidth = std::max(0, width);
  layout.listHeight = std::max(0, height - kListBottomGap);
  layout.buttonTop = std::max(0, height - kButtonBottomGap);
  return layout;
}

bool ZUORDNUNG(AppState& state, WorkAreas& areas, const ImportStarter& startImport) {
  if (state.ui == nullptr) return false;
  if (!fileExists(state.cXlsFile)) {
    state.ui->information("keine g\xfcltige Excel-Datei ausgew\xe4hlt:\r\n" + state.cXlsFile);
    return false;
  }
  if (!fileExists(state.cDbfFile)) {
    state.ui->information("keine g\xfcltige dBase-Datei ausgew\xe4hlt");
    return false;
  }
  if (state.aFields.empty()) state.aFields = STRUCSDBF(state, areas);
  if (state.aColumns.empty()) state.aColumns = STRUCSXLS(state);
  if (state.aFields.empty()) return false;

  std::unique_ptr<Dialog> dialog = state.ui->makeDialog(tpl::kMapping);
  if (!dialog) return false;
  MappingDialog(state, *dialog, startImport).run();
  return true;
}

}  // namespace zandor
