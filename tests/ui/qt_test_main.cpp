#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "runtime/ui/runtime.h"
#include "tests/support/temp_dir.h"

namespace {

// The headless platform tells on standard error that it cannot raise a
// window, which the floating windows ask of it; the tests read standard
// error for what the layer itself reports.
void DropHeadlessNotices(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith(QLatin1String("This plugin does not support"))) return;
  qt_message_output(type, context, text);
}

}  // namespace

// One Qt application object for the whole program; the window layer adopts
// it, so that start-up can run again and again in one process.
int main(int argc, char** argv) {
  qInstallMessageHandler(DropHeadlessNotices);
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
