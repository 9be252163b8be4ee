#pragma once

#include <string>

namespace zandor {

struct AppState;

// The help document, looked up by its bare name in the working directory.
constexpr const char* kHelpFileName = "excelimport.pdf";

// Opens the help document with the desktop's viewer, or says that there is none. True.
bool HILFEOEFFNEN(AppState& state);
// Shows the about box. True.
bool IMPRESSUM(AppState& state);
// The about box's text, lines separated by CR LF.
std::string aboutText();

}  // namespace zandor
