#pragma once

#include <string>

#include "base/error.h"

namespace zandor {

struct AppState;
class WorkAreas;

// The error report's file name, in the working directory.
constexpr const char* kErrorReportName = "error.log";
// ".\error.log" as the report's path is spelled on this platform.
std::string errorReportPath();

// Installs ERRORDIALOG as the handler of every error no guard catches. The handler shows its
// dialog through the state's Ui on the thread that installs it (the GUI thread); areas may
// be nullptr; guiFramework names the toolkit and its version for the report and the title.
void ERRORSYS(AppState& state, WorkAreas* areas, const std::string& guiFramework);

// Settles the error silently, or writes the report and asks the user through the error
// dialog: Retry, Default, or the program quits (ProgramQuit with exit code 1). Called on any
// other thread than the installing one it refuses with std::logic_error.
ErrorAnswer ERRORDIALOG(const Error& error);

}  // namespace zandor
