// Entry point of the window tests: the program's own application object (offscreen), then GoogleTest.

#include <gtest/gtest.h>

#include "app/Application.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Headless unless told otherwise (ctest sets it too; test discovery runs without ctest's environment).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  Application app(argc, argv);
  return RUN_ALL_TESTS();
}
