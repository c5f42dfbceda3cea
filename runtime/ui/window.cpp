#include "runtime/ui/window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "runtime/exceptions.h"
#include "runtime/text.h"
#include "runtime/ui/internal.h"
#include "runtime/ui/runtime.h"

namespace rt::ui {
namespace {

constexpr const char* kClassName = "Window";

// Window type codes this layer shows.
constexpr int64_t kDocumentWindow = 0;
constexpr int64_t kGlobalFloatingWindow = 7;

// A window counts as on a screen while at least this much of it (or all of
// it, when it is smaller) lies in the screen's available area.
constexpr int kMinimumVisible = 32;

std::vector<std::shared_ptr<Window>>& OpenRegistry() {
  static std::vector<std::shared_ptr<Window>> windows;
  return windows;
}

int ToQtSize(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, 0, QWIDGETSIZE_MAX));
}

int ToQtCoordinate(int64_t value) {
  constexpr int64_t kLimit = std::numeric_limits<int>::max() / 2;
  return static_cast<int>(std::clamp<int64_t>(value, -kLimit, kLimit));
}

}  // namespace

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
  // activation arrived; that activation then raises nothing more.
  bool early_activation = false;

  int64_t type = kDocumentWindow;
  bool close_button = true;
  bool minimize_button = true;
  bool maximize_button = true;
  bool full_screen_button = false;
  bool resizeable = true;
  bool full_screen = false;
  bool visible = true;
  bool has_background_color = false;
  Color background_color{255, 255, 255};
  bool menu_bar_visible = true;
  int64_t minimum_width = 0;
  int64_t minimum_height = 0;
  int64_t maximum_width = QWIDGETSIZE_MAX;
  int64_t maximum_height = QWIDGETSIZE_MAX;

  bool Raise(WindowEvent event) {
    // A copy, so that a handler that rebinds its own event is not destroyed
    // while it runs.
    std::function<void()> handler = handlers[static_cast<size_t>(event)];
    if (!handler) return true;
    return detail::Guard(handler);
  }

  // Height of the menu bar inside the window; 0 where the platform shows it
  // elsewhere (macOS, or a desktop with a global menu bar) or it is hidden.
  int MenuBarHeight() const {
    QMenuBar* bar = widget->menu_bar;
    if (bar == nullptr || !menu_bar_visible || bar->isNativeMenuBar()) return 0;
    return bar->sizeHint().height();
  }

  void ApplyFlags() {
    Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    // A global floating window is a utility window above the windows of
    // every application, also while another one is active.
    flags |= type == kGlobalFloatingWindow ? Qt::Tool | Qt::WindowStaysOnTopHint : Qt::Window;
    if (close_button) flags |= Qt::WindowCloseButtonHint;
    if (minimize_button) flags |= Qt::WindowMinimizeButtonHint;
    if (maximize_button) flags |= Qt::WindowMaximizeButtonHint;
    if (full_screen_button) flags |= Qt::WindowFullscreenButtonHint;
    // macOS hides utility windows while their application is inactive.
    widget->setAttribute(Qt::WA_MacAlwaysShowToolWindow, type == kGlobalFloatingWindow);
    if (flags != widget->windowFlags()) {
      const bool shown = widget->isVisible();
      widget->setWindowFlags(flags);
      if (shown) widget->show();
    }
  }

  void ApplyBackground() {
    widget->setAutoFillBackground(has_background_color);
    QPalette palette = widget->palette();
    if (has_background_color) {
      palette.setColor(QPalette::Window,
                       QColor(background_color.red, background_color.green, background_color.blue));
    } else {
      palette.setColor(QPalette::Window, QApplication::palette(widget).color(QPalette::Window));
    }
    widget->setPalette(palette);
  }

  // The content's size limits, as limits of the whole window.
  void ApplyLimits(int64_t contentWidth, int64_t contentHeight) {
    const int bar = MenuBarHeight();
    if (resizeable) {
      widget->setMinimumSize(ToQtSize(minimum_width), ToQtSize(minimum_height + bar));
      widget->setMaximumSize(ToQtSize(maximum_width), ToQtSize(maximum_height + bar));
    } else {
      const int64_t width =
          std::clamp(contentWidth, minimum_width, std::max(minimum_width, maximum_width));
      const int64_t height =
          std::clamp(contentHeight, minimum_height, std::max(minimum_height, maximum_height));
      widget->setFixedSize(ToQtSize(width), ToQtSize(height + bar));
    }
  }

  void SetContentSize(int64_t width, int64_t height) {
    ApplyLimits(width, height);
    widget->resize(ToQtSize(width), ToQtSize(height + MenuBarHeight()));
    LayoutContent();
  }

  int64_t ContentWidth() const { return widget->width(); }
  int64_t ContentHeight() const { return std::max(0, widget->height() - MenuBarHeight()); }

  void PlaceControl(Control& control) const {
    Control::Impl& c = detail::Access::ImplOf(control);
    if (!c.widget) return;
    const int64_t width = ContentWidth();
    const int64_t height = ContentHeight();
    int64_t x = c.left, w = c.width, y = c.top, h = c.height;
    if (c.lock_right) {
      if (c.lock_left)
        w = std::max<int64_t>(0, width - c.right_margin - c.left);
      else
        x = width - c.right_margin - c.width;
    }
    if (c.lock_bottom) {
      if (c.lock_top)
        h = std::max<int64_t>(0, height - c.bottom_margin - c.top);
      else
        y = height - c.bottom_margin - c.height;
    }
    c.widget->setGeometry(ToQtCoordinate(x), ToQtCoordinate(y), ToQtSize(w), ToQtSize(h));
  }

  void LayoutContent() {
    const int bar = MenuBarHeight();
    if (QMenuBar* menuBar = widget->menu_bar) {
      menuBar->setVisible(bar > 0);
      if (bar > 0) menuBar->setGeometry(0, 0, widget->width(), bar);
    }
    widget->content->setGeometry(0, bar, widget->width(), std::max(0, widget->height() - bar));
    for (const std::shared_ptr<Control>& control : controls) PlaceControl(*control);
  }

  // Brings a window whose place lies off every screen back onto the screen
  // nearest to it, as far inside the screen's available area as its size
  // allows, title bar included.
  void KeepOnScreen() {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return;
    const QRect content = widget->geometry();
    const QRect frame = widget->frameGeometry();
    const int titleHeight = std::max(0, content.y() - frame.y());
    const int needWidth = std::min(kMinimumVisible, content.width());
    const int needHeight = std::min(kMinimumVisible, content.height());
    QScreen* nearest = screens.front();
    int64_t nearestDistance = std::numeric_limits<int64_t>::max();
    for (QScreen* screen : screens) {
      const QRect area = screen->availableGeometry();
      const QRect shown = area.intersected(content);
      if (shown.width() >= needWidth && shown.height() >= needHeight &&
          content.y() - titleHeight >= area.top()) {
        return;
      }
      const int64_t dx =
          std::max({0, area.left() - content.center().x(), content.center().x() - area.right()});
      const int64_t dy =
          std::max({0, area.top() - content.center().y(), content.center().y() - area.bottom()});
      if (dx * dx + dy * dy < nearestDistance) {
        nearestDistance = dx * dx + dy * dy;
        nearest = screen;
      }
    }
    const QRect area = nearest->availableGeometry();
    const int x = std::clamp(content.x(), area.left(),
                             std::max(area.left(), area.right() + 1 - content.width()));
    const int y =
        std::clamp(content.y(), area.top() + titleHeight,
                   std::max(area.top() + titleHeight, area.bottom() + 1 - content.height()));
    widget->setGeometry(x, y, content.width(), content.height());
  }

  void Show() {
    // A place set by the program is checked; otherwise the platform places
    // the window (default placement).
    if (widget->testAttribute(Qt::WA_Moved)) KeepOnScreen();
    if (full_screen) {
      widget->showFullScreen();
    } else {
      widget->show();
    }
    // A window the program opens is meant to be used at once; window
    // managers do not all activate a new utility window by themselves.
    widget->activateWindow();
  }
};

