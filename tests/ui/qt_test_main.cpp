#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "runtime/ui/runtime.h"
#include "tests/support/temp_dir.h"

// One Qt application object for the whole program; the window layer adopts
// it, so that start-up can run again and again in one process.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // The main window reads and writes its preferences file; keep the user's own
  // out of reach of every test.
  const testsupport::TempDir config;
  setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  rt::ui::RuntimeInit(argc, argv);
  const int result = RUN_ALL_TESTS();
  rt::ui::RuntimePerformFinalizers();
  rt::ui::RuntimeExit();
  return result;
}
