#pragma once

class QCoreApplication;

namespace zandor {

// Qt's German texts for the buttons and labels of its own dialogs (file and folder choice,
// Ja/Nein of message boxes) and German date and size formats, whatever language the
// desktop speaks: the program speaks German only. False when the translation is missing
// (package qt6-translations-l10n); the dialogs then speak English.
bool installGermanTexts(QCoreApplication& app);

}  // namespace zandor
