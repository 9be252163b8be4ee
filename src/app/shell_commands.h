#pragma once

#include <string>

namespace zandor {

// Starts a command line and does not wait for it, nor look at how it ends; false only when
// nothing could be started. Windows runs it as CreateProcessW does (the program is the first
// word, found on the search path), in a normal window; elsewhere /bin/sh runs it. The text is
// Windows-1252, as file names inside the program are.
bool startDetached(const std::string& commandLine);

// The plain text viewer on a file, as the import and the error dialog start it: on Windows
// the command line "notepad " followed by the path (not quoted: Notepad takes the rest of the
// line as the file name), elsewhere the user's viewer for the file through xdg-open.
bool startTextViewer(const std::string& path);

// Lets the system open a document with the program its kind is associated with: the shell's
// verb "open" on Windows (ShellExecuteW, no owner window, no parameters, no working
// directory), xdg-open elsewhere. False when nothing was started.
bool openWithShell(const std::string& path);

}  // namespace zandor
