#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/ui/controls.h"
#include "runtime/ui/menu.h"
#include "runtime/ui/runtime.h"
#include "tests/ui/ui_support.h"

namespace {

using rt::ui::CheckBox;
using rt::ui::WindowEvent;
using uitest::Rect;
using uitest::RectOf;
using uitest::TestWindow;

std::shared_ptr<rt::ui::MenuBar> OneMenuBar() {
  auto bar = std::make_shared<rt::ui::MenuBar>();
  bar->AddMenu(std::make_shared<rt::ui::MenuItem>());
  bar->Item(0)->Text("File");
  return bar;
}

class WindowTest : public testing::Test {
 protected:
  void TearDown() override {
    for (const auto& window : windows_) window->Close();
    uitest::Settle(5);
  }

  std::shared_ptr<TestWindow> NewWindow(const std::string& className = "Test.TestWindow") {
    return windows_.emplace_back(std::make_shared<TestWindow>(className));
  }

  std::vector<std::shared_ptr<TestWindow>> windows_;
  std::vector<std::string> events_;
};

TEST_F(WindowTest, EdgeLocksKeepTheirDistancesAndAStretchedControlNeverGetsANegativeSize) {
  auto window = NewWindow();
  window->MenuBar(OneMenuBar());
  window->SetProperties({{"Width", int64_t{200}}, {"Height", int64_t{100}},
                         {"MinimumWidth", int64_t{50}}, {"MinimumHeight", int64_t{40}}});
  const auto place = [&](const char* name, int64_t left, int64_t top, bool lockLeftTop) {
    auto box = std::make_shared<CheckBox>();
    window->AddControl(name, box);
    box->SetProperties({{"Left", left}, {"Top", top}, {"Width", int64_t{30}},
                        {"Height", int64_t{10}}, {"LockLeft", lockLeftTop},
                        {"LockTop", lockLeftTop}, {"LockRight", true}, {"LockBottom", true}});
    return box;
  };
  auto all = place("all", 10, 20, true);
  auto rightBottom = place("rightBottom", 150, 80, false);
  window->Width(300);
  window->Height(200);
  EXPECT_EQ(RectOf(*all), (Rect{10, 20, 130, 110}));
  EXPECT_EQ(RectOf(*rightBottom), (Rect{250, 180, 30, 10}));
  window->Width(1);
  window->Height(1);
  EXPECT_EQ(window->Width(), 50);
  EXPECT_EQ(window->Height(), 40);
  EXPECT_EQ(RectOf(*all), (Rect{10, 20, 0, 0}));
  EXPECT_EQ(RectOf(*rightBottom), (Rect{0, 20, 30, 10}));
}

TEST_F(WindowTest, PlaceIsThatOfTheContentBelowTheMenuBarReadsBackTheSameAndStaysOnScreen) {
  const auto openAt = [&](const Rect& r, const char* title) {
    auto window = NewWindow();
    window->SetProperties({{"Title", std::string(title)}});
    window->MenuBar(OneMenuBar());
    window->Constructor();
    window->Left(r.left);
    window->Top(r.top);
    window->Width(r.width);
    window->Height(r.height);
    uitest::Settle();
    return window;
  };
  const Rect placed{120, 150, 220, 180};
  auto window = openAt(placed, "content-area");
  QWidget* top = uitest::TopLevelTitled("content-area");
  ASSERT_NE(top, nullptr);
  QMenuBar* bar = top->findChild<QMenuBar*>();
  ASSERT_TRUE(bar != nullptr && bar->isVisible());
  ASSERT_GT(bar->height(), 0);
  EXPECT_EQ(top->geometry(), QRect(120, 150 - bar->height(), 220, 180 + bar->height()));
  EXPECT_EQ(RectOf(*window), placed);
  EXPECT_EQ(RectOf(*openAt(RectOf(*window), "copy")), placed);

  // A place off every screen (a monitor gone since) is brought back.
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  window->Left(area.right() + 5000);
  window->Top(area.bottom() + 3000);
  uitest::Settle();
  const Rect r = RectOf(*window);
  EXPECT_TRUE(area.contains(QRect(r.left, r.top, r.width, r.height))) << r;
  window->Left(-4000);
  EXPECT_GE(window->Left(), area.left());
}

TEST_F(WindowTest, OpeningRaisesLayoutCreateControlsOpenAndNamingYieldsTheWindowUntilClosed) {
  auto window = NewWindow("Test.Lifecycle");
  for (const auto& [event, name] : std::vector<std::pair<WindowEvent, std::string>>{
           {WindowEvent::Layout, "Layout"}, {WindowEvent::CreateControls, "CreateControls"},
           {WindowEvent::Open, "Open"}, {WindowEvent::Activate, "Activate"},
           {WindowEvent::Close, "Close"}}) {
    window->SetEventHandler(event, [this, raw = window.get(), name] {
      events_.push_back(name);
      EXPECT_EQ(rt::ui::GetImplicitWindow("Test.Lifecycle").get(), raw) << name;
    });
  }
  EXPECT_EQ(rt::ui::GetImplicitWindow("Test.Lifecycle"), nullptr);
  window->Constructor();
  ASSERT_TRUE(uitest::SettleUntil([this] { return events_.size() == 4; }));
  EXPECT_EQ(events_, (std::vector<std::string>{"Layout", "CreateControls", "Open", "Activate"}));
  EXPECT_THROW(window->Constructor(), rt::RuntimeException);

  window->Close();
  window->Close();
  uitest::Settle();
  EXPECT_EQ(events_.back(), "Close");
  EXPECT_EQ(std::count(events_.begin(), events_.end(), "Close"), 1);
  EXPECT_EQ(rt::ui::GetImplicitWindow("Test.Lifecycle"), nullptr);
}

TEST_F(WindowTest, HandlerExceptionIsReportedOnOneLineAndTheWindowGoesOn) {
  auto window = NewWindow("Test.Failing");
  window->SetEventHandler(WindowEvent::Layout,
                          [] { throw rt::NilObjectException("no menu\nhere"); });
  window->SetEventHandler(WindowEvent::CreateControls,
                          [] { throw std::runtime_error("plain failure"); });
  window->SetEventHandler(WindowEvent::Open, [this] { events_.push_back("Open"); });
  testing::internal::CaptureStderr();
  window->Constructor();
  const std::string reported = testing::internal::GetCapturedStderr();
  EXPECT_EQ(events_, std::vector<std::string>{"Open"});
  EXPECT_NE(reported.find("Unhandled NilObjectException: no menu here\n"
                          "Unhandled std::runtime_error: plain failure\n"),
            std::string::npos)
      << reported;
  EXPECT_EQ(rt::ui::GetImplicitWindow("Test.Failing"), window);
}

TEST(UiThread, OperationsOffTheMainThreadRaiseInsteadOfTouchingQt) {
  auto window = std::make_shared<TestWindow>();
  auto box = std::make_shared<CheckBox>();
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"window", [] { TestWindow other; }},
      {"width", [&] { window->Width(300); }},
      {"value", [&] { box->Value(false); }},
      {"menu", [] { rt::ui::MenuItem item; }},
      {"quit", [] { rt::ui::Quit(0); }},
      {"lookup", [] { rt::ui::GetImplicitWindow("Test.TestWindow"); }},
  };
  std::thread([&] {
    for (const auto& [what, call] : calls) {
      try {
        call();
        ADD_FAILURE() << what << " ran off the main thread";
      } catch (const rt::ThreadAccessingUIException&) {
      }
    }
  }).join();
}

}  // namespace
