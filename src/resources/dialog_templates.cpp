#include "resources/dialog_template.h"
#include "resources/ids/error_dialog_ids.h"

#include "resources/ids/file_choice_ids.h"
#include "resources/ids/import_options_ids.h"
#include "resources/ids/mapping_ids.h"
#include "resources/ids/preferences_ids.h"
#include "resources/ids/wait_message_ids.h"

namespace zandor {

namespace {

using K = ControlKind;

ControlTemplate label(Rect r, std::string text, unsigned style = 0) {
  return {kNoId, K::Label, r, std::move(text), style};
}

DialogTemplate dialog(const char* name, const char* title, int width, int height, unsigned style) {
  DialogTemplate t;
  t.name = name;
  t.title = title;
  t.width = width;
  t.height = height;
  t.style = style;
  return t;
}

DialogTemplate preferences() {
  DialogTemplate t =
      dialog(tpl::kPreferences, "Voreinstellungen", 306, 198, dlg::kCaption | dlg::kCentered);
  t.controls = {
      label({4, 9, 124, 8}, "Standardverzeichnis f\xfcr Excel-Daten:"),
      {preferences_ids::kXlsDirectory, K::Edit, {3, 22, 235, 12}, "", 0},
      {preferences_ids::kChooseXlsDirectory, K::PushButton, {244, 21, 57, 14}, "Durchsuchen...", 0},
      label({4, 39, 179, 8}, "Standardverzeichnis f\xfcr dBase-Daten:"),
      {preferences_ids::kDbfDirectory, K::Edit, {3, 50, 235, 12}, "", 0},
      {preferences_ids::kChooseDbfDirectory, K::PushButton, {244, 49, 57, 14}, "Durchsuchen...", 0},
      label({2, 82, 288, 20},
            "Geben Sie hier die Anfangsnummer f\xfcr die autom. Generierung von Art.-Nr. oder "
            "Kd.-Nr. an. Der Vorlauf bleibt immer gleich, die Nummer wird automatisch "
            "hochgez\xe4hlt.",
            ctl::kWraps),
      label({47, 103, 42, 8}, "Vorlauf:"),
      label({94, 103, 42, 8}, "Nummer:"),
      label({145, 104, 48, 8}, "Vorschau:"),
      label({6, 115, 37, 8}, "Adressen:"),
      {preferences_ids::kAdrPrefix, K::Edit, {47, 113, 44, 12}, "", 0},
      {preferences_ids::kAdrNumber, K::Edit, {94, 113, 44, 12}, "", 0},
      {preferences_ids::kAdrPreview, K::Label, {144, 114, 90, 8}, "", 0},
      label({6, 131, 29, 8}, "Artikel:"),
      {preferences_ids::kArtPrefix, K::Edit, {47, 129, 44, 12}, "", 0},
      {preferences_ids::kArtNumber, K::Edit, {94, 129, 44, 12}, "", 0},
      {preferences_ids::kArtPreview, K::Label, {144, 130, 92, 8}, "", 0},
      {preferences_ids::kUpdate,
       K::CheckBox,
       {3, 147, 294, 9},
       "Bestehende Datens\xe4tze Aktualisieren",
       0},
      {preferences_ids::kByArticleNumber,
       K::RadioButton,
       {15, 159, 282, 9},
       "Bei Artikeldaten Artikelnummer als Kriterium verwenden",
       ctl::kGroup},
      {preferences_ids::kBySupplierNumber,
       K::RadioButton,
       {15, 171, 282, 9},
       "Bei Artikeldaten Lieferanten-Artikelnummer als Kriterium verwenden",
       0},
      {preferences_ids::kOk, K::PushButton, {197, 180, 50, 14}, "&OK", ctl::kDefaultButton},
      {preferences_ids::kCancel, K::PushButton, {252, 180, 50, 14}, "&Abbruch", 0},
  };
  return t;
}

DialogTemplate waitMessage() {
  DialogTemplate t =
      dialog(tpl::kWaitMessage, "", 160, 40,
             dlg::kModeless | dlg::kCentered | dlg::kThinBorder | dlg::kBlackOnWhite);
  t.controls = {{wait_ids::kText, K::Label, {8, 8, 144, 24}, "", ctl::kCentered},
                {wait_ids::kProgress, K::ProgressBar, {8, 32, 144, 5}, "", 0}};
  return t;
}

// Measured in pixels: the handler's dialog is 450 by 300 pixels whatever the font.
DialogTemplate errorDialog() {
  DialogTemplate t =
      dialog(tpl::kErrorDialog, "", 450, 300, dlg::kCaption | dlg::kCentered | dlg::kPixels);
  t.controls = {
      {errdlg::kPicture, K::Picture, {6, 6, 32, 32}, "ERROR", 0},
      {errdlg::kDescription, K::Label, {46, 6, 396, 48}, "", ctl::kWraps},
      label({6, 60, 200, 16}, "&Stack List"),
      {errdlg::kStackList, K::ListBox, {6, 78, 436, 176}, "", 0},
      {errdlg::kRetry, K::PushButton, {6, 264, 90, 28}, "&Retry", 0},
      {errdlg::kQuit, K::PushButton, {102, 264, 90, 28}, "&Quit", ctl::kDefaultButton},
      {errdlg::kDefault, K::PushButton, {198, 264, 90, 28}, "&Default", 0},
      {errdlg::kSeeReport, K::PushButton, {294, 264, 148, 28}, "See error.log file", 0},
  };
  return t;
}

DialogTemplate fileChoice() {
  DialogTemplate t =
      dialog(tpl::kFileChoice, "Datei-Optionen", 305, 200, dlg::kCaption | dlg::kCentered);
  t.controls = {
      label({4, 9, 42, 8}, "Excel-Datei:"),
      {file_choice_ids::kXlsList, K::DropDownList, {53, 7, 185, 12}, "", 0},
      {file_choice_ids::kBrowseXls, K::PushButton, {244, 6, 57, 14}, "Durchsuchen...", 0},
      label({4, 28, 46, 8}, "dBase-Datei:"),
      {file_choice_ids::kDbfList, K::DropDownList, {53, 26, 185, 12}, "", 0},
      {file_choice_ids::kBrowseDbf, K::PushButton, {244, 25, 57, 14}, "Durchsuchen...", 0},
      {file_choice_ids::kHeader,
       K::CheckBox,
       {6, 168, 288, 9},
       "Excel-Datei enth\xe4lt \xfc"
       "berschriften",
       0},
      {file_choice_ids::kNextStep,
       K::PushButton,
       {6, 183, 74, 14},
       "&N\xe4"
       "chster Schritt",
       ctl::kDefaultButton},
      {file_choice_ids::kSaveAndClose,
       K::PushButton,
       {156, 183, 91, 14},
       "&Speichern und Schlie\xdf"
       "en",
       ctl::kDefaultButton},
      {file_choice_ids::kCancel, K::PushButton, {252, 183, 50, 14}, "&Abbruch", 0},
  };
  return t;
}

DialogTemplate importOptions() {
  DialogTemplate t =
      dialog(tpl::kImportOptions, "Datei-Optionen", 118, 161, dlg::kCaption | dlg::kCentered);
  t.controls = {
      label({2, 3, 111, 10}, "Dieses Feld enth\xe4lt immer Daten:"),
      {import_options_ids::kStopColumn, K::DropDownList, {2, 15, 108, 12}, "", 0},
      {import_options_ids::kAutoNumber,
       K::CheckBox,
       {3, 132, 111, 9},
       "Nummer automatisch erzeugen",
       0},
      {import_options_ids::kSave,
       K::PushButton,
       {60, 144, 53, 14},
       "&Speichern",
       ctl::kDefaultButton},
      {import_options_ids::kCancel, K::PushButton, {4, 144, 53, 14}, "&Abbruch", 0},
  };
  return t;
}

DialogTemplate mapping() {
  // The first button takes 80 units: its caption needs them in the dialog font as Wine
  // draws it. The buttons after it and the dialog move four units to the right.
  DialogTemplate t = dialog(tpl::kMapping, "Zuordnung", 330, 225,
                            dlg::kCaption | dlg::kResizable | dlg::kMaximizeBox);
  t.controls = {
      {mapping_ids::kFieldList, K::GridList, {0, 0, 330, 200}, "", 0},
      {mapping_ids::kAutoMap, K::PushButton, {2, 208, 80, 14}, "&Automatisch zuordnen", 0},
      {mapping_ids::kOptions, K::PushButton, {84, 208, 59, 14}, "Einlese&optionen", 0},
      {mapping_ids::kSave, K::PushButton, {145, 208, 76, 14}, "Zuordnung &Speichern", 0},
      {mapping_ids::kStartImport, K::PushButton, {223, 208, 63, 14}, "&Einlesen starten", 0},
      {mapping_ids::kClose, K::PushButton, {287, 208, 41, 14}, "&Beenden", 0},
  };
  // The row of buttons stays whole, with the list's heading and a few rows above it.
  t.minWidth = 330;
  t.minHeight = 90;
  return t;
}

}  // namespace

const ControlTemplate* DialogTemplate::control(int id) const {
  for (const ControlTemplate& c : controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

const std::vector<DialogTemplate>& dialogTemplates() {
  static const std::vector<DialogTemplate> all = {preferences(), waitMessage(),   errorDialog(),
                                                  fileChoice(),  importOptions(), mapping()};
  return all;
}

const DialogTemplate* findDialogTemplate(std::string_view name) {
  for (const DialogTemplate& t : dialogTemplates()) {
    if (t.name == name) return &t;
  }
  return nullptr;
}

}  // namespace zandor
