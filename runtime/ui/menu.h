#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rt::ui {

// A node of a menu tree: a menu bar's children are its menus, a menu's
// children its commands. Items are plain data: a window or the application
// shows the tree as it stands when the menu bar is installed. The text "-"
// makes a divider. Made and changed on the main thread only.
class MenuItem {
 public:
  MenuItem();
  virtual ~MenuItem();
  MenuItem(const MenuItem&) = delete;
  MenuItem& operator=(const MenuItem&) = delete;

  // The key by which Child finds the item.
  const std::string& Name() const;
  void Name(const std::string& name);
  // The title shown.
  const std::string& Text() const;
  void Text(const std::string& text);
  // "Cmd+" and a capital letter (Command on macOS, Ctrl elsewhere); empty
  // for none.
  const std::string& Shortcut() const;
  void Shortcut(const std::string& shortcut);
  // Enabled only while something can carry out the command: its own action,
  // or the focused control for a command without one.
  bool AutoEnabled() const;
  void AutoEnabled(bool autoEnabled);
  bool Visible() const;
  void Visible(bool visible);

  // Appends `item` as the last child. Raises NilObjectException for null.
  void AddMenu(std::shared_ptr<MenuItem> item);
  // The direct child whose Name equals `name` (letter case of ASCII letters
  // aside), or null.
  std::shared_ptr<MenuItem> Child(const std::string& name) const;
  int64_t Count() const;
  // Child `index`, counted from 0; null outside 0..Count()-1.
  std::shared_ptr<MenuItem> Item(int64_t index) const;

  // Whether choosing the item does something of the layer's own, and that.
  virtual bool HasAction() const;
  virtual void Action();

 private:
  std::string name_;
  std::string text_;
  std::string shortcut_;
  bool auto_enabled_ = true;
  bool visible_ = true;
  std::vector<std::shared_ptr<MenuItem>> children_;
};

// The root of a menu tree.
class MenuBar : public MenuItem {};

// The Quit command: choosing it performs the quit action (QuitAction). On
// macOS it is shown in the application menu, where the platform has it.
class QuitMenuItem : public MenuItem {
 public:
  bool HasAction() const override;
  void Action() override;
};

}  // namespace rt::ui
