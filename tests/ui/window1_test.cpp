#include "app/window1.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>

#include "app/menubar1.h"
#include "runtime/ui/runtime.h"
#include "tests/ui/recording_window1_events.h"
#include "tests/ui/ui_support.h"

namespace {

using app::Window1;

struct Rect {
  int64_t left, top, width, height;
  bool operator==(const Rect&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "(" << r.left << ", " << r.top << ", " << r.width << " x " << r.height << ")";
}

Rect RectOf(const rt::ui::Control& c) { return {c.Left(), c.Top(), c.Width(), c.Height()}; }

class Window1Test : public testing::Test {
 protected:
  void SetUp() override { uitest::Calls() = {}; }
  void TearDown() override {
    if (auto open = rt::ui::GetImplicitWindow(Window1::kFullClassName)) open->Close();
    uitest::Settle(5);
  }

  static QWidget* Shown() { return uitest::TopLevelTitled("Sorvane"); }
};

TEST_F(Window1Test, NamingYieldsTheOneOpenWindowAlsoInsideItsOpenAndCloseHandlers) {
  const std::shared_ptr<Window1> window = Window1::Instance();
  EXPECT_EQ(Window1::Instance(), window);
  EXPECT_EQ(uitest::Calls().open, 1);
  EXPECT_TRUE(uitest::Calls().open_named_itself);
  uitest::Settle();
  EXPECT_EQ(uitest::VisibleTopLevelWindows(), 1);

  window->Close();
  EXPECT_EQ(uitest::Calls().close, 1);
  EXPECT_TRUE(uitest::Calls().close_named_itself);
  EXPECT_EQ(rt::ui::GetImplicitWindow(Window1::kFullClassName), nullptr);

  // With none open, naming makes exactly one new window.
  const std::shared_ptr<Window1> next = Window1::Instance();
  EXPECT_NE(next, window);
  EXPECT_EQ(uitest::Calls().open, 2);
  uitest::Settle();
  EXPECT_EQ(uitest::VisibleTopLevelWindows(), 1);
}

TEST_F(Window1Test, HoldsTheListAndTheCheckBoxWithTheirDesignProperties) {
  const std::shared_ptr<Window1> window = Window1::Instance();
  ASSERT_EQ(window->Controls().size(), 2u);
  ASSERT_NE(window->Listbox1(), nullptr);
  ASSERT_NE(window->CB1(), nullptr);
  EXPECT_EQ(window->Listbox1()->Name(), "Listbox1");
  EXPECT_EQ(window->Listbox1()->ColumnCount(), 1);
  EXPECT_EQ(window->Listbox1()->RowCount(), 0);
  EXPECT_EQ(window->CB1()->Caption(), "clearing overrides");
  EXPECT_TRUE(window->CB1()->Value());
  EXPECT_EQ(RectOf(*window->Listbox1()), (Rect{6, 4, 148, 136}));
  EXPECT_EQ(RectOf(*window->CB1()), (Rect{5, 138, 149, 20}));

  auto* list = Shown()->findChild<QTableWidget*>("Listbox1");
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(list->horizontalHeader()->isVisible());
  EXPECT_FALSE(list->showGrid());
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(list->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
  EXPECT_EQ(list->frameShape(), QFrame::StyledPanel);
  EXPECT_EQ(list->focusPolicy(), Qt::StrongFocus);
  auto* box = Shown()->findChild<QCheckBox*>("CB1");
  ASSERT_NE(box, nullptr);
  EXPECT_DOUBLE_EQ(box->font().pointSizeF(), 10.0);
  // Tab goes from the list (tab index 2) to the check box (3); the list's
  // own parts (viewport, scroll bars) lie in between in Qt's chain.
  QWidget* next = list->nextInFocusChain();
  while (next != list && list->isAncestorOf(next)) next = next->nextInFocusChain();
  EXPECT_EQ(next, box);
}

TEST_F(Window1Test, IsAFloatingUtilityWindowTitledSorvaneWithCloseAndMinimiseButtonsOnly) {
  const std::shared_ptr<Window1> window = Window1::Instance();
  EXPECT_EQ(window->Title(), "Sorvane");
  const Qt::WindowFlags flags = Shown()->windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowFullscreenButtonHint);
  EXPECT_TRUE(Shown()->testAttribute(Qt::WA_MacAlwaysShowToolWindow));
}

TEST_F(Window1Test, UsesTheSharedMenuBarWithTheEditCommandsDisabled) {
  const std::shared_ptr<Window1> window = Window1::Instance();
  EXPECT_EQ(window->MenuBar(), app::MenuBar1::Instance());
  QMenuBar* bar = Shown()->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  const QList<QAction*> menus = bar->actions();
  ASSERT_EQ(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), "ファイル");
  EXPECT_EQ(menus[1]->text(), "編集");
  EXPECT_TRUE(menus[0]->menu()->actions().at(0)->isEnabled());
  for (QAction* command : menus[1]->menu()->actions()) {
    if (!command->isSeparator()) {
      EXPECT_FALSE(command->isEnabled()) << command->text().toStdString();
    }
  }
}

TEST_F(Window1Test, ControlsFollowTheWindowToItsLimits) {
  const std::shared_ptr<Window1> window = Window1::Instance();
  uitest::Settle();
  EXPECT_EQ(window->Width(), 160);
  EXPECT_EQ(window->Height(), 160);

  window->Width(400);
  window->Height(600);
  EXPECT_EQ(RectOf(*window->Listbox1()), (Rect{6, 4, 388, 576}));
  EXPECT_EQ(RectOf(*window->CB1()), (Rect{5, 578, 149, 20}));

  // The smallest size: the check box keeps its width and passes the right edge.
  window->Width(64);
  window->Height(64);
  EXPECT_EQ(RectOf(*window->Listbox1()), (Rect{6, 4, 52, 40}));
  EXPECT_EQ(RectOf(*window->CB1()), (Rect{5, 42, 149, 20}));

  window->Width(10);
  window->Height(5000);
  EXPECT_EQ(window->Width(), 64);
  EXPECT_EQ(window->Height(), 600);
  EXPECT_EQ(RectOf(*window->Listbox1()), (Rect{6, 4, 52, 576}));
}

TEST_F(Window1Test, ClickOnACellCallsListbox1CellClickOnceWithTheListAndTheRow) {
  const std::shared_ptr<Window1> window = Window1::Instance();
  ASSERT_TRUE(uitest::SettleUntil([] { return Shown() != nullptr && Shown()->isActiveWindow(); }));
  for (const char* name : {"one", "two", "three"}) window->Listbox1()->AddRow({name});

  window->Listbox1()->ClickCell(1, 0);
  ASSERT_EQ(uitest::Calls().clicks.size(), 1u);
  EXPECT_EQ(uitest::Calls().clicks[0].list, window->Listbox1().get());
  EXPECT_EQ(uitest::Calls().clicks[0].row, 1);
  EXPECT_EQ(uitest::Calls().clicks[0].column, 0);
  // The handler's False leaves the list its own selection of the row.
  EXPECT_EQ(window->Listbox1()->SelectedRow(), 1);
}

}  // namespace
