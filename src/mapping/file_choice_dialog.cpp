#include "mapping/file_choice_dialog.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "mapping/table_helpers.h"
#include "resources/dialog_template.h"
#include "resources/ids/file_choice_ids.h"
#include "settings/doc_list.h"
#include "sheet/workbook_data.h"
#include "state/app_state.h"
#include "ui/ui.h"

namespace zandor {

namespace {

using namespace file_choice_ids;

std::string slotText(const AppState& state, int slot) {
  const Value& value = state.vorein(slot);
  return value.isText() ? value.asText() : std::string();
}

// One remembered list with the choice pending for it.
struct Choice {
  TDocList list;
  std::string pending;
  // What the drop-down shows: the list, and a browsed path not yet in it on top.
  std::vector<std::string> shown;
};

class FileChoiceDialog {
 public:
  FileChoiceDialog(AppState& state, Dialog& dialog)
      : state_(state),
        dialog_(dialog),
        xls_{TDocList::New(*state.oSettings, "Excel", "xls"), {}, {}},
        dbf_{TDocList::New(*state.oSettings, "dBase", "dbf"), {}, {}} {
    for (Choice* c : {&xls_, &dbf_}) {
      if (!c->list.aDocList.empty()) c->pending = c->list.aDocList.front();
    }
  }

  // A file chosen before the dialog opened, pending as a browsed one would be.
  void preselect(const std::string& file) {
    if (file.empty()) return;
    const bool table = upperAZ(extensionPart(file)) == ".DBF";
    (table ? dbf_ : xls_).pending = file;
  }

  // The button that ended the dialog; 0 for "Abbruch" and the close box.
  int run() {
    show(xls_, kXlsList);
    show(dbf_, kDbfList);
    OCTRL(dialog_, kHeader).setChecked(state_.lHeader);
    dialog_.onClicked = [this](int id) { clicked(id); };
    dialog_.onChanged = [this](int id) { changed(id); };
    return dialog_.runModal();
  }

 private:
  void show(Choice& choice, int id) {
    choice.shown = choice.list.aDocList;
    auto at = std::find(choice.shown.begin(), choice.shown.end(), choice.pending);
    if (at == choice.shown.end() && !choice.pending.empty()) {
      choice.shown.insert(choice.shown.begin(), choice.pending);
      at = choice.shown.begin();
    }
    Control& list = OCTRL(dialog_, id);
    list.setItems(choice.shown);
    list.setSelection(at == choice.shown.end() ? -1 : static_cast<int>(at - choice.shown.begin()));
  }

  void browse(Choice& choice, int id, const char* title, const char* mask, int folderSlot) {
    if (state_.ui == nullptr) return;
    const std::string chosen = state_.ui->chooseFile(title, mask, slotText(state_, folderSlot));
    if (chosen.empty()) return;  // cancelled: the pending choice stays
    choice.pending = chosen;
    show(choice, id);
  }

  void picked(Choice& choice, int id) {
    const int index = OCTRL(dialog_, id).selection();
    if (index >= 0 && static_cast<std::size_t>(index) < choice.shown.size()) {
      choice.pending = choice.shown[static_cast<std::size_t>(index)];
    }
  }

  // The mapping dialog reads both files from the lists' first entries, so they are stored
  // before it opens.
  void takeOver(int button) {
    AINIT(state_);
    xls_.list.DocIns(xls_.pending);
    dbf_.list.DocIns(dbf_.pending);
    state_.cXlsFile = xls_.pending;
    state_.cDbfFile = dbf_.pending;
    dialog_.end(button);
  }

  void clicked(int id) {
    switch (id) {
      case kBrowseXls:
        browse(xls_, kXlsList, "Bitte eine Exceldatei ausw\xe4hlen", "*.xl*",
               vorein::kXlsDirectory);
        break;
      case kBrowseDbf:
        browse(dbf_, kDbfList, "Bitte eine dBasedatei ausw\xe4hlen", "*.dbf",
               vorein::kDbfDirectory);
        break;
      case kHeader:
        state_.lHeader = OCTRL(dialog_, kHeader).checked();
        break;
      case kNextStep:
      case kSaveAndClose:
        takeOver(id);
        break;
      case kCancel:
        dialog_.requestClose(CloseReason::Button);
        break;
      default:
        break;
    }
  }

  void changed(int id) {
    if (id == kXlsList) picked(xls_, kXlsList);
    if (id == kDbfList) picked(dbf_, kDbfList);
  }

  AppState& state_;
  Dialog& dialog_;
  Choice xls_;
  Choice dbf_;
};

}  // namespace

bool DLGZUORDNUNG(AppState& state) {
  return DLGZUORDNUNG(state, std::string());
}

bool DLGZUORDNUNG(AppState& state, const std::string& pendingFile) {
  if (state.ui == nullptr || !state.oSettings) return false;
  std::unique_ptr<Dialog> dialog = state.ui->makeDialog(tpl::kFileChoice);
  if (!dialog) return false;
  FileChoiceDialog choice(state, *dialog);
  choice.preselect(pendingFile);
  return choice.run() == kNextStep;
}

bool isImportableFile(const std::string& path) {
  return upperAZ(extensionPart(path)) == ".DBF" || sheet::isSpreadsheetFileName(path);
}

}  // namespace zandor
