#include "app/menubar1.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "tests/ui/failing_allocations.h"

namespace {

using app::MenuBar1;
using Row = std::tuple<std::string, std::string, std::string, bool>;  // name, text, shortcut, Quit

std::vector<Row> RowsOf(const std::shared_ptr<rt::ui::MenuItem>& menu) {
  std::vector<Row> rows;
  for (int64_t i = 0; menu && i < menu->Count(); ++i) {
    const auto item = menu->Item(i);
    rows.emplace_back(item->Name(), item->Text(), item->Shortcut(),
                      dynamic_cast<rt::ui::QuitMenuItem*>(item.get()) != nullptr);
  }
  return rows;
}

void ExpectTheWholeTree(const std::shared_ptr<MenuBar1>& bar) {
  EXPECT_EQ(RowsOf(bar), (std::vector<Row>{{"FileMenu", "ファイル", "", false},
                                           {"EditMenu", "編集", "", false}}));
  EXPECT_EQ(RowsOf(bar->Child("FileMenu")), (std::vector<Row>{{"FileQuit", "終了", "Cmd+Q", true}}));
  EXPECT_EQ(RowsOf(bar->Child("EditMenu")), (std::vector<Row>{
                                                {"EditUndo", "元に戻す", "Cmd+Z", false},
                                                {"UntitledMenu1", "-", "", false},
                                                {"EditCut", "カット", "Cmd+X", false},
                                                {"EditCopy", "コピー", "Cmd+C", false},
                                                {"EditPaste", "貼り付け", "Cmd+V", false},
                                                {"EditClear", "削除", "", false},
                                                {"UntitledMenu0", "-", "", false},
                                                {"EditSelectAll", "すべてを選択", "Cmd+A", false},
                                            }));
  // Menus are found by their names, not by their titles.
  EXPECT_EQ(bar->Child("ファイル"), nullptr);
}

// First in the program: nothing may have built the shared menu bar yet.
TEST(MenuBar1, BuildThatFailsPartWayKeepsNoInstanceAndTheNextNamingBuildsItWhole) {
  // Fail the first, second, third ... allocation of the build until one build
  // gets through; a half-built bar kept by a failed build would come back.
  int failures = 0;
  std::shared_ptr<MenuBar1> bar;
  for (long n = 1; n < 10000 && !bar; ++n) {
    uitest::FailAllocation(n);
    try {
      bar = MenuBar1::Instance();
    } catch (const std::bad_alloc&) {
      ++failures;
    }
    uitest::FailAllocation(0);
  }
  ASSERT_NE(bar, nullptr);
  EXPECT_GT(failures, 20);
  ExpectTheWholeTree(bar);
  EXPECT_EQ(MenuBar1::Instance(), bar);
}

TEST(MenuBar1, NamingItTwiceYieldsOneBarWithTheFileAndEditMenusInTableOrder) {
  const std::shared_ptr<MenuBar1> bar = MenuBar1::Instance();
  EXPECT_EQ(MenuBar1::Instance(), bar);
  ExpectTheWholeTree(bar);
}

}  // namespace
