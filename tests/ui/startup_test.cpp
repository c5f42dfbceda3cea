#include "app/startup.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <filesystem>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <vector>
#include <thread>

#include "app/app.h"
#include "app/menubar1.h"
#include "app/window1.h"
#include "engine/script_bridge.h"
#include "runtime/exceptions.h"
#include "runtime/ui/runtime.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/ui_support.h"

namespace {

using app::Window1;

// The whole start-up path, app::main, with `whileRunning` called once the
// event loop runs; returns the exit status. A run that does not end within
// five seconds ends with 99.
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

TEST(StartUp, MakesOneApplicationObjectOneMenuBarAndOneWindowAndFileQuitEndsWithZero) {
  bool looked = false;
  const int status = RunApplication([&] {
    looked = true;
    const std::shared_ptr<app::App> application = app::App::Instance();
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(application->VersionString(), "3.0.0b10");
    EXPECT_EQ(QCoreApplication::applicationVersion(), "3.0.0b10");
    EXPECT_EQ(application->MenuBar(), app::MenuBar1::Instance());
    const auto window = rt::CastTo<Window1>(rt::ui::GetImplicitWindow(Window1::kFullClassName));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->MenuBar(), application->MenuBar());
    EXPECT_EQ(uitest::VisibleTopLevelWindows(), 1);

    const std::vector<std::string> classes = rt::ui::RegisteredClasses();
    ASSERT_GE(classes.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(classes.end() - 3, classes.end()),
              (std::vector<std::string>{"App.App", "Window1.Window1", "MenuBar1.MenuBar1"}));
    ChooseFileQuit();
  });
  EXPECT_TRUE(looked);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(rt::ui::GetImplicitWindow(Window1::kFullClassName), nullptr);
  EXPECT_EQ(rt::GetAppObject(), nullptr);
}

TEST(StartUp, PlatformQuitClosesTheMainWindowWritingThePreferencesAndEndsWithZero) {
  const std::string pref = std::string(std::getenv("XDG_CONFIG_HOME")) + "/sorvane.pref";
  // The macOS application quit, and on Linux the end of the session or Ctrl+C.
  const std::vector<std::function<void()>> quits = {
      [] { QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit)); },
      [] { raise(SIGTERM); },
      [] { raise(SIGINT); },
  };
  for (const auto& quit : quits) {
    std::filesystem::remove(pref);
    EXPECT_EQ(RunApplication(quit), 0);
    EXPECT_EQ(rt::ui::GetImplicitWindow(Window1::kFullClassName), nullptr);
    EXPECT_TRUE(std::filesystem::exists(pref));
  }
}

TEST(StartUp, LateStartupWithTheMainWindowOpenMakesNoSecondWindow) {
  const int status = RunApplication([] {
    const auto first = rt::ui::GetImplicitWindow(Window1::kFullClassName);
    app::LateStartup();
    app::MakeDefaultView();
    EXPECT_EQ(rt::ui::GetImplicitWindow(Window1::kFullClassName), first);
    uitest::Settle();
    EXPECT_EQ(uitest::VisibleTopLevelWindows(), 1);
    ChooseFileQuit();
  });
  EXPECT_EQ(status, 0);
}

TEST(StartUp, ClearingFlagOfEveryStyleRequestIsTheMainWindowsCheckBox) {
  testsupport::TempDir bundle;
  const std::string resources = bundle / "Resources";
  testsupport::WriteFile(resources + "/applyPS.scpt",
                         "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/arguments\"\n");
  std::filesystem::permissions(resources + "/applyPS.scpt", std::filesystem::perms::owner_all);

  const int status = RunApplication([&] {
    app::App::Instance()->SetExecutablePathForTesting(bundle / "bin/sorvane");
    const auto window = rt::CastTo<Window1>(rt::ui::GetImplicitWindow(Window1::kFullClassName));
    ASSERT_NE(window, nullptr);
    window->applyParaStyle("1,", "Heading", "3", "17");
    EXPECT_EQ(testsupport::ReadFile(resources + "/arguments"), "1,\nHeading\n3\n17\n1\n");
    window->CB1()->Value(false);
    window->applyParaStyle("", "", "", "");
    EXPECT_EQ(testsupport::ReadFile(resources + "/arguments"), "\n\n\n\n0\n");
    ChooseFileQuit();
  });
  EXPECT_EQ(status, 0);
  // With the main window gone there is no flag, and the request runs nothing.
  std::filesystem::remove(resources + "/arguments");
  EXPECT_THROW(engine::applyParaStyle("", "", "", ""), rt::NilObjectException);
  EXPECT_FALSE(std::filesystem::exists(resources + "/arguments"));
}

TEST(StartUp, FailureWhileMakingTheApplicationObjectEndsStartUpWithAFailureStatus) {
  char name[] = "sorvane";
  char* argv[] = {name, nullptr};
  rt::ui::RuntimeInit(1, argv);
  // Off the main thread the application object cannot be made: start-up
  // stops there, and the exception goes to the unhandled-exception routine.
  testing::internal::CaptureStderr();
  std::thread([] { app::Main(); }).join();
  const std::string reported = testing::internal::GetCapturedStderr();
  EXPECT_EQ(reported,
            "Unhandled ThreadAccessingUIException: user-interface operation off the main thread\n");
  EXPECT_EQ(rt::GetAppObject(), nullptr);
  EXPECT_EQ(rt::ui::GetImplicitWindow(Window1::kFullClassName), nullptr);
  EXPECT_EQ(uitest::VisibleTopLevelWindows(), 0);
  rt::ui::RuntimePerformFinalizers();
  EXPECT_NE(rt::ui::RuntimeExit(), 0);
}

}  // namespace
