#include <gtest/gtest.h>

#include <QApplication>

// GoogleTest inside a headless Qt application.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velmora");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
