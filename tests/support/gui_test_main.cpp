// Entry point of the Qt test executables: one QApplication for all tests of the binary, on
// the platform QT_QPA_PLATFORM names, else offscreen, so that the tests (and their listing at
// build time) never need a display.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
