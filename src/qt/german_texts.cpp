#include "qt/german_texts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zandor {

bool installGermanTexts(QCoreApplication& app) {
  const QLocale german(QLocale::German, QLocale::Germany);
  QLocale::setDefault(german);
  // Qt's own folder, else one beside the program for a copy that brings its own.
  const QString folders[] = {
      QLibraryInfo::path(QLibraryInfo::TranslationsPath),
      QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
  auto* translator = new QTranslator(&app);
  for (const QString& folder : folders) {
    if (translator->load(german, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
      QCoreApplication::installTranslator(translator);
      return true;
    }
  }
  delete translator;
  return false;
}

}  // namespace zandor
