#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTableWidget>
#include <string>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/ui/controls.h"
#include "tests/ui/ui_support.h"

namespace {

using rt::ui::CheckBox;
using rt::ui::Listbox;
using rt::ui::WindowEvent;
using uitest::TestWindow;

struct Click {
  const Listbox* list;
  int64_t row, column, x, y;
};

class ListboxTest : public testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_shared<TestWindow>("Test.ListWindow");
    window_->SetProperties(
        {{"Title", std::string("list-window")}, {"Width", int64_t{200}}, {"Height", int64_t{200}}});
    list_ = std::make_shared<Listbox>();
    window_->AddControl("list", list_);
    list_->SetProperties({{"Left", int64_t{0}},
                          {"Top", int64_t{0}},
                          {"Width", int64_t{200}},
                          {"Height", int64_t{200}}});
    list_->SetCellClickHandler([this](const std::shared_ptr<Listbox>& list, int64_t row,
                                      int64_t column, int64_t x, int64_t y) {
      clicks_.push_back({list.get(), row, column, x, y});
      events_.push_back("click " + std::to_string(row));
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
    ASSERT_TRUE(uitest::SettleUntil([] {
      return uitest::TopLevelTitled("list-window") != nullptr &&
             uitest::TopLevelTitled("list-window")->isActiveWindow();
    }));
  }

  std::shared_ptr<TestWindow> window_;
  std::shared_ptr<TestWindow> other_;
  std::shared_ptr<Listbox> list_;
  std::vector<Click> clicks_;
  std::vector<std::string> events_;
  bool consume_ = false;
};

TEST_F(ListboxTest, RowsHoldTheirCellsAndOutOfRangeCellsRaise) {
  list_->SetProperties({{"ColumnCount", int64_t{2}}});
  list_->DeleteAllRows();
  list_->AddRow({"one", "uno", "dropped"});
  list_->AddRow({"two"});
  list_->AddRow({});
  EXPECT_EQ(list_->RowCount(), 3);
  EXPECT_EQ(list_->Cell(0, 0), "one");
  EXPECT_EQ(list_->Cell(0, 1), "uno");
  EXPECT_EQ(list_->Cell(1, 1), "");
  EXPECT_EQ(list_->Cell(2, 0), "");
  EXPECT_THROW(list_->Cell(3, 0), rt::ui::OutOfBoundsException);
  EXPECT_THROW(list_->Cell(0, 2), rt::ui::OutOfBoundsException);
  EXPECT_THROW(list_->Cell(-1, 0), rt::ui::OutOfBoundsException);

  list_->DeleteAllRows();
  EXPECT_EQ(list_->RowCount(), 0);
  list_->AddRow({"日本語 ✓"});
  EXPECT_EQ(list_->Cell(0, 0), "日本語 ✓");
}

TEST_F(ListboxTest, PressOnACellRaisesCellClickOnceWithTheListRowColumnAndPlace) {
  Open();
  list_->ClickCell(2, 0);
  ASSERT_EQ(clicks_.size(), 1u);
  EXPECT_EQ(clicks_[0].list, list_.get());
  EXPECT_EQ(clicks_[0].row, 2);
  EXPECT_EQ(clicks_[0].column, 0);
  EXPECT_GT(clicks_[0].x, 0);
  EXPECT_GT(clicks_[0].y, 0);
  EXPECT_LT(clicks_[0].x, list_->Width());
  // False lets the list select the row as usual.
  EXPECT_EQ(list_->SelectedRow(), 2);

  consume_ = true;
  list_->ClickCell(0, 0);
  ASSERT_EQ(clicks_.size(), 2u);
  EXPECT_EQ(clicks_[1].row, 0);
  EXPECT_EQ(list_->SelectedRow(), 2);

  EXPECT_THROW(list_->ClickCell(3, 0), rt::ui::OutOfBoundsException);
}

TEST_F(ListboxTest, FirstPressOnAnInactiveWindowRaisesActivateBeforeTheClickOnThePressedRow) {
  // Activation refills the list, as the application's does; meanwhile a row
  // may have come in before the pressed one, or the pressed one may be gone.
  std::vector<const char*> rows = {"a", "b", "c"};
  window_->SetEventHandler(WindowEvent::Activate, [&] {
    events_.push_back("activate");
    list_->DeleteAllRows();
    for (const char* name : rows) list_->AddRow({name});
  });
  Open();
  std::string clicked;
  list_->SetCellClickHandler(
      [&](const std::shared_ptr<Listbox>& list, int64_t row, int64_t, int64_t, int64_t) {
        events_.push_back("click " + std::to_string(row));
        clicked = list->Cell(row, 0);
        return false;
      });

  const auto pressWhileInactive = [&](int64_t row) {
    other_ = std::make_shared<TestWindow>("Test.Other");
    other_->SetProperties({{"Title", std::string("other-window")}});
    other_->Constructor();
    ASSERT_TRUE(uitest::SettleUntil(
        [] { return !uitest::TopLevelTitled("list-window")->isActiveWindow(); }));
    events_.clear();
    list_->ClickCell(row, 0);
    // The platform's activation that follows raises nothing more.
    ASSERT_TRUE(uitest::SettleUntil(
        [] { return uitest::TopLevelTitled("list-window")->isActiveWindow(); }));
    uitest::Settle();
    other_->Close();
  };

  rows = {"new", "a", "b", "c"};
  pressWhileInactive(1);
  EXPECT_EQ(events_, (std::vector<std::string>{"activate", "click 2"}));
  EXPECT_EQ(clicked, "b");

  rows = {"new", "b", "c"};
  pressWhileInactive(1);
  EXPECT_EQ(events_, (std::vector<std::string>{"activate"}));
}

TEST_F(ListboxTest, PressBelowTheLastRowRaisesNoCellClick) {
  Open();
  auto* view = uitest::TopLevelTitled("list-window")->findChild<QTableWidget*>("list");
  ASSERT_NE(view, nullptr);
  const QPoint below(10, view->visualRect(view->model()->index(2, 0)).bottom() + 20);
  ASSERT_LT(below.y(), view->viewport()->height());
  QMouseEvent press(QEvent::MouseButtonPress, below, view->viewport()->mapToGlobal(below),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &press);
  EXPECT_TRUE(clicks_.empty());
}

TEST_F(ListboxTest, ExceptionFromTheClickHandlerIsReportedAndTheListGoesOn) {
  Open();
  list_->SetCellClickHandler([](const std::shared_ptr<Listbox>&, int64_t, int64_t, int64_t,
                                int64_t) -> bool { throw rt::IOException("disk gone", 5); });
  testing::internal::CaptureStderr();
  list_->ClickCell(0, 0);
  const std::string reported = testing::internal::GetCapturedStderr();
  EXPECT_EQ(reported, "Unhandled IOException: disk gone\n");
  EXPECT_EQ(list_->SelectedRow(), 0);
  list_->AddRow({"d"});
  EXPECT_EQ(list_->RowCount(), 4);
}

TEST(CheckBox, VisualStateAndValue) {
  auto window = std::make_shared<TestWindow>();
  auto box = std::make_shared<CheckBox>();
  window->AddControl("box", box);
  box->SetProperties({{"Caption", std::string("clearing overrides")}, {"VisualState", int64_t{1}}});
  EXPECT_EQ(box->Caption(), "clearing overrides");
  EXPECT_TRUE(box->Value());
  box->Value(false);
  EXPECT_FALSE(box->Value());
  box->SetProperties({{"VisualState", int64_t{2}}});
  EXPECT_FALSE(box->Value());
  box->Value(true);
  EXPECT_TRUE(box->Value());
  EXPECT_THROW(box->SetProperties({{"VisualState", int64_t{3}}}), rt::RuntimeException);
}

}  // namespace
