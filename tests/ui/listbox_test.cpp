#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTableWidget>
#include <QWindow>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/ui/controls.h"
#include "runtime/ui/testing.h"
#include "tests/ui/ui_support.h"

namespace {

using rt::ui::Listbox;
using rt::ui::OutOfBoundsException;
using rt::ui::testing::ClickCell;
using rt::ui::testing::SelectedRow;
using uitest::TestWindow;

QWidget* Shown() { return uitest::TopLevelTitled("list-window"); }

// A 200 x 200 window filled by a list of the rows a, b, c whose clicks are
// recorded.
class ListboxTest : public testing::Test {
 protected:
  void SetUp() override {
    window_->SetProperties(
        {{"Title", std::string("list-window")}, {"Width", int64_t{200}}, {"Height", int64_t{200}}});
    window_->AddControl("list", list_);
    list_->SetProperties({{"Width", int64_t{200}}, {"Height", int64_t{200}}});
    list_->SetCellClickHandler([this](const std::shared_ptr<Listbox>& list, int64_t row,
                                      int64_t column, int64_t x, int64_t y) {
      EXPECT_EQ(list, list_);
      events_.push_back("click " + std::to_string(row) + "," + std::to_string(column));
      EXPECT_TRUE(x > 0 && y > 0 && x < list->Width()) << x << ", " << y;
      clicked_ = list->Cell(row, 0);
      return consume_;
    });
    for (const char* name : {"a", "b", "c"}) list_->AddRow({name});
  }

  void TearDown() override {
    window_->Close();
    if (other_) other_->Close();
    uitest::Settle(5);
  }

  void Open() {
    window_->Constructor();
    ASSERT_TRUE(uitest::SettleUntil([] { return Shown() && Shown()->isActiveWindow(); }));
  }

  static QTableWidget* View() { return Shown()->findChild<QTableWidget*>("list"); }

