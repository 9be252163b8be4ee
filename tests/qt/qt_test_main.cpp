// Qt tests run offscreen, inside one application object.
#include <gtest/gtest.h>

#include <QApplication>

#include "qt/german_texts.h"

int main(int argc, char** argv) {
  // A run may bring its own offscreen screens ("offscreen:configfile=...").
  if (!qEnvironmentVariable("QT_QPA_PLATFORM").startsWith(QStringLiteral("offscreen")))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  zandor::installGermanTexts(app);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