Control::Control() : impl_(std::make_unique<Impl>()) { detail::RequireUiThread(); }

Control::~Control() = default;

Control::Impl& Control::impl() const { return *impl_; }

const std::string& Control::Name() const { return impl_->name; }

int64_t Control::Left() const {
  detail::RequireUiThread();
  return NotNil(impl_->widget.data(), "control").x();
}

int64_t Control::Top() const {
  detail::RequireUiThread();
  return NotNil(impl_->widget.data(), "control").y();
}

int64_t Control::Width() const {
  detail::RequireUiThread();
  return NotNil(impl_->widget.data(), "control").width();
}

int64_t Control::Height() const {
  detail::RequireUiThread();
  return NotNil(impl_->widget.data(), "control").height();
}

Window::Window(std::string fullClassName) : impl_(std::make_unique<Impl>()) {
  detail::RequireUiThread();
  impl_->full_class_name = std::move(fullClassName);
  impl_->widget = new detail::WindowWidget;
  impl_->widget->owner = this;
  impl_->ApplyFlags();
}

Window::~Window() {
  if (detail::WindowWidget* widget = impl_->widget) {
    widget->owner = nullptr;
    // The widget may be inside its own event (a close); Qt deletes it once
    // that event is over, on its own thread.
    if (detail::OnUiThread()) widget->hide();
    widget->deleteLater();
  }
}

