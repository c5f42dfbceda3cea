#include "runtime/ui/menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "runtime/exceptions.h"
#include "tests/ui/ui_support.h"

namespace {

using rt::ui::MenuItem;

template <class Item = MenuItem>
std::shared_ptr<Item> Make(const char* name, const char* text, const char* shortcut = "") {
  auto item = std::make_shared<Item>();
  item->Name(name);
  item->Text(text);
  item->Shortcut(shortcut);
  return item;
}

TEST(MenuBarOnAWindow, ShowsTheTreeWithDividersShortcutsAndEnabledState) {
  auto bar = std::make_shared<rt::ui::MenuBar>();
  bar->AddMenu(Make("FileMenu", "File"));
  bar->Item(0)->AddMenu(Make<rt::ui::QuitMenuItem>("FileQuit", "Quit", "Cmd+Q"));
  bar->AddMenu(Make("EditMenu", "Edit"));
  auto manual = Make("Manual", "Manual", "Cmd+M");
  manual->AutoEnabled(false);
  for (auto item : {Make("EditUndo", "Undo", "Cmd+Z"), Make("Divider", "-"), manual}) {
    bar->Item(1)->AddMenu(item);
  }
  auto window = std::make_shared<uitest::TestWindow>();
  window->SetProperties({{"Title", std::string("menu-window")}});
  window->MenuBar(bar);

  QMenuBar* shown = uitest::TopLevelTitled("menu-window")->findChild<QMenuBar*>();
  ASSERT_NE(shown, nullptr);
  ASSERT_EQ(shown->actions().size(), 2);
  const QList<QAction*> file = shown->actions()[0]->menu()->actions();
  const QList<QAction*> edit = shown->actions()[1]->menu()->actions();
  ASSERT_EQ(file.size(), 1);
  ASSERT_EQ(edit.size(), 3);
  EXPECT_EQ(file[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(file[0]->menuRole(), QAction::QuitRole);
  // An AutoEnabled command with nothing to carry it out shows disabled.
  EXPECT_TRUE(file[0]->isEnabled());
  EXPECT_FALSE(edit[0]->isEnabled());
  EXPECT_TRUE(edit[1]->isSeparator());
  EXPECT_TRUE(edit[2]->isEnabled());
  EXPECT_EQ(edit[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));

  // Shortcuts are "Cmd+" and a capital letter, or none.
  for (const char* shortcut : {"Shift+Cmd+M", "Cmd+m", "Cmd+F1", "M", "Cmd+"}) {
    bar->Item(1)->Item(0)->Shortcut(shortcut);
    EXPECT_THROW(window->MenuBar(bar), rt::RuntimeException) << shortcut;
  }
}

}  // namespace
