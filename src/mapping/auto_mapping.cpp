#include "mapping/auto_mapping.h"

#include "base/text.h"
#include "state/app_state.h"
#include "ui/ui.h"

namespace zandor {

namespace {

void inform(AppState& state, const std::string& text) {
  if (state.ui != nullptr) state.ui->information(text);
}

FieldRow* fieldNamed(FieldTable& fields, const Value& heading) {
  if (!heading.isText()) return nullptr;
  for (FieldRow& row : fields) {
    const Value& name = row[field_slot::kFieldName];
    if (name.isText() && equalsIgnoreCaseAZ(name.asText(), heading.asText())) return &row;
  }
  return nullptr;
}

}  // namespace

bool AUTOMATISCHZUORDNEN(AppState& state) {
  if (!state.lHeader) {
    inform(state,
           "Sie haben angegeben, dass die Excel-Datei keine \xdc"
           "berschriften enth\xe4lt. Eine automatische Zuordnung ist somit nicht m\xf6glich!");
    return false;
  }
  int matches = 0;
  // A table of a single field takes part as well: its one field can match a heading.
  for (std::size_t i = 1; i < state.aColumns.size(); ++i) {
    const ColumnRow& column = state.aColumns[i];
    FieldRow* field = fieldNamed(state.aFields, column[column_slot::kColHeading]);
    if (field == nullptr) continue;
    (*field)[field_slot::kColCaption] = column[column_slot::kColHeading];
    (*field)[field_slot::kColLetters] = column[column_slot::kColLetters];
    (*field)[field_slot::kColNo] = column[column_slot::kColNo];
    ++matches;
  }
  if (matches == 0) {
    inform(state, "Es wurden keine Zuordnungen gefunden");
  } else {
    inform(state, "Es wurden " + std::to_string(matches) + " Zuordnungen automatisch hergestellt");
  }
  return true;
}

}  // namespace zandor
