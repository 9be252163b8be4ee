#include "mapping/import_options_dialog.h"

#include <memory>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "resources/dialog_template.h"
#include "resources/ids/import_options_ids.h"
#include "state/app_state.h"
#include "ui/ui.h"

namespace zandor {

namespace {

using namespace import_options_ids;

constexpr const char* kNoStopColumn =
    "Bitte w\xe4hlen Sie zun\xe4"
    "chst ein Feld aus, welches immer einen Wert enth\xe4lt, da dieses als Abbruchkriterium "
    "f\xfcr den Einlesevorgang ben\xf6tigt wird!";

std::string textOf(const Value& value) {
  return value.isText() ? value.asText() : std::string();
}

// Entry k is spreadsheet column k: the column table without its leading row.
std::vector<std::string> choices(const AppState& state) {
  const int slot = state.lHeader ? column_slot::kColHeading : column_slot::kColLetters;
  std::vector<std::string> out;
  for (std::size_t i = 1; i < state.aColumns.size(); ++i) {
    out.push_back(textOf(state.aColumns[i][static_cast<std::size_t>(slot)]));
  }
  return out;
}

class ImportOptionsDialog {
 public:
  ImportOptionsDialog(AppState& state, Dialog& dialog)
      : state_(state), dialog_(dialog), kind_(tableKindOf(state.cDbfFile)) {}

  void run() {
    const std::vector<std::string> entries = choices(state_);
    Control& list = OCTRL(dialog_, kStopColumn);
    list.setItems(entries);
    list.setText("(Bitte w\xe4hlen)");
    // The stored column itself, not the first one with an equal heading: reopening and
    // saving must not move the stop column.
    const int stop = state_.nStopColumn;
    if (stop >= 1 && stop <= static_cast<int>(entries.size())) list.setSelection(stop - 1);

    Control& box = OCTRL(dialog_, kAutoNumber);
    if (kind_ == TableKind::Other) {
      box.setVisible(false);
    } else {
      box.setText(kind_ == TableKind::Address ? "Kd.-Nr. autom. generieren"
                                              : "Art.-Nr. autom. generieren");
      box.setChecked(autoNumber());
    }
    dialog_.onClicked = [this](int id) { clicked(id); };
    dialog_.onChanged = [this](int id) {
      if (id == kStopColumn) takeSelection();
    };
    dialog_.runModal();
  }

 private:
  bool& autoNumber() { return kind_ == TableKind::Address ? state_.lAutoAdrNr : state_.lAutoArtNr; }

  bool takeSelection() {
    const int index = OCTRL(dialog_, kStopColumn).selection();
    if (index < 0) return false;
    state_.nStopColumn = index + 1;
    return true;
  }

  void clicked(int id) {
    switch (id) {
      case kAutoNumber:
        autoNumber() = OCTRL(dialog_, kAutoNumber).checked();
        break;
      case kSave:
        if (takeSelection()) {
          dialog_.end(kSave);
        } else if (state_.ui != nullptr) {
          state_.ui->information(kNoStopColumn);
        }
        break;
      case kCancel:
        dialog_.requestClose(CloseReason::Button);
        break;
      default:
        break;
    }
  }

  AppState& state_;
  Dialog& dialog_;
  TableKind kind_;
};

}  // namespace

TableKind tableKindOf(const std::string& tableFile) {
  const std::string name = upperAZ(baseNamePart(tableFile));
  if (beginsWith(name, "ADRESSEN")) return TableKind::Address;
  if (beginsWith(name, "ARTIKEL")) return TableKind::Article;
  return TableKind::Other;
}

bool EINLESEOPTION(AppState& state) {
  if (state.ui == nullptr) return true;
  std::unique_ptr<Dialog> dialog = state.ui->makeDialog(tpl::kImportOptions);
  if (!dialog) return true;
  ImportOptionsDialog(state, *dialog).run();
  return true;
}

}  // namespace zandor
