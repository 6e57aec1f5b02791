// Entry point of the window tests: the program's own application object, then GoogleTest.

#include <gtest/gtest.h>

#include "app/Application.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Headless on Linux unless told otherwise (ctest sets it too; test discovery runs without ctest's
  // environment). On Windows the real platform, on the virtual display Wine runs on: Qt's offscreen
  // platform there finds no fonts, and text would be measured and printed as nothing.
#ifdef _WIN32
  qputenv("QT_QPA_PLATFORM", "windows");
#else
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
  Application app(argc, argv);
  return RUN_ALL_TESTS();
}
