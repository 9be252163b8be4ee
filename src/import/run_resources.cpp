#include "import/run_resources.h"

#include <utility>

#include "base/error.h"
#include "sheet/ole_auto.h"
#include "state/wait_message.h"
#include "table/work_areas.h"

namespace zandor {

namespace {

// A release must not end the release of the rest, nor leave the destructor that runs it.
template <class F>
void quietly(F&& f) {
  try {
    ErrorGuard guard;
    f();
  } catch (...) {
  }
}

}  // namespace

RunResources::~RunResources() {
  releaseAll();
}

void RunResources::releaseAll() {
  quietly([&] { ENDMSGWAIT(state_); });
  if (log) log->close();
  closeTable();
  closeSpreadsheet();
}

void RunResources::closeTable() {
  if (!tableOpen) return;
  tableOpen = false;
  quietly([&] {
    if (const int area = areas_.areaOf(kRunAlias)) {
      areas_.selectArea(area);
      if (dropRecordInFlight) areas_.current()->discardChange();
      areas_.DBCLOSEAREA();
    }
  });
}

void RunResources::finishTable() {
  if (!tableOpen) return;
  tableOpen = false;
  if (const int area = areas_.areaOf(kRunAlias)) {
    areas_.selectArea(area);
    areas_.DBCLOSEAREA();
  }
}

void RunResources::closeSpreadsheet() {
  if (!workbook.isNil()) {
    const Value book = std::move(workbook);
    workbook = Value();
    quietly([&] { sheet::oleRequest(book, "Close", {Value::logical(false)}); });
  }
  if (!application.isNil()) {
    const Value app = std::move(application);
    application = Value();
    quietly([&] { sheet::oleRequest(app, "Quit"); });
  }
}

}  // namespace zandor
