#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTableWidget>
#include <string>
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

  auto* view = Shown()->findChild<QTableWidget*>("list");
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