  // What the window system does: a move onto row `row` reaches the window,
  // a press the list; each stamped `stamp`.
  void Send(QEvent::Type type, int row, uint32_t stamp) {
    QTableWidget* view = View();
    ASSERT_NE(view, nullptr);
    const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
    const QPoint global = view->viewport()->mapToGlobal(at);
    const bool press = type == QEvent::MouseButtonPress;
    QMouseEvent event(type, press ? at : Shown()->windowHandle()->mapFromGlobal(global), global,
                      press ? Qt::LeftButton : Qt::NoButton, press ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
    event.setTimestamp(stamp);
    QCoreApplication::sendEvent(
        press ? static_cast<QObject*>(view->viewport()) : Shown()->windowHandle(), &event);
  }

  std::shared_ptr<TestWindow> window_ = std::make_shared<TestWindow>("Test.ListWindow");
  std::shared_ptr<TestWindow> other_;
  std::shared_ptr<Listbox> list_ = std::make_shared<Listbox>();
  std::vector<std::string> events_;
  std::string clicked_;
  bool consume_ = false;
};

TEST_F(ListboxTest, RowsKeepTheBytesTheyWereGivenAndOutOfRangeCellsRaise) {
  list_->DeleteAllRows();
  const std::vector<std::string> names = {"日本語 ✓", "caf\xE9", "\xFF\xFE", ""};
  for (const std::string& name : names) list_->AddRow({name, "dropped"});
  ASSERT_EQ(rt::ui::testing::RowCount(*list_), 4);
  for (size_t row = 0; row < names.size(); ++row) EXPECT_EQ(list_->Cell(row, 0), names[row]);
  for (auto [row, column] : std::vector<std::pair<int, int>>{{4, 0}, {0, 1}, {-1, 0}}) {
    EXPECT_THROW(list_->Cell(row, column), OutOfBoundsException) << row << ", " << column;
  }
}

TEST_F(ListboxTest, PressRaisesCellClickOnceOnARowOnlyAndTrueKeepsTheSelection) {
  Open();
  ClickCell(*list_, 2, 0);
  EXPECT_EQ(events_, std::vector<std::string>{"click 2,0"});
  EXPECT_EQ(SelectedRow(*list_), 2);
  consume_ = true;
  ClickCell(*list_, 0, 0);
  EXPECT_EQ(events_.back(), "click 0,0");
  EXPECT_EQ(SelectedRow(*list_), 2);
  EXPECT_THROW(ClickCell(*list_, 3, 0), OutOfBoundsException);

  QTableWidget* view = View();
  ASSERT_NE(view, nullptr);
  const QPoint below(10, view->visualRect(view->model()->index(2, 0)).bottom() + 20);
  ASSERT_LT(below.y(), view->viewport()->height());
  QMouseEvent press(QEvent::MouseButtonPress, below, view->viewport()->mapToGlobal(below),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &press);
  EXPECT_EQ(events_.size(), 2u);
}

TEST_F(ListboxTest, FirstPressOnAnInactiveWindowRaisesActivateBeforeTheClickOnThePressedRow) {
  // Activation refills the list, as the application's does; meanwhile a row
  // may have come in before the pressed one, or the pressed one may be gone.
  std::vector<const char*> rows;
  window_->SetEventHandler(rt::ui::WindowEvent::Activate, [&] {
    events_.push_back("activate");
    list_->DeleteAllRows();
    for (const char* name : rows) list_->AddRow({name});
  });
  rows = {"a", "b", "c"};
  Open();
  const auto pressWhileInactive = [&](int64_t row) {
    other_ = std::make_shared<TestWindow>("Test.Other");
    other_->SetProperties({{"Title", std::string("other-window")}});
    other_->Constructor();
    ASSERT_TRUE(uitest::SettleUntil([] { return !Shown()->isActiveWindow(); }));
    events_.clear();
    ClickCell(*list_, row, 0);
    // The platform's activation that follows raises nothing more.
    ASSERT_TRUE(uitest::SettleUntil([] { return Shown()->isActiveWindow(); }));
    uitest::Settle();
    other_->Close();
  };
  rows = {"new", "a", "b", "c"};
  pressWhileInactive(1);
  EXPECT_EQ(events_, (std::vector<std::string>{"activate", "click 2,0"}));
  EXPECT_EQ(clicked_, "b");
  rows = {"new", "b", "c"};
  pressWhileInactive(1);
  EXPECT_EQ(events_, std::vector<std::string>{"activate"});
}

uint32_t Now() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

// Longer than a drawing takes to be seen.
void WaitUnseen() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

// A press is told apart from a refill drawn after it was made by the time
// stamps of the window's input events, whatever clock stamps them: `stamp`
// gives the stamp of a move onto the row of b for this machine's clock
// reading `now`. The press follows `after` milliseconds later, but reaches
// the list only once a row has come in above and the list has been drawn.
struct PressTime {
  const char* name;
  uint32_t (*stamp)(uint32_t now);
  int after;
};

void PrintTo(const PressTime& time, std::ostream* out) { *out << time.name; }

class ListboxPressTimeTest : public ListboxTest, public testing::WithParamInterface<PressTime> {};

TEST_P(ListboxPressTimeTest, PressGoesToTheRowDrawnWhenItWasMade) {
  Open();
  WaitUnseen();
  const uint32_t moved = GetParam().stamp(Now());
  Send(QEvent::MouseMove, 1, moved);
  WaitUnseen();
  list_->DeleteAllRows();
  for (const char* name : {"new", "a", "b", "c"}) list_->AddRow({name});
  View()->viewport()->repaint();
  Send(QEvent::MouseButtonPress, 1, moved + static_cast<uint32_t>(GetParam().after));
  EXPECT_EQ(events_, std::vector<std::string>{"click 2,0"});
  EXPECT_EQ(clicked_, "b");
}

INSTANTIATE_TEST_SUITE_P(
    Clocks, ListboxPressTimeTest,
    testing::Values(
        PressTime{"DisplayClockAhead", [](uint32_t now) { return now + 1000000u; }, 3},
        PressTime{"DisplayClockBehind", [](uint32_t now) { return now - 1000000u; }, 3},
        PressTime{"DisplayClockWrapsBetweenMoveAndPress", [](uint32_t) { return 0xFFFFFFFEu; }, 3},
        // Held back past every drawing kept: the oldest is the nearest to
        // what the user saw.
        PressTime{"PressOlderThanEveryDrawingKept", [](uint32_t now) { return now; }, -5000}),
    [](const testing::TestParamInfo<PressTime>& param) { return param.param.name; });

// The program is busy (a refill on activation) before it handles a press; a
// second press made meanwhile is made during the click, and starts nothing.
TEST_F(ListboxTest, PressMadeBeforeARunHandledLateHadEndedStartsNone) {
  Open();
  const uint32_t moved = Now();
  Send(QEvent::MouseMove, 0, moved);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Send(QEvent::MouseButtonPress, 0, moved + 1);
  Send(QEvent::MouseButtonPress, 2, moved + 100);
  EXPECT_EQ(events_, std::vector<std::string>{"click 0,0"});
}

// A window manager that keeps the window from taking the focus never answers
// the activation that a press asks for. Each press on the still inactive
// window raises Activate, and so does the activation that comes later.
TEST_F(ListboxTest, ActivationThatThePlatformRefusesIsOverOnceItsPressHasBeenHandled) {
  window_->SetEventHandler(rt::ui::WindowEvent::Activate, [&] { events_.push_back("activate"); });
  Open();
  other_ = std::make_shared<TestWindow>("Test.Other");
  other_->SetProperties({{"Title", std::string("other-window")}});
  other_->Constructor();
  ASSERT_TRUE(uitest::SettleUntil([] { return !Shown()->isActiveWindow(); }));
  QWindow* handle = Shown()->windowHandle();
  handle->setFlag(Qt::WindowDoesNotAcceptFocus);
  {
    // Qt warns of each refused request.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    events_.clear();
    ClickCell(*list_, 0, 0);
    ClickCell(*list_, 1, 0);
    uitest::Settle();
    qInstallMessageHandler(previous);
  }
  EXPECT_EQ(events_, (std::vector<std::string>{"activate", "click 0,0", "activate", "click 1,0"}));
  EXPECT_FALSE(Shown()->isActiveWindow());
  handle->setFlag(Qt::WindowDoesNotAcceptFocus, false);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  events_.clear();
  Shown()->activateWindow();
  ASSERT_TRUE(uitest::SettleUntil([] { return Shown()->isActiveWindow(); }));
  EXPECT_EQ(events_, std::vector<std::string>{"activate"});
}

TEST_F(ListboxTest, ExceptionFromTheClickHandlerIsReportedAndTheListGoesOn) {
  Open();
  list_->SetCellClickHandler([](const std::shared_ptr<Listbox>&, int64_t, int64_t, int64_t,
                                int64_t) -> bool { throw rt::IOException("disk gone", 5); });
  testing::internal::CaptureStderr();
  ClickCell(*list_, 1, 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unhandled IOException: disk gone\n");
  EXPECT_EQ(SelectedRow(*list_), 1);
}

}  // namespace
