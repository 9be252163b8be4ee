#include "settings/preferences_dialog.h"

#include "base/ini.h"
#include "base/number_text.h"
#include "base/paths.h"
#include "base/text.h"
#include "resources/dialog_template.h"
#include "resources/ids/preferences_ids.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "ui/ui.h"

namespace zandor {

namespace {

using namespace preferences_ids;

const InputRule kPrefixRule{10, false};
const InputRule kNumberRule{6, true};

std::string slotText(const Value& value) {
  return iniText(value);
}

void showMessage(Ui* ui, const std::string& text) {
  if (ui != nullptr) ui->information(text);
}

// One run of the dialog; its working copies are the four number fields' texts.
class PreferencesDialog {
 public:
  PreferencesDialog(AppState& state, Dialog& dialog) : state_(state), dialog_(dialog) {}

  void run() {
    fill();
    dialog_.onClicked = [this](int id) { clicked(id); };
    dialog_.onChanged = [this](int id) { changed(id); };
    dialog_.onCloseRequest = [this](CloseReason) { return valid(); };
    dialog_.runModal();
  }

 private:
  std::string field(int id) { return OCTRL(dialog_, id).text(); }

  void fill() {
    OCTRL(dialog_, kXlsDirectory).setText(slotText(state_.vorein(vorein::kXlsDirectory)));
    OCTRL(dialog_, kDbfDirectory).setText(slotText(state_.vorein(vorein::kDbfDirectory)));
    OCTRL(dialog_, kAdrPrefix).setInputRule(kPrefixRule);
    OCTRL(dialog_, kArtPrefix).setInputRule(kPrefixRule);
    OCTRL(dialog_, kAdrNumber).setInputRule(kNumberRule);
    OCTRL(dialog_, kArtNumber).setInputRule(kNumberRule);
    // A stored value longer than its rule allows is shown whole, not shortened.
    OCTRL(dialog_, kAdrPrefix).setText(slotText(state_.vorein(vorein::kAdrPrefix)));
    OCTRL(dialog_, kAdrNumber).setText(slotText(state_.vorein(vorein::kAdrCounter)));
    OCTRL(dialog_, kArtPrefix).setText(slotText(state_.vorein(vorein::kArtPrefix)));
    OCTRL(dialog_, kArtNumber).setText(slotText(state_.vorein(vorein::kArtCounter)));
    const Value& update = state_.vorein(vorein::kUpdate);
    OCTRL(dialog_, kUpdate).setChecked(update.isLogical() && update.asLogical());
    const Value& criterion = state_.vorein(vorein::kArtCriterion);
    const double by = criterion.isNumber() ? criterion.asNumber().toDouble() : 0;
    OCTRL(dialog_, kByArticleNumber).setChecked(by == 1);
    OCTRL(dialog_, kBySupplierNumber).setChecked(by == 2);
    updatePreviews();
  }

  void updatePreviews() {
    OCTRL(dialog_, kAdrPreview).setText(numberPreview(field(kAdrPrefix), field(kAdrNumber)));
    OCTRL(dialog_, kArtPreview).setText(numberPreview(field(kArtPrefix), field(kArtNumber)));
  }

  bool valid() {
    return VALIDVOREIN(state_.ui, field(kAdrPrefix), field(kAdrNumber), field(kArtPrefix),
                       field(kArtNumber));
  }

  void chooseFolder(int slot, int edit, const char* title) {
    if (state_.ui == nullptr) return;
    const std::string chosen = folderWithoutTrailingSeparator(
        state_.ui->chooseFolder(title, slotText(state_.vorein(slot))));
    state_.vorein(slot) = Value::text(chosen);  // cancelling empties the slot
    OCTRL(dialog_, edit).setText(chosen);
  }

  void setCriterion(int value) {
    state_.vorein(vorein::kArtCriterion) = Value::integer(value);
    OCTRL(dialog_, kByArticleNumber).setChecked(value == 1);
    OCTRL(dialog_, kBySupplierNumber).setChecked(value == 2);
  }

  void store() {
    state_.vorein(vorein::kAdrPrefix) = Value::text(trimmed(field(kAdrPrefix)));
    state_.vorein(vorein::kAdrCounter) = Value::number(parseLeadingNumber(field(kAdrNumber)));
    state_.vorein(vorein::kArtPrefix) = Value::text(trimmed(field(kArtPrefix)));
    state_.vorein(vorein::kArtCounter) = Value::number(parseLeadingNumber(field(kArtNumber)));
  }

  void clicked(int id) {
    switch (id) {
      case kChooseXlsDirectory:
        chooseFolder(vorein::kXlsDirectory, kXlsDirectory,
                     "Standardverzeichnis f\xfcr Excel-Dateien");
        break;
      case kChooseDbfDirectory:
        chooseFolder(vorein::kDbfDirectory, kDbfDirectory,
                     "Standardverzeichnis f\xfcr dBase-Dateien");
        break;
      case kUpdate:
        state_.vorein(vorein::kUpdate) = Value::logical(OCTRL(dialog_, kUpdate).checked());
        break;
      case kByArticleNumber:
        setCriterion(1);
        break;
      case kBySupplierNumber:
        setCriterion(2);
        break;
      case kOk:
        // Validated before anything is stored, so the slots never hold numbers too long.
        if (!valid()) return;
        store();
        VOREINSPEICHERN(state_);
        dialog_.end(kOk);
        break;
      case kCancel:
        dialog_.requestClose(CloseReason::Button);
        break;
      default:
        break;
    }
  }

  void changed(int id) {
    switch (id) {
      case kXlsDirectory:
        state_.vorein(vorein::kXlsDirectory) = Value::text(field(kXlsDirectory));
        break;
      case kDbfDirectory:
        state_.vorein(vorein::kDbfDirectory) = Value::text(field(kDbfDirectory));
        break;
      case kAdrPrefix:
      case kAdrNumber:
      case kArtPrefix:
      case kArtNumber:
        updatePreviews();
        break;
      default:
        break;
    }
  }

  AppState& state_;
  Dialog& dialog_;
};

}  // namespace

std::string numberPreview(const std::string& prefix, const std::string& number) {
  return trimmed(prefix) + trimmed(number);
}

std::string folderWithoutTrailingSeparator(const std::string& folder) {
  std::string out = folder;
  while (out.size() > 1 && isPathSeparator(out.back())) {
    const bool driveRoot = out.size() == 3 && out[1] == ':';
    if (driveRoot) break;
    out.pop_back();
  }
  return out;
}

bool VALIDVOREIN(Ui* ui, const std::string& cAdrVorlauf, const std::string& cAdrNummer,
                 const std::string& cArtVorlauf, const std::string& cArtNummer) {
  bool ok = true;
  if (numberPreview(cAdrVorlauf, cAdrNummer).size() > 10) {
    showMessage(ui,
                "Die autom. Kundennummer darf max. 10 Stellen haben\r\n"
                "Bitte k\xfcrzen Sie entweder den Vorlauf oder die Nummer");
    ok = false;
  }
  if (numberPreview(cArtVorlauf, cArtNummer).size() > 15) {
    showMessage(ui,
                "Die autom. Artikelnr. darf max. 15 Stellen haben\r\n"
                "Bitte k\xfcrzen Sie entweder den Vorlauf oder die Nummer");
    ok = false;
  }
  return ok;
}

bool VOREINST(AppState& state) {
  if (state.ui == nullptr) return true;
  std::unique_ptr<Dialog> dialog = state.ui->makeDialog(tpl::kPreferences);
  if (!dialog) return true;
  PreferencesDialog(state, *dialog).run();
  return true;
}

}  // namespace zandor
