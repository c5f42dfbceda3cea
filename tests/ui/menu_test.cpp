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
  auto file = Make("FileMenu", "File");
  bar->AddMenu(file);
  file->AddMenu(Make<rt::ui::QuitMenuItem>("FileQuit", "Quit", "Cmd+Q"));
  auto edit = Make("EditMenu", "Edit");
  bar->AddMenu(edit);
  edit->AddMenu(Make("EditUndo", "Undo", "Cmd+Z"));
  edit->AddMenu(Make("Divider", "-"));
  auto manual = Make("Manual", "Manual", "Shift+Cmd+M");
  manual->AutoEnabled(false);
  edit->AddMenu(manual);
  auto hidden = Make("Hidden", "Hidden");
  hidden->Visible(false);
  edit->AddMenu(hidden);

  auto window = std::make_shared<uitest::TestWindow>();
  window->SetProperties({{"Title", std::string("menu-window")}});
  window->MenuBar(bar);
  EXPECT_EQ(window->MenuBar(), bar);
  QMenuBar* shown = uitest::TopLevelTitled("menu-window")->findChild<QMenuBar*>();
  ASSERT_NE(shown, nullptr);

  const QList<QAction*> menus = shown->actions();
  ASSERT_EQ(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), "File");
  EXPECT_EQ(menus[1]->text(), "Edit");

  const QList<QAction*> fileItems = menus[0]->menu()->actions();
  ASSERT_EQ(fileItems.size(), 1);
  EXPECT_EQ(fileItems[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_TRUE(fileItems[0]->isEnabled());
  EXPECT_EQ(fileItems[0]->menuRole(), QAction::QuitRole);

  const QList<QAction*> editItems = menus[1]->menu()->actions();
  ASSERT_EQ(editItems.size(), 4);
  // An AutoEnabled command with nothing to carry it out shows disabled.
  EXPECT_EQ(editItems[0]->text(), "Undo");
  EXPECT_EQ(editItems[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_FALSE(editItems[0]->isEnabled());
  EXPECT_EQ(editItems[0]->menuRole(), QAction::NoRole);
  EXPECT_TRUE(editItems[1]->isSeparator());
  EXPECT_TRUE(editItems[2]->isEnabled());
  EXPECT_EQ(editItems[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
  EXPECT_FALSE(editItems[3]->isVisible());
}

TEST(MenuBarOnAWindow, ShortcutThatNamesNoKeyIsRefusedWhenInstalled) {
  for (const char* shortcut : {"Cmd+", "Hyper+Q", "Cmd+NoSuchKey"}) {
    auto bar = std::make_shared<rt::ui::MenuBar>();
    auto menu = Make("FileMenu", "File");
    bar->AddMenu(menu);
    menu->AddMenu(Make("Odd", "Odd", shortcut));
    auto window = std::make_shared<uitest::TestWindow>();
    EXPECT_THROW(window->MenuBar(bar), rt::RuntimeException) << shortcut;
    EXPECT_EQ(window->MenuBar(), nullptr);
  }
}

}  // namespace
