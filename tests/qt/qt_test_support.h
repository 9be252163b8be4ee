#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "base/error.h"
#include "support/test_support.h"

namespace zandor::test {

// Runs the step on the next modal widget (dialog, message box) that opens other than the
// one given, from a timer of the event loop that widget runs.
void onNextModal(std::function<void(QWidget*)> step, QWidget* notThis = nullptr);
// Runs the step on the next pop-up menu that opens.
void onNextPopup(std::function<void(QWidget*)> step);
// Forgets a quit chosen in the error handler, in the core and in Qt, so that later tests
// can run dialogs again.
void forgetQuit();

// A control of a rendered dialog by its id ("ctl" followed by the id).
template <typename W>
W* controlOf(QWidget* dialog, int id) {
  return dialog->findChild<W*>(QStringLiteral("ctl%1").arg(id));
}

// Saves a picture of the widget as build/<kind>/screenshots/NAME.png; true when saved.
bool saveScreenshot(QWidget* widget, const std::string& name);
// The same with an open pop-up (a drop-down list) drawn over the window where it stands.
bool saveScreenshot(QWidget* widget, QWidget* popup, const std::string& name);

// A picture of all screens with every visible window drawn where it stands, frames as grey
// edges, as build/<kind>/screenshots/NAME.png.
bool saveScreensPicture(const std::string& name);

}  // namespace zandor::test
