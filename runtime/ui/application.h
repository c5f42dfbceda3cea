#pragma once

#include <memory>

#include "runtime/application.h"

namespace rt::ui {

class MenuBar;

// The application object of a program with a user interface: the core
// application plus its menu bar. Made and used on the main thread.
class Application : public rt::Application {
 public:
  Application();
  ~Application() override;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The application's menu bar. On macOS it is the menu bar shown while no
  // window of the application is active; elsewhere each window shows its own.
  std::shared_ptr<rt::ui::MenuBar> MenuBar() const;
  void MenuBar(std::shared_ptr<rt::ui::MenuBar> menuBar);

  // Declares that the program draws correctly on high-resolution displays.
  // Qt 6 always renders at the display's resolution, so there is nothing
  // left to switch on.
  static void SetSupportsHiDPI(bool supported);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace rt::ui
