#include "runtime/ui/menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "runtime/exceptions.h"
#include "runtime/text.h"
#include "runtime/ui/internal.h"
#include "runtime/ui/runtime.h"

namespace rt::ui {

MenuItem::MenuItem() { detail::RequireUiThread(); }

MenuItem::~MenuItem() = default;

const std::string& MenuItem::Name() const { return name_; }

void MenuItem::Name(const std::string& name) {
  detail::RequireUiThread();
  name_ = name;
}

const std::string& MenuItem::Text() const { return text_; }

void MenuItem::Text(const std::string& text) {
  detail::RequireUiThread();
  text_ = text;
}

const std::string& MenuItem::Shortcut() const { return shortcut_; }

void MenuItem::Shortcut(const std::string& shortcut) {
  detail::RequireUiThread();
  shortcut_ = shortcut;
}

bool MenuItem::AutoEnabled() const { return auto_enabled_; }

void MenuItem::AutoEnabled(bool autoEnabled) {
  detail::RequireUiThread();
  auto_enabled_ = autoEnabled;
}

bool MenuItem::Visible() const { return visible_; }

void MenuItem::Visible(bool visible) {
  detail::RequireUiThread();
  visible_ = visible;
}

void MenuItem::AddMenu(std::shared_ptr<MenuItem> item) {
  detail::RequireUiThread();
  if (!item) throw NilObjectException("nil menu item");
  children_.push_back(std::move(item));
}

std::shared_ptr<MenuItem> MenuItem::Child(const std::string& name) const {
  for (const std::shared_ptr<MenuItem>& child : children_) {
    if (TextEquals(child->Name(), name)) return child;
  }
  return nullptr;
}

int64_t MenuItem::Count() const { return static_cast<int64_t>(children_.size()); }

std::shared_ptr<MenuItem> MenuItem::Item(int64_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return children_[static_cast<size_t>(index)];
}

bool MenuItem::HasAction() const { return false; }

void MenuItem::Action() {}

bool QuitMenuItem::HasAction() const { return true; }

void QuitMenuItem::Action() { QuitAction(); }

namespace detail {
namespace {

// "Cmd+" and a capital letter: the Command key with the letter. "Cmd" is
// Qt's Ctrl, which Qt shows and reads as Command on macOS and as Ctrl
// elsewhere.
QKeySequence ToKeySequence(const MenuItem& item) {
  const std::string& text = item.Shortcut();
  if (text.empty()) return {};
  if (text.size() != 5 || text.compare(0, 4, "Cmd+") != 0 || text[4] < 'A' || text[4] > 'Z') {
    throw RuntimeException("menu item " + item.Name() + ": shortcut \"" + text +
                           "\" is not Cmd+ and a capital letter");
  }
  return QKeySequence(QKeyCombination(Qt::ControlModifier, static_cast<Qt::Key>(Qt::Key_A + (text[4] - 'A'))));
}

bool IsDivider(const MenuItem& item) { return item.Text() == "-"; }

// No control of this layer edits text, so a command that has no action of
// its own has nothing to carry it out wherever the focus is: with
// AutoEnabled it shows disabled.
bool Enabled(const MenuItem& item) {
  return item.Count() > 0 || item.HasAction() || !item.AutoEnabled();
}

void Equip(QAction* action, const std::shared_ptr<MenuItem>& item) {
  action->setObjectName(ToQt(item->Name()));
  action->setVisible(item->Visible());
  action->setEnabled(Enabled(*item));
  action->setShortcut(ToKeySequence(*item));
  action->setMenuRole(dynamic_cast<QuitMenuItem*>(item.get()) != nullptr ? QAction::QuitRole
                                                                         : QAction::NoRole);
}

void AddItems(QWidget* menu, const MenuItem& parent, bool topLevel);

void AddItem(QWidget* menu, const std::shared_ptr<MenuItem>& item, bool topLevel) {
  if (IsDivider(*item)) {
    QAction* divider = new QAction(menu);
    divider->setSeparator(true);
    divider->setObjectName(ToQt(item->Name()));
    divider->setVisible(item->Visible());
    menu->addAction(divider);
    return;
  }
  if (topLevel || item->Count() > 0) {
    QMenu* submenu = new QMenu(ToQt(item->Text()), menu);
    Equip(submenu->menuAction(), item);
    AddItems(submenu, *item, false);
    menu->addAction(submenu->menuAction());
    return;
  }
  QAction* action = new QAction(ToQt(item->Text()), menu);
  Equip(action, item);
  QObject::connect(action, &QAction::triggered, action,
                   [item] { Guard([&item] { item->Action(); }); });
  menu->addAction(action);
}

void AddItems(QWidget* menu, const MenuItem& parent, bool topLevel) {
  for (int64_t i = 0; i < parent.Count(); ++i) AddItem(menu, parent.Item(i), topLevel);
}

}  // namespace

QMenuBar* BuildMenuBar(const MenuBar& menuBar, QWidget* parent) {
  std::unique_ptr<QMenuBar> bar(new QMenuBar(parent));
  AddItems(bar.get(), menuBar, true);
  return bar.release();
}

}  // namespace detail
}  // namespace rt::ui
