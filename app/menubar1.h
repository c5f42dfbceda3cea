#pragma once

#include <memory>

#include "runtime/ui/menu.h"

namespace app {

// The program's one menu bar: a File menu with Quit and an Edit menu, shared
// by the application and the main window.
class MenuBar1 : public rt::ui::MenuBar {
 public:
  static constexpr const char* kFullClassName = "MenuBar1.MenuBar1";

  // The shared instance, built on first use. It is kept only once it is
  // complete: a build that fails leaves none, and the next call starts anew.
  static std::shared_ptr<MenuBar1> Instance();

  // Builds the File menu, then the Edit menu.
  void Constructor();
  // Appends the File menu with its Quit command.
  void Untitled0();
  // Appends the Edit menu: Undo, Cut, Copy, Paste, Clear and Select All in
  // three groups.
  void Untitled1();

 private:
  static std::shared_ptr<MenuBar1> implicitInstance;
};

}  // namespace app