const std::string& Window::FullClassName() const { return impl_->full_class_name; }

void Window::Constructor() {
  detail::RequireUiThread();
  std::shared_ptr<Window> self = weak_from_this().lock();
  if (!self) throw RuntimeException("a window must be held by a shared reference to open");
  if (impl_->constructed) throw RuntimeException("the window has already been opened");
  OpenRegistry().push_back(self);
  impl_->constructed = true;
  impl_->open = true;
  impl_->Raise(WindowEvent::Layout);
  impl_->Raise(WindowEvent::CreateControls);
  impl_->Raise(WindowEvent::Open);
  impl_->constructor_done = true;
  // The Open handler may have closed the window already.
  if (impl_->open && impl_->visible) impl_->Show();
}

void Window::Close() {
  detail::RequireUiThread();
  if (!impl_->open || impl_->closing) return;
  const std::shared_ptr<Window> self = weak_from_this().lock();
  impl_->widget->close();
  // Qt sends no close event to a window that it has not made yet.
  if (impl_->open && !impl_->closing) detail::Access::HandleClose(*this);
}


int64_t Window::Left() const {
  detail::RequireUiThread();
  return impl_->widget->geometry().x();
}

void Window::Left(int64_t left) {
  detail::RequireUiThread();
  const QRect g = impl_->widget->geometry();
  impl_->widget->setGeometry(ToQtCoordinate(left), g.y(), g.width(), g.height());
  impl_->KeepOnScreen();
}

int64_t Window::Top() const {
  detail::RequireUiThread();
  return impl_->widget->geometry().y() + impl_->MenuBarHeight();
}

void Window::Top(int64_t top) {
  detail::RequireUiThread();
  const QRect g = impl_->widget->geometry();
  impl_->widget->setGeometry(g.x(), ToQtCoordinate(top - impl_->MenuBarHeight()), g.width(),
                             g.height());
  impl_->KeepOnScreen();
}

int64_t Window::Width() const {
  detail::RequireUiThread();
  return impl_->ContentWidth();
}

void Window::Width(int64_t width) {
  detail::RequireUiThread();
  impl_->SetContentSize(width, impl_->ContentHeight());
}

int64_t Window::Height() const {
  detail::RequireUiThread();
  return impl_->ContentHeight();
}

void Window::Height(int64_t height) {
  detail::RequireUiThread();
  impl_->SetContentSize(impl_->ContentWidth(), height);
}

std::string Window::Title() const {
  detail::RequireUiThread();
  return detail::FromQt(impl_->widget->windowTitle());
}

std::shared_ptr<MenuBar> Window::MenuBar() const { return impl_->menu_bar; }

void Window::MenuBar(std::shared_ptr<rt::ui::MenuBar> menuBar) {
  detail::RequireUiThread();
  const int64_t width = impl_->ContentWidth();
  const int64_t height = impl_->ContentHeight();
  QMenuBar* built = menuBar ? detail::BuildMenuBar(*menuBar, impl_->widget) : nullptr;
  delete impl_->widget->menu_bar;
  impl_->widget->menu_bar = built;
  impl_->menu_bar = std::move(menuBar);
  impl_->SetContentSize(width, height);
}

