#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "runtime/ui/properties.h"

namespace rt::ui {

class MenuBar;
class Window;

namespace detail {
struct Access;
}

// The events a window raises to its program.
enum class WindowEvent {
  Layout,          // first step of Constructor: menu bar and window properties
  CreateControls,  // second step of Constructor: the controls
  Open,            // once, after Layout and CreateControls, before it shows
  Close,           // when it closes, by the user, Close() or the quit action
  Activate,        // each time it becomes the active window
};

// A control placed on a window. Its rectangle is in the coordinates of the
// window's content area; its edge locks keep the distances to the locked
// edges of that area when the window changes size. Main thread only.
class Control : public std::enable_shared_from_this<Control> {
 public:
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // The name under which the window finds the control.
  const std::string& Name() const;
  int64_t Left() const;
  int64_t Top() const;
  int64_t Width() const;
  int64_t Height() const;

  // Applies a design-time property set in one batch. Raises RuntimeException
  // for a property the control does not have or a value it cannot take,
  // IllegalCastException for a value of the wrong type; the properties before
  // the faulty one stay applied.
  virtual void SetProperties(const PropertySet& properties) = 0;

  struct Impl;

 protected:
  Control();
  Impl& impl() const;

 private:
  friend struct detail::Access;
  std::unique_ptr<Impl> impl_;
};

// A window: a floating utility window (above the windows of every
// application) with a title, a close and a minimise button, that the user can
// resize; its content area below the menu bar where the menu bar sits inside
// the window (not on macOS), its controls, its events. The program
// derives its window classes from it, binds its handlers with
// SetEventHandler in the derived constructor, and then calls Constructor on
// the shared object. Main thread only.
class Window : public std::enable_shared_from_this<Window> {
 public:
  // Makes the platform window, hidden. `fullClassName` is the key under
  // which GetImplicitWindow finds it once Constructor has begun.
  explicit Window(std::string fullClassName);
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const std::string& FullClassName() const;

  // Opens the window: registers it as open, raises Layout, CreateControls
  // and Open in this order, and shows it. An exception of a handler goes to
  // UnhandledException and the next step follows. The window must be owned
  // by a shared_ptr; a second call raises.
  void Constructor();
  // Closes the window: raises Close, then ends its registration as open and
  // hides it. A window that is not open is left alone.
  void Close();

  // Place and size of the content area: screen coordinates of its top-left
  // corner, and its size. Sizes are kept within the minimum and maximum
  // sizes. Once the program has given the window a place, all of it is kept
  // on the screen, from when it shows: a place partly or wholly off the
  // screen (a saved place, a monitor gone since) is moved to the nearest one
  // that is on it.
  int64_t Left() const;
  void Left(int64_t left);
  int64_t Top() const;
  void Top(int64_t top);
  int64_t Width() const;
  void Width(int64_t width);
  int64_t Height() const;
  void Height(int64_t height);

  std::shared_ptr<rt::ui::MenuBar> MenuBar() const;
  // Installs the menu tree as the window's menu bar. Raises RuntimeException
  // for a shortcut text that is not "Cmd+" and a capital letter.
  void MenuBar(std::shared_ptr<rt::ui::MenuBar> menuBar);

  // Applies a design-time property set in one batch (errors as for
  // Control::SetProperties): the sizes, their limits and the title; every
  // other property the window has takes only the value the window always
  // has.
  void SetProperties(const PropertySet& properties);

  // Places `control` on the window under `name`. Raises NilObjectException
  // for null and RuntimeException for a control already on a window.
  void AddControl(const std::string& name, const std::shared_ptr<Control>& control);
  // The control of that name (letter case of ASCII letters aside), or null.
  std::shared_ptr<Control> ControlByName(const std::string& name) const;

 protected:
  // Binds `handler` to `event`, replacing an earlier one; an empty handler
  // unbinds it.
  void SetEventHandler(WindowEvent event, std::function<void()> handler);

 private:
  friend struct detail::Access;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The open window registered under `fullClassName` ("Window1.Window1"), or
// null when none is open. Never creates one.
std::shared_ptr<Window> GetImplicitWindow(const std::string& fullClassName);

}  // namespace rt::ui
