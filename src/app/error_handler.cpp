#include "app/error_handler.h"

#include <chrono>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <thread>

#include "app/error_report.h"
#include "app/report_facts.h"
#include "base/encoding.h"
#include "base/paths.h"
#include "resources/dialog_template.h"
#include "resources/ids/error_dialog_ids.h"
#include "state/app_state.h"
#include "ui/ui.h"

namespace zandor {

namespace {

struct HandlerContext {
  AppState* state = nullptr;
  WorkAreas* areas = nullptr;
  std::string guiFramework;
  std::chrono::steady_clock::time_point started;
  std::thread::id guiThread;
};

HandlerContext gContext;

void writeReport(const std::string& report) {
  std::ofstream out(nativePath(errorReportPath()), std::ios::binary | std::ios::trunc);
  out << report;  // a report that cannot be written does not stop the dialog
}

// The user's choice in the error dialog, or nothing for Quit and the close box.
std::optional<ErrorAnswer> askUser(AppState& state, const Error& error, const ReportFacts& facts) {
  std::unique_ptr<Dialog> dialog =
      state.ui ? state.ui->makeDialog(tpl::kErrorDialog) : std::unique_ptr<Dialog>();
  if (!dialog) {
    std::cerr << cp1252ToUtf8(errorForUser(error)) << std::endl;
    return std::nullopt;
  }
  dialog->setTitle(gContext.guiFramework);
  OCTRL(*dialog, errdlg::kDescription).setText(errorDescriptionLine(error));
  Control& stack = OCTRL(*dialog, errdlg::kStackList);
  stack.setItems(calledFromLines(facts));
  if (!stack.items().empty()) stack.setSelection(0);
  OCTRL(*dialog, errdlg::kRetry).setVisible(error.canRetry);
  OCTRL(*dialog, errdlg::kDefault).setVisible(error.canDefault);
  Dialog& d = *dialog;
  dialog->onClicked = [&d, &state](int id) {
    switch (id) {
      case errdlg::kRetry:
      case errdlg::kQuit:
      case errdlg::kDefault:
        d.end(id);
        break;
      case errdlg::kSeeReport:
        if (state.ui) state.ui->showTextFile(errorReportPath());
        break;
      default:
        break;
    }
  };
  const int choice = dialog->runModal();
  if (choice == errdlg::kRetry && error.canRetry) return ErrorAnswer::Retry;
  if (choice == errdlg::kDefault && error.canDefault) return ErrorAnswer::Default;
  return std::nullopt;
}

}  // namespace

std::string errorReportPath() {
  return std::string(".") + kPathSeparator + kErrorReportName;
}

void ERRORSYS(AppState& state, WorkAreas* areas, const std::string& guiFramework) {
  gContext.state = &state;
  gContext.areas = areas;
  gContext.guiFramework = guiFramework;
  gContext.started = std::chrono::steady_clock::now();
  gContext.guiThread = std::this_thread::get_id();
  setErrorHandler(ERRORDIALOG);
}

ErrorAnswer ERRORDIALOG(const Error& error) {
  if (auto settled = settleSilently(error)) return *settled;
  if (std::this_thread::get_id() != gContext.guiThread || gContext.state == nullptr) {
    throw std::logic_error("error handler called off the GUI thread: " +
                           cp1252ToUtf8(error.text()));
  }
  AppState& state = *gContext.state;
  // Levels skipped: this handler and raiseError with the handler's std::function call.
  ReportFacts facts = gatherReportFacts(gContext.started, gContext.guiFramework, 3);
  if (gContext.areas) addTableFacts(facts, *gContext.areas);
  writeReport(errorReport(error, facts));
  const std::optional<ErrorAnswer> answer = askUser(state, error, facts);
  if (!answer) throw ProgramQuit(1);
  if (*answer == ErrorAnswer::Retry && state.oWndMain == nullptr) throw ProgramQuit(1);
  return *answer;
}

}  // namespace zandor