void Window::SetProperties(const PropertySet& properties) {
  detail::RequireUiThread();
  Impl& d = *impl_;
  int64_t width = d.ContentWidth();
  int64_t height = d.ContentHeight();
  std::optional<int64_t> left, top;
  std::optional<std::string> title;
  // What was set before a faulty property is carried out all the same.
  const auto commit = [&] {
    d.ApplyFlags();
    if (title) d.widget->setWindowTitle(detail::ToQt(*title));
    d.ApplyBackground();
    d.SetContentSize(width, height);
    if (left) Left(*left);
    if (top) Top(*top);
    if (d.constructor_done && d.open) {
      if (d.full_screen != d.widget->isFullScreen()) {
        d.widget->setWindowState(d.full_screen ? d.widget->windowState() | Qt::WindowFullScreen
                                               : d.widget->windowState() & ~Qt::WindowFullScreen);
      }
      d.widget->setVisible(d.visible);
    }
  };
  try {
    for (const Property& p : properties) {
      const std::string& name = p.name;
      if (name == "Width") {
        width = detail::AsInteger(kClassName, p);
      } else if (name == "Height") {
        height = detail::AsInteger(kClassName, p);
      } else if (name == "Left") {
        left = detail::AsInteger(kClassName, p);
      } else if (name == "Top") {
        top = detail::AsInteger(kClassName, p);
      } else if (name == "MinimumWidth") {
        d.minimum_width = detail::AsInteger(kClassName, p);
      } else if (name == "MinimumHeight") {
        d.minimum_height = detail::AsInteger(kClassName, p);
      } else if (name == "MaximumWidth") {
        d.maximum_width = detail::AsInteger(kClassName, p);
      } else if (name == "MaximumHeight") {
        d.maximum_height = detail::AsInteger(kClassName, p);
      } else if (name == "Type") {
        const int64_t type = detail::AsInteger(kClassName, p);
        if (type != kDocumentWindow && type != kGlobalFloatingWindow) {
          detail::UnsupportedValue(kClassName, p);
        }
        d.type = type;
      } else if (name == "Title") {
        title = detail::AsText(kClassName, p);
      } else if (name == "HasCloseButton") {
        d.close_button = detail::AsBool(kClassName, p);
      } else if (name == "HasMaximizeButton") {
        d.maximize_button = detail::AsBool(kClassName, p);
      } else if (name == "HasMinimizeButton") {
        d.minimize_button = detail::AsBool(kClassName, p);
      } else if (name == "HasFullScreenButton") {
        d.full_screen_button = detail::AsBool(kClassName, p);
      } else if (name == "Resizeable") {
        d.resizeable = detail::AsBool(kClassName, p);
      } else if (name == "Composite") {
        // No effect: Qt composites every window itself.
        detail::AsBool(kClassName, p);
      } else if (name == "MacProcID") {
        // No effect: there are no custom window definitions; 0 is the
        // standard window.
        detail::AsInteger(kClassName, p);
      } else if (name == "FullScreen") {
        d.full_screen = detail::AsBool(kClassName, p);
      } else if (name == "DefaultLocation") {
        // 0: the platform places the window until the program gives a place.
        if (detail::AsInteger(kClassName, p) != 0) detail::UnsupportedValue(kClassName, p);
      } else if (name == "Visible") {
        d.visible = detail::AsBool(kClassName, p);
      } else if (name == "HasBackgroundColor") {
        d.has_background_color = detail::AsBool(kClassName, p);
      } else if (name == "BackgroundColor") {
        d.background_color = detail::AsColor(kClassName, p);
      } else if (name == "MenuBarVisible") {
        d.menu_bar_visible = detail::AsBool(kClassName, p);
      } else if (name == "LiveResize") {
        // No effect: the content always follows a resize while it happens.
        detail::AsBool(kClassName, p);
      } else {
        detail::UnknownProperty(kClassName, p);
      }
    }
  } catch (...) {
    commit();
    throw;
  }
  commit();
}

void Window::AddControl(const std::string& name, const std::shared_ptr<Control>& control) {
  detail::RequireUiThread();
  if (!control) throw NilObjectException("nil control");
  std::shared_ptr<Window> self = weak_from_this().lock();
  if (!self) throw RuntimeException("a window must be held by a shared reference to take controls");
  Control::Impl& c = detail::Access::ImplOf(*control);
  if (!c.window.expired()) throw RuntimeException("the control is already on a window");
  QWidget& widget = NotNil(c.widget.data(), "control");
  impl_->controls.push_back(control);
  c.window = self;
  c.name = name;
  widget.setObjectName(detail::ToQt(name));
  widget.setParent(impl_->widget->content);
  widget.setVisible(c.visible);
  c.right_margin = impl_->ContentWidth() - (c.left + c.width);
  c.bottom_margin = impl_->ContentHeight() - (c.top + c.height);
  impl_->PlaceControl(*control);
  detail::Access::UpdateTabOrder(*this);
}

