#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
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
using rt::ui::Listbox;
using rt::ui::PropertySet;
using rt::ui::WindowEvent;
using uitest::TestWindow;

std::shared_ptr<rt::ui::MenuBar> OneMenuBar() {
  auto bar = std::make_shared<rt::ui::MenuBar>();
  auto menu = std::make_shared<rt::ui::MenuItem>();
  menu->Name("FileMenu");
  menu->Text("File");
  bar->AddMenu(menu);
  return bar;
}

struct Rect {
  int64_t left, top, width, height;
  bool operator==(const Rect&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "(" << r.left << ", " << r.top << ", " << r.width << " x " << r.height << ")";
}

Rect RectOf(const rt::ui::Control& c) { return {c.Left(), c.Top(), c.Width(), c.Height()}; }

class WindowTest : public testing::Test {
 protected:
  void TearDown() override {
    for (const auto& window : windows_) window->Close();
    windows_.clear();
    uitest::Settle(5);
  }

  std::shared_ptr<TestWindow> NewWindow(const std::string& className = "Test.TestWindow") {
    auto window = std::make_shared<TestWindow>(className);
    windows_.push_back(window);
    return window;
  }

  std::vector<std::shared_ptr<TestWindow>> windows_;
  std::vector<std::string> events_;
};

TEST_F(WindowTest, EdgeLocksKeepTheirDistancesAtEverySizeWithinTheLimits) {
  auto window = NewWindow();
  window->MenuBar(OneMenuBar());
  window->SetProperties({{"Width", int64_t{200}},
                         {"Height", int64_t{100}},
                         {"MinimumWidth", int64_t{50}},
                         {"MinimumHeight", int64_t{40}},
                         {"MaximumWidth", int64_t{500}},
                         {"MaximumHeight", int64_t{300}}});
  const auto place = [&](const char* name, int64_t left, int64_t top, bool lockLeft, bool lockTop,
                         bool lockRight, bool lockBottom) {
    auto box = std::make_shared<CheckBox>();
    window->AddControl(name, box);
    box->SetProperties({{"Left", left},
                        {"Top", top},
                        {"Width", int64_t{30}},
                        {"Height", int64_t{10}},
                        {"LockLeft", lockLeft},
                        {"LockTop", lockTop},
                        {"LockRight", lockRight},
                        {"LockBottom", lockBottom}});
    return box;
  };
  auto all = place("all", 10, 20, true, true, true, true);
  auto rightBottom = place("rightBottom", 150, 80, false, false, true, true);
  auto none = place("none", 40, 50, false, false, false, false);

  window->Width(300);
  window->Height(200);
  EXPECT_EQ(RectOf(*all), (Rect{10, 20, 130, 110}));
  EXPECT_EQ(RectOf(*rightBottom), (Rect{250, 180, 30, 10}));
  EXPECT_EQ(RectOf(*none), (Rect{40, 50, 30, 10}));

  // Past the maximum the window stops at it, and the controls with it.
  window->Width(900);
  window->Height(900);
  EXPECT_EQ(window->Width(), 500);
  EXPECT_EQ(window->Height(), 300);
  EXPECT_EQ(RectOf(*all), (Rect{10, 20, 330, 210}));
  EXPECT_EQ(RectOf(*rightBottom), (Rect{450, 280, 30, 10}));

  // Below the minimum likewise; a stretched control never gets a negative size.
  window->Width(1);
  window->Height(1);
  EXPECT_EQ(window->Width(), 50);
  EXPECT_EQ(window->Height(), 40);
  EXPECT_EQ(RectOf(*all), (Rect{10, 20, 0, 0}));
  EXPECT_EQ(RectOf(*rightBottom), (Rect{0, 20, 30, 10}));
}

TEST_F(WindowTest, PlaceAndSizeAreThoseOfTheContentBelowTheMenuBar) {
  auto window = NewWindow();
  window->SetProperties({{"Title", std::string("content-area")}});
  window->MenuBar(OneMenuBar());
  window->Constructor();
  window->Left(120);
  window->Top(150);
  window->Width(220);
  window->Height(180);
  uitest::Settle();

  QWidget* top = uitest::TopLevelTitled("content-area");
  ASSERT_NE(top, nullptr);
  QMenuBar* bar = top->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  ASSERT_TRUE(bar->isVisible());
  const int barHeight = bar->height();
  EXPECT_GT(barHeight, 0);
  EXPECT_EQ(top->geometry(), QRect(120, 150 - barHeight, 220, 180 + barHeight));

  EXPECT_EQ(window->Left(), 120);
  EXPECT_EQ(window->Top(), 150);
  EXPECT_EQ(window->Width(), 220);
  EXPECT_EQ(window->Height(), 180);

  // Written out and read back, the values give the same window.
  auto copy = NewWindow();
  copy->MenuBar(OneMenuBar());
  copy->Constructor();
  copy->Left(window->Left());
  copy->Top(window->Top());
  copy->Width(window->Width());
  copy->Height(window->Height());
  uitest::Settle();
  EXPECT_EQ((Rect{copy->Left(), copy->Top(), copy->Width(), copy->Height()}),
            (Rect{120, 150, 220, 180}));
}

TEST_F(WindowTest, PlaceOffEveryScreenIsBroughtBackAndAPlaceOnScreenStays) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  auto window = NewWindow();
  window->SetProperties({{"Width", int64_t{160}}, {"Height", int64_t{160}}});
  window->Constructor();

  window->Left(area.left() + 10);
  window->Top(area.top() + 40);
  EXPECT_EQ(window->Left(), area.left() + 10);
  EXPECT_EQ(window->Top(), area.top() + 40);

