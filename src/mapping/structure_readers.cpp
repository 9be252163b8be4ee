#include "mapping/structure_readers.h"

#include <optional>

#include "base/encoding.h"
#include "base/error.h"
#include "base/paths.h"
#include "mapping/column_headings.h"
#include "sheet/ole_auto.h"
#include "state/app_state.h"
#include "table/work_areas.h"
#include "ui/ui.h"

namespace zandor {

namespace {

void inform(AppState& state, const char* utf8) {
  if (state.ui) state.ui->information(utf8ToCp1252(utf8));
}

std::string chosenOrRemembered(AppState& state, const char* section, const char* key,
                               const char* mask, const char* titleUtf8) {
  std::string file = state.oSettings ? state.oSettings->Get(section, key) : std::string();
  if (file.empty() && state.ui) file = state.ui->chooseFile(utf8ToCp1252(titleUtf8), mask, "");
  return file;
}

}  // namespace

FieldTable STRUCSDBF(AppState& state, WorkAreas& areas) {
  state.cDbfFile =
      chosenOrRemembered(state, "dBase", "dbf1", "*.dbf", "Bitte die dBase-Datei auswählen");
  return fieldTableOf(state, areas, state.cDbfFile);
}

FieldTable fieldTableOf(AppState& state, WorkAreas& areas, const std::string& tableFile) {
  if (!fileExists(tableFile)) return {};

  Value structure;
  bool opened = false;
  try {
    ErrorGuard guard;
    opened = areas.DBUSEAREA(true, "", tableFile, "", false, false);
    if (opened) structure = areas.DBSTRUCT();
  } catch (const ErrorException&) {
    structure = Value();
  }
  if (opened) {
    try {
      ErrorGuard guard;
      areas.DBCLOSEAREA();
    } catch (const ErrorException&) {
    }
  }
  if (!structure.isList()) {
    inform(state,
           "Die Datenbank kann nicht geöffnet werden! (Möglicherweise ist diese noch von einem "
           "anderen Programm in Verwendung)");
    return {};
  }

  FieldTable table;
  int position = 0;
  for (const Value& entry : structure.asList()) {
    const std::vector<Value>& e = entry.asList();
    ++position;
    table.push_back(FieldRow{Value::integer(position), e.at(0), e.at(1), e.at(2), e.at(3), e.at(4),
                             Value::text(""), Value::text(""), Value::text("")});
  }
  return table;
}

long lastUsedRow(const Value& sheet) {
  try {
    ErrorGuard guard;
    const Value used = sheet::oleRequest(sheet, "UsedRange");
    const Value first = sheet::oleRequest(used, "Row");
    const Value rows = sheet::oleRequest(sheet::oleRequest(used, "Rows"), "Count");
    if (!first.isNumber() || !rows.isNumber()) return 0;
    const auto whole = [](const Number& n) {
      return n.isInteger ? static_cast<long>(n.integer) : static_cast<long>(n.real);
    };
    return whole(first.asNumber()) + whole(rows.asNumber()) - 1;
  } catch (const ErrorException&) {
    return 0;
  }
}

ColumnTable STRUCSXLS(AppState& state) {
  state.cXlsFile =
      chosenOrRemembered(state, "Excel", "xls1", "*.xl*", "Bitte die Excel-Datei auswählen");
  return columnTableOf(state, state.cXlsFile);
}

ColumnTable columnTableOf(AppState& state, const std::string& sheetFile) {
  Value application;
  try {
    ErrorGuard guard;
    application = sheet::CreateObject("Excel.Application");
  } catch (const ErrorException&) {
    inform(state, "Excel kann nicht geladen werden");
    return {};
  }
  // Asks the application to quit on every way out once it runs.
  struct Quit {
    Value& app;
    ~Quit() {
      try {
        ErrorGuard guard;
        sheet::oleRequest(app, "Quit");
      } catch (const ErrorException&) {
      }
    }
  } quit{application};

  Value workbook;
  Value activeSheet;
  try {
    ErrorGuard guard;
    workbook = sheet::oleRequest(sheet::oleRequest(application, "Workbooks"), "Add",
                                 {Value::text(sheetFile)});
    activeSheet = sheet::oleRequest(application, "ActiveSheet");
  } catch (const ErrorException&) {
    inform(state, "Die ausgewählte Datei ist nicht kompatibel mit Ihrer Excel-Version");
    return {};
  }
  ColumnTable table = columnTableFromFirstRow(kLastSheetColumn, [&](int column) {
    try {
      ErrorGuard guard;
      const Value cell =
          sheet::oleRequest(activeSheet, "Cells", {Value::integer(1), Value::integer(column)});
      return std::optional<Value>(sheet::oleRequest(cell, "Value"));
    } catch (const ErrorException&) {
      return std::optional<Value>();
    }
  });
  try {
    ErrorGuard guard;
    sheet::oleRequest(workbook, "Close", {Value::logical(false)});
  } catch (const ErrorException&) {
  }
  return table;
}

}  // namespace zandor
