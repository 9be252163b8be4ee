#pragma once

#include <string>

namespace zandor {

struct AppState;

// The help document, looked up by its bare name in the working directory.
constexpr const char* kHelpFileName = "excelimport.pdf";

// Opens the help document with the desktop's viewer, or says that there is none. True.
bool HILFEOEFFNEN(AppState& state);
// What a front end says when the desktop has no program to open the document with (the
// help among them); the path as the person can find it, 1252 text.
std::string documentNotOpenedMessage(const std::string& path);
// Shows the about box. True.
bool IMPRESSUM(AppState& state);
// The about box's text, lines separated by CR LF.
std::string aboutText();

}  // namespace zandor
