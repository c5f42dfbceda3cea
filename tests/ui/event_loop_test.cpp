#include <gtest/gtest.h>

#include <QTimer>
#include <functional>

#include "runtime/exceptions.h"
#include "runtime/ui/runtime.h"
#include "tests/ui/ui_support.h"

namespace {

using uitest::TestWindow;

// Runs the event loop with `inLoop` called once it runs, then the finalisers
// and the exit step; returns the exit status, 99 for a loop not ended in 5 s.
int RunLoop(const std::function<void()>& inLoop) {
  char name[] = "loop-test";
  char* argv[] = {name, nullptr};
  rt::ui::RuntimeInit(1, argv);
  QTimer::singleShot(0, qApp, inLoop);
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(5000);
  rt::ui::RuntimeRun();
  rt::ui::RuntimePerformFinalizers();
  return rt::ui::RuntimeExit();
}

std::shared_ptr<TestWindow> OpenWindow(const char* className, int& closes,
                                       const std::function<void()>& onClose) {
  auto window = std::make_shared<TestWindow>(className);
  window->SetEventHandler(rt::ui::WindowEvent::Close, [&closes, onClose] {
    ++closes;
    if (onClose) onClose();
  });
  window->Constructor();
  return window;
}

TEST(QuitAction, ClosesEveryWindowThroughItsCloseHandlerOnceAndTheHandlersQuitEndsTheLoop) {
  const std::vector<std::pair<const char*, std::function<void()>>> quits = {
      {"quit action", [] { rt::ui::QuitAction(); }},
      {"platform quit", [] { QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit)); }},
  };
  for (const auto& [name, quit] : quits) {
    SCOPED_TRACE(name);
    int mainCloses = 0;
    int otherCloses = 0;
    const int status = RunLoop([&] {
      OpenWindow("Test.Main", mainCloses, [] { rt::ui::Quit(0); });
      OpenWindow("Test.Other", otherCloses, nullptr);
      quit();
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(mainCloses, 1);
    EXPECT_EQ(otherCloses, 1);
    EXPECT_EQ(uitest::VisibleTopLevelWindows(), 0);
  }
}

TEST(Quit, OnlyTheFirstCodeCountsAndAQuitBeforeTheLoopEndsItAtOnce) {
  EXPECT_EQ(RunLoop([] {
              rt::ui::Quit(3);
              rt::ui::Quit(0);
            }),
            3);
  char name[] = "loop-test";
  char* argv[] = {name, nullptr};
  rt::ui::RuntimeInit(1, argv);
  rt::ui::Quit(4);
  rt::ui::RuntimeRun();
  EXPECT_EQ(rt::ui::RuntimeExit(), 4);
  // The exit step leaves no quit behind for the next start.
  EXPECT_EQ(RunLoop([] { rt::ui::Quit(5); }), 5);
}

TEST(LastWindow, ClosingItEndsTheLoopAndAFailedCloseHandlerMakesTheStatusAFailure) {
  for (const bool fails : {true, false}) {
    SCOPED_TRACE(fails ? "failing handler" : "plain handler");
    int closes = 0;
    std::shared_ptr<TestWindow> window;
    testing::internal::CaptureStderr();
    const int status = RunLoop([&] {
      window = OpenWindow("Test.Main", closes, [fails] {
        if (fails) throw rt::IOException("cannot write", 28);
      });
      window->Close();
    });
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, fails ? 1 : 0);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(reported, fails ? "Unhandled IOException: cannot write\n" : "");
  }
}

}  // namespace
