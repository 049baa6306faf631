// The GUI tests need one QApplication for the whole run; listing them needs none (no display).
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/qt/desktop.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ui::qt::Application application(argc, argv);
  return RUN_ALL_TESTS();
}