std::shared_ptr<Control> Window::ControlByName(const std::string& name) const {
  for (const std::shared_ptr<Control>& control : impl_->controls) {
    if (TextEquals(control->Name(), name)) return control;
  }
  return nullptr;
}

std::vector<std::shared_ptr<Control>> Window::Controls() const { return impl_->controls; }

void Window::SetEventHandler(WindowEvent event, std::function<void()> handler) {
  impl_->handlers[static_cast<size_t>(event)] = std::move(handler);
}

std::shared_ptr<Window> GetImplicitWindow(const std::string& fullClassName) {
  detail::RequireUiThread();
  for (const std::shared_ptr<Window>& window : OpenRegistry()) {
    if (window->FullClassName() == fullClassName) return window;
  }
  return nullptr;
}

namespace detail {

std::vector<std::shared_ptr<Window>> OpenWindows() { return OpenRegistry(); }

void DiscardOpenWindows() {
  std::vector<std::shared_ptr<Window>> windows;
  windows.swap(OpenRegistry());
  for (const std::shared_ptr<Window>& window : windows) Access::Discard(*window);
}

void Access::Discard(Window& window) {
  Window::Impl& d = *window.impl_;
  d.open = false;
  if (d.widget) d.widget->hide();
}

void Access::PlaceControl(Window& window, Control& control) { window.impl_->PlaceControl(control); }

void Access::LayoutContent(Window& window) { window.impl_->LayoutContent(); }

void Access::UpdateTabOrder(Window& window) {
  std::vector<std::shared_ptr<Control>> order = window.impl_->controls;
  std::stable_sort(order.begin(), order.end(),
                   [](const std::shared_ptr<Control>& a, const std::shared_ptr<Control>& b) {
                     return ImplOf(*a).tab_index < ImplOf(*b).tab_index;
                   });
  QWidget* previous = nullptr;
  for (const std::shared_ptr<Control>& control : order) {
    QWidget* widget = ImplOf(*control).widget;
    if (widget == nullptr) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

void Access::HandleClose(Window& window) {
  Window::Impl& d = *window.impl_;
  if (!d.open || d.closing) return;
  const std::shared_ptr<Window> self = window.shared_from_this();
  d.closing = true;
  const bool closedCleanly = d.Raise(WindowEvent::Close);
  d.closing = false;
  d.open = false;
  std::vector<std::shared_ptr<Window>>& open = OpenRegistry();
  open.erase(std::remove(open.begin(), open.end(), self), open.end());
  if (d.widget) d.widget->hide();
  // With its last window gone the application has nothing left to show. A
  // Close handler that failed before it could quit ends it as a failure.
  if (open.empty()) Guard([closedCleanly] { Quit(closedCleanly ? 0 : 1); });
}

void Access::HandleActivation(Window& window, bool active) {
  Window::Impl& d = *window.impl_;
  if (!active) {
    d.early_activation = false;
    return;
  }
  if (!d.open) return;
  if (d.early_activation) {
    d.early_activation = false;
    return;
  }
  d.Raise(WindowEvent::Activate);
}

void Access::ActivateBeforeInput(Window& window) {
  Window::Impl& d = *window.impl_;
  if (!d.open || d.early_activation || d.widget->isActiveWindow()) return;
  d.early_activation = true;
  d.Raise(WindowEvent::Activate);
  if (d.widget) d.widget->activateWindow();
}

WindowWidget::WindowWidget() : content(new QWidget(this)) {}

bool WindowWidget::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate) {
    if (std::shared_ptr<Window> window = owner ? owner->weak_from_this().lock() : nullptr) {
      Access::HandleActivation(*window, event->type() == QEvent::WindowActivate);
    }
  }
  return QWidget::event(event);
}

void WindowWidget::closeEvent(QCloseEvent* event) {
  event->accept();
  if (std::shared_ptr<Window> window = owner ? owner->weak_from_this().lock() : nullptr) {
    Access::HandleClose(*window);
  }
}

void WindowWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (std::shared_ptr<Window> window = owner ? owner->weak_from_this().lock() : nullptr) {
    Access::LayoutContent(*window);
  }
}

}  // namespace detail
}  // namespace rt::ui
