#include "app/menubar1.h"

#include <optional>
#include <string_view>

#include "runtime/exceptions.h"

namespace app {
namespace {

// Makes one item: its properties in this order, the shortcut only when
// given (dividers keep the shortcut of a new item).
template <class Item>
std::shared_ptr<Item> NewItem(const char* name, const char* text,
                              std::optional<std::string_view> shortcut) {
  auto item = std::make_shared<Item>();
  item->Name(name);
  item->AutoEnabled(true);
  item->Text(text);
  item->Visible(true);
  if (shortcut) item->Shortcut(std::string(*shortcut));
  return item;
}

constexpr std::nullopt_t kNoShortcut = std::nullopt;

}  // namespace

std::shared_ptr<MenuBar1> MenuBar1::implicitInstance;

std::shared_ptr<MenuBar1> MenuBar1::Instance() {
  if (implicitInstance) return implicitInstance;
  auto bar = std::make_shared<MenuBar1>();
  bar->Constructor();
  implicitInstance = bar;
  return bar;
}

void MenuBar1::Constructor() {
  Untitled0();
  Untitled1();
}

// Each command looks its menu up afresh by name, so a menu that is missing
// fails with NilObjectException at the first command that needs it.
void MenuBar1::Untitled0() {
  AddMenu(NewItem<rt::ui::MenuItem>("FileMenu", "ファイル", ""));
  rt::NotNil(Child("FileMenu"), "menu FileMenu")
      .AddMenu(NewItem<rt::ui::QuitMenuItem>("FileQuit", "終了", "Cmd+Q"));
}

void MenuBar1::Untitled1() {
  AddMenu(NewItem<rt::ui::MenuItem>("EditMenu", "編集", ""));
  const auto add = [this](const char* name, const char* text,
                          std::optional<std::string_view> shortcut) {
    rt::NotNil(Child("EditMenu"), "menu EditMenu")
        .AddMenu(NewItem<rt::ui::MenuItem>(name, text, shortcut));
  };
  add("EditUndo", "元に戻す", "Cmd+Z");
  add("UntitledMenu1", "-", kNoShortcut);
  add("EditCut", "カット", "Cmd+X");
  add("EditCopy", "コピー", "Cmd+C");
  add("EditPaste", "貼り付け", "Cmd+V");
  add("EditClear", "削除", "");
  add("UntitledMenu0", "-", kNoShortcut);
  add("EditSelectAll", "すべてを選択", "Cmd+A");
}

}  // namespace app
