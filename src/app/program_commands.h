#pragma once

#include <string>

#include "app/main_window.h"

namespace zandor {

struct AppState;
class WorkAreas;

// What the desktop program does, the same behind every front end: the commands of the
// menus, the toolbar and the drop-down menu, which dialog follows which, the files the main
// window takes by drag and drop, and its close check. A front end builds its windows from
// the data in resources/ and reports each event here; every entry runs inside the event
// guard, so a quit chosen in the error handler ends the event loops instead of leaving
// them by an exception. GUI thread only.
class ProgramCommands {
 public:
  ProgramCommands(AppState& state, WorkAreas& areas) : state_(state), areas_(areas) {}
  virtual ~ProgramCommands() = default;
  ProgramCommands(const ProgramCommands&) = delete;
  ProgramCommands& operator=(const ProgramCommands&) = delete;

  // A command of a menu, the toolbar or the drop-down menu. Quit runs nothing here: the
  // window closes, and its close check writes the preferences.
  Afterwards command(Command command);
  // Whether a file dragged over the main window is taken when dropped.
  bool takesDroppedFile(const std::string& path) const;
  // A file dropped onto the main window (after the drop has ended): the file choice with
  // it pending. Files the window does not take are ignored.
  void fileDropped(const std::string& path);
  // The close check, run on every way of closing the main window: writes the preferences
  // and allows the close.
  bool mayClose();

  // The steps the commands start; a test may put stand-ins in their place.
  // "Zuordnung": the file choice, then the mapping dialog when it ended with "Nächster
  // Schritt".
  virtual void fileChoice(const std::string& pendingFile);
  // "Zuordnung aus Einstellung": the mapping dialog with the remembered files.
  virtual void mappingFromSettings();
  // "Zuordnung laden": a profile, then the mapping dialog when one was loaded.
  virtual void loadMapping();

 protected:
  AppState& state_;
  WorkAreas& areas_;

 private:
  void mappingDialog();
};

}  // namespace zandor