  window->Left(area.right() + 5000);
  window->Top(area.bottom() + 3000);
  uitest::Settle();
  EXPECT_GE(window->Left(), area.left());
  EXPECT_LE(window->Left() + window->Width(), area.right() + 1);
  EXPECT_GE(window->Top(), area.top());
  EXPECT_LE(window->Top() + window->Height(), area.bottom() + 1);

  window->Left(-4000);
  EXPECT_GE(window->Left(), area.left());
}

TEST_F(WindowTest, UnknownPropertiesAndWrongValuesAreRefusedAfterTheOnesBefore) {
  auto window = NewWindow();
  EXPECT_THROW(window->SetProperties({{"Title", std::string("first")}, {"Colour", int64_t{1}}}),
               rt::RuntimeException);
  EXPECT_EQ(window->Title(), "first");
  EXPECT_THROW(window->SetProperties({{"Width", std::string("wide")}}), rt::IllegalCastException);
  EXPECT_THROW(window->SetProperties({{"Type", int64_t{3}}}), rt::RuntimeException);

  auto list = std::make_shared<Listbox>();
  window->AddControl("list", list);
  EXPECT_THROW(list->SetProperties({{"HeadingIndex", int64_t{0}}}), rt::RuntimeException);
  EXPECT_THROW(list->SetProperties({{"Caption", std::string("x")}}), rt::RuntimeException);
  EXPECT_THROW(list->SetProperties({{"FontSize", true}}), rt::IllegalCastException);
}

TEST_F(WindowTest, OpeningRaisesLayoutCreateControlsOpenAndNamingYieldsTheWindowUntilClosed) {
  auto window = NewWindow("Test.Lifecycle");
  const auto record = [this, raw = window.get()](const char* event) {
    return [this, raw, event] {
      events_.push_back(event);
      // Naming the window from its own handlers yields this very window.
      EXPECT_EQ(rt::ui::GetImplicitWindow("Test.Lifecycle").get(), raw) << event;
    };
  };
  window->SetEventHandler(WindowEvent::Layout, record("Layout"));
  window->SetEventHandler(WindowEvent::CreateControls, record("CreateControls"));
  window->SetEventHandler(WindowEvent::Open, record("Open"));
  window->SetEventHandler(WindowEvent::Activate, record("Activate"));
  window->SetEventHandler(WindowEvent::Close, record("Close"));

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
  EXPECT_FALSE(window->IsOpen());
  EXPECT_EQ(rt::ui::GetImplicitWindow("Test.Lifecycle"), nullptr);
}

TEST_F(WindowTest, HandlerExceptionIsReportedOnOneLineAndTheWindowGoesOn) {
  auto window = NewWindow("Test.Failing");
  window->SetEventHandler(WindowEvent::Layout, [this] {
    events_.push_back("Layout");
    throw rt::NilObjectException("no menu\nhere");
  });
  window->SetEventHandler(WindowEvent::CreateControls, [this] {
    events_.push_back("CreateControls");
    throw std::runtime_error("plain failure");
  });
  window->SetEventHandler(WindowEvent::Open, [this] { events_.push_back("Open"); });

  testing::internal::CaptureStderr();
  window->Constructor();
  const std::string reported = testing::internal::GetCapturedStderr();

  EXPECT_EQ(events_, (std::vector<std::string>{"Layout", "CreateControls", "Open"}));
  EXPECT_NE(reported.find("Unhandled NilObjectException: no menu here\n"), std::string::npos)
      << reported;
  EXPECT_NE(reported.find("Unhandled std::runtime_error: plain failure\n"), std::string::npos)
      << reported;
  EXPECT_TRUE(window->IsOpen());
  EXPECT_EQ(rt::ui::GetImplicitWindow("Test.Failing"), window);
}

TEST_F(WindowTest, ControlsAreFoundByNameWithoutRegardToLetterCase) {
  auto window = NewWindow();
  auto list = std::make_shared<Listbox>();
  auto box = std::make_shared<CheckBox>();
  window->AddControl("Listbox1", list);
  window->AddControl("CB1", box);
  EXPECT_EQ(window->ControlByName("listbox1"), list);
  EXPECT_EQ(window->ControlByName("CB1"), box);
  EXPECT_EQ(window->ControlByName("CB2"), nullptr);
  EXPECT_THROW(window->AddControl("again", list), rt::RuntimeException);
  EXPECT_THROW(window->AddControl("none", nullptr), rt::NilObjectException);
  EXPECT_EQ(window->Controls().size(), 2u);
}

TEST(UiThread, OperationsOffTheMainThreadRaiseInsteadOfTouchingQt) {
  auto window = std::make_shared<TestWindow>();
  auto box = std::make_shared<CheckBox>();
  std::vector<std::string> raised;
  std::thread worker([&] {
    const auto attempt = [&](const char* what, const std::function<void()>& call) {
      try {
        call();
      } catch (const rt::ThreadAccessingUIException&) {
        raised.push_back(what);
      }
    };
    attempt("window", [] { TestWindow other; });
    attempt("width", [&] { window->Width(300); });
    attempt("value", [&] { box->Value(false); });
    attempt("menu", [] { rt::ui::MenuItem item; });
    attempt("quit", [] { rt::ui::Quit(0); });
    attempt("lookup", [] { rt::ui::GetImplicitWindow("Test.TestWindow"); });
  });
  worker.join();
  EXPECT_EQ(raised,
            (std::vector<std::string>{"window", "width", "value", "menu", "quit", "lookup"}));
}

}  // namespace
