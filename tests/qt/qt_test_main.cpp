// Qt tests run offscreen, inside one application object.
#include <gtest/gtest.h>

#include <QApplication>

#include "qt/german_texts.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  zandor::installGermanTexts(app);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
