#include "app/startup.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/menubar1.h"
#include "app/window1.h"
#include "runtime/exceptions.h"
#include "runtime/ui/runtime.h"
#include "tests/ui/ui_support.h"

namespace {

std::shared_ptr<rt::ui::Window> MainWindow() {
  return rt::ui::GetImplicitWindow(app::Window1::kFullClassName);
}

// The whole start-up path, app::main, with `whileRunning` called once the
// event loop runs; returns the exit status, 99 for a run not ended in 5 s.
int RunApplication(const std::function<void()>& whileRunning) {
  QTimer::singleShot(50, qApp, whileRunning);
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(5000);
  char name[] = "sorvane";
  char* argv[] = {name, nullptr};
  return app::main(1, argv);
}

// The File menu's Quit command of the window's menu bar, as the user picks it.
void ChooseFileQuit() {
  QWidget* window = uitest::TopLevelTitled("Sorvane");
  ASSERT_NE(window, nullptr);
  QMenuBar* bar = window->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  QAction* quit = bar->actions().at(0)->menu()->actions().at(0);
  ASSERT_EQ(quit->text(), "終了");
  quit->trigger();
}

TEST(StartUp, MakesOneApplicationObjectOneMenuBarAndOneWindow) {
  bool looked = false;
  const int status = RunApplication([&] {
    looked = true;
    const std::shared_ptr<app::App> application = app::App::Instance();
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(application->VersionString(), "3.0.0b10");
    EXPECT_EQ(QCoreApplication::applicationVersion(), "3.0.0b10");
    EXPECT_EQ(application->MenuBar(), app::MenuBar1::Instance());
    ASSERT_NE(MainWindow(), nullptr);
    EXPECT_EQ(MainWindow()->MenuBar(), application->MenuBar());
    EXPECT_EQ(uitest::VisibleTopLevelWindows(), 1);
    ChooseFileQuit();
  });
  EXPECT_TRUE(looked);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(rt::GetAppObject(), nullptr);
}

TEST(StartUp, EveryQuitClosesTheMainWindowWritingThePreferencesAndEndsWithZero) {
  const std::string pref = std::string(std::getenv("XDG_CONFIG_HOME")) + "/sorvane.pref";
  // The macOS application quit, and on Linux the end of the session or Ctrl+C.
  const std::vector<std::pair<const char*, std::function<void()>>> quits = {
      {"menu", ChooseFileQuit},
      {"platform", [] { QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit)); }},
      {"SIGTERM", [] { raise(SIGTERM); }},
      {"SIGINT", [] { raise(SIGINT); }},
  };
  for (const auto& [name, quit] : quits) {
    SCOPED_TRACE(name);
    std::filesystem::remove(pref);
    EXPECT_EQ(RunApplication(quit), 0);
    EXPECT_EQ(MainWindow(), nullptr);
    EXPECT_TRUE(std::filesystem::exists(pref));
  }
}

TEST(StartUp, FailureWhileMakingTheApplicationObjectEndsStartUpWithAFailureStatus) {
  char name[] = "sorvane";
  char* argv[] = {name, nullptr};
  rt::ui::RuntimeInit(1, argv);
  // Off the main thread the application object cannot be made: start-up
  // stops there, and the exception goes to the unhandled-exception routine.
  testing::internal::CaptureStderr();
  std::thread([] { app::Main(); }).join();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Unhandled ThreadAccessingUIException: user-interface operation off the main thread\n");
  EXPECT_EQ(rt::GetAppObject(), nullptr);
  EXPECT_EQ(MainWindow(), nullptr);
  EXPECT_EQ(uitest::VisibleTopLevelWindows(), 0);
  rt::ui::RuntimePerformFinalizers();
  EXPECT_NE(rt::ui::RuntimeExit(), 0);
}

}  // namespace
