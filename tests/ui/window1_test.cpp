#include "app/window1.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QTableWidget>

#include "runtime/ui/runtime.h"
#include "runtime/ui/testing.h"
#include "tests/ui/recording_window1_events.h"
#include "tests/ui/ui_support.h"

namespace {

using app::Window1;
using uitest::Calls;
using uitest::Rect;
using uitest::RectOf;

class Window1Test : public testing::Test {
 protected:
  void SetUp() override { Calls() = {}; }
  void TearDown() override {
    if (auto open = rt::ui::GetImplicitWindow(Window1::kFullClassName)) open->Close();
    uitest::Settle(5);
  }
  static QWidget* Shown() { return uitest::TopLevelTitled("Sorvane"); }
};

TEST_F(Window1Test, NamingYieldsTheOneOpenWindowAlsoInsideItsOpenAndCloseHandlers) {
  const std::shared_ptr<Window1> window = Window1::Instance();
  EXPECT_EQ(Window1::Instance(), window);
  EXPECT_EQ(Calls().open, 1);
  EXPECT_TRUE(Calls().open_named_itself);
  window->Close();
  EXPECT_EQ(Calls().close, 1);
  EXPECT_TRUE(Calls().close_named_itself);
  EXPECT_EQ(rt::ui::GetImplicitWindow(Window1::kFullClassName), nullptr);
  // With none open, naming makes exactly one new window.
  EXPECT_NE(Window1::Instance(), window);
  EXPECT_EQ(Calls().open, 2);
  uitest::Settle();
  EXPECT_EQ(uitest::VisibleTopLevelWindows(), 1);
}

TEST_F(Window1Test, IsAFloatingWindowTitledSorvaneWithTheListAndTheCheckBox) {
  const std::shared_ptr<Window1> window = Window1::Instance();
  ASSERT_NE(Shown(), nullptr);
  const Qt::WindowFlags flags = Shown()->windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE((flags & Qt::WindowCloseButtonHint) && (flags & Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags & (Qt::WindowMaximizeButtonHint | Qt::WindowFullscreenButtonHint));

  EXPECT_TRUE(window->CB1()->Value());
  auto* list = Shown()->findChild<QTableWidget*>("Listbox1");
  auto* box = Shown()->findChild<QCheckBox*>("CB1");
  ASSERT_TRUE(list && box);
  EXPECT_EQ(Shown()->findChildren<QTableWidget*>().size() + Shown()->findChildren<QCheckBox*>().size(),
            2u);
  EXPECT_EQ(list->columnCount(), 1);
  EXPECT_EQ(box->text(), "clearing overrides");
  EXPECT_FALSE(list->horizontalHeader()->isVisible());
  EXPECT_FALSE(list->showGrid());
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_DOUBLE_EQ(box->font().pointSizeF(), 10.0);
}

TEST_F(Window1Test, ControlsFollowTheWindowToItsLimits) {
  const std::shared_ptr<Window1> window = Window1::Instance();
  uitest::Settle();
  EXPECT_EQ(window->Width(), 160);
  EXPECT_EQ(window->Height(), 160);
  struct Case {
    int64_t width, height, keptWidth, keptHeight;
    Rect list, box;
  };
  // At the smallest size the check box keeps its width and passes the right edge.
  for (const Case& c : std::vector<Case>{
           {160, 160, 160, 160, {6, 4, 148, 136}, {5, 138, 149, 20}},
           {400, 600, 400, 600, {6, 4, 388, 576}, {5, 578, 149, 20}},
           {64, 64, 64, 64, {6, 4, 52, 40}, {5, 42, 149, 20}},
           {10, 5000, 64, 600, {6, 4, 52, 576}, {5, 578, 149, 20}},
       }) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    window->Width(c.width);
    window->Height(c.height);
    EXPECT_EQ(window->Width(), c.keptWidth);
    EXPECT_EQ(window->Height(), c.keptHeight);
    EXPECT_EQ(RectOf(*window->Listbox1()), c.list);
    EXPECT_EQ(RectOf(*window->CB1()), c.box);
  }
}

TEST_F(Window1Test, ClickOnACellCallsListbox1CellClickOnceWithTheListAndTheRow) {
  const std::shared_ptr<Window1> window = Window1::Instance();
  ASSERT_TRUE(uitest::SettleUntil([] { return Shown() != nullptr && Shown()->isActiveWindow(); }));
  for (const char* name : {"one", "two", "three"}) window->Listbox1()->AddRow({name});
  rt::ui::testing::ClickCell(*window->Listbox1(), 1, 0);
  ASSERT_EQ(Calls().clicks.size(), 1u);
  EXPECT_EQ(Calls().clicks[0].list, window->Listbox1().get());
  EXPECT_EQ(Calls().clicks[0].row, 1);
  // The handler's False leaves the list its own selection of the row.
  EXPECT_EQ(rt::ui::testing::SelectedRow(*window->Listbox1()), 1);
}

}  // namespace
