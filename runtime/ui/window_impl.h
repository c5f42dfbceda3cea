#pragma once

// A window's own state, shared by the sources of the window: its place and
// size (window_geometry.cpp), its property set (window_properties.cpp), and
// its events and registration (window.cpp).

#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/ui/internal.h"
#include "runtime/ui/window.h"

namespace rt::ui {

// Every window of this layer is a floating utility window with a title, a
// close and a minimise button, that the user can resize, and a menu bar.
struct Window::Impl {
  std::string full_class_name;
  QPointer<detail::WindowWidget> widget;
  std::shared_ptr<rt::ui::MenuBar> menu_bar;
  std::vector<std::shared_ptr<Control>> controls;
  std::array<std::function<void()>, 5> handlers;

  bool constructed = false;       // Constructor has begun
  bool constructor_done = false;  // ... and has ended
  bool open = false;
  bool closing = false;
  // Activate was raised for a mouse press before the platform's own
  // activation arrived. The activation that answers the request comes while
  // the press is handled or moments after, and then raises nothing more.
  // The platform may also never answer (a window manager that keeps windows
  // from taking the focus): the early activation is over once its press has
  // been handled and that moment has passed, so that a later activation
  // raises Activate again, and so does a later press.
  bool early_activation = false;
  std::optional<int64_t> early_activation_handled;  // MonotonicMs
  // A platform on this machine answers within milliseconds, a remote one
  // within a round trip or two.
  static constexpr int64_t kActivationAnswerMs = 500;
  // The program has given the window a place; until then the platform
  // places it.
  bool placed = false;

  int64_t minimum_width = 0;
  int64_t minimum_height = 0;
  int64_t maximum_width = QWIDGETSIZE_MAX;
  int64_t maximum_height = QWIDGETSIZE_MAX;

  // Raises `event` inside the exception boundary; false when its handler
  // raised.
  bool Raise(WindowEvent event);

  // Height of the menu bar inside the window; 0 where the platform shows it
  // elsewhere (macOS, or a desktop with a global menu bar).
  int MenuBarHeight() const;
  int64_t ContentWidth() const;
  int64_t ContentHeight() const;
  // Sizes the content area within its limits and lays it out.
  void SetContentSize(int64_t width, int64_t height);
  // Puts the top-left corner of the content area at (left, top).
  void PlaceContent(int64_t left, int64_t top);
  void PlaceControl(Control& control) const;
  // The menu bar across the top, the content area below it, and each
  // control where its edge locks put it.
  void LayoutContent();
  // Moves a window that the program has placed, where some of it lies off
  // the screen, to the nearest place where all of it is on the screen.
  void KeepOnScreen();
  void Show();
};

}  // namespace rt::ui
