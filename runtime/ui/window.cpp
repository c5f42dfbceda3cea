#include "runtime/ui/window.h"

#include <QCloseEvent>
#include <QResizeEvent>
#include <algorithm>

#include "runtime/exceptions.h"
#include "runtime/text.h"
#include "runtime/ui/runtime.h"
#include "runtime/ui/window_impl.h"

namespace rt::ui {
namespace {

std::vector<std::shared_ptr<Window>>& OpenRegistry() {
  static std::vector<std::shared_ptr<Window>> windows;
  return windows;
}

}  // namespace

bool Window::Impl::Raise(WindowEvent event) {
  // A copy, so that a handler that rebinds its own event is not destroyed
  // while it runs.
  std::function<void()> handler = handlers[static_cast<size_t>(event)];
  if (!handler) return true;
  return detail::Guard(handler);
}

Window::Window(std::string fullClassName) : impl_(std::make_unique<Impl>()) {
  detail::RequireUiThread();
  impl_->full_class_name = std::move(fullClassName);
  impl_->widget = new detail::WindowWidget;
  impl_->widget->owner = this;
  // A utility window above the windows of every application, also while
  // another one is active.
  impl_->widget->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                                Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                Qt::WindowMinimizeButtonHint);
  // macOS hides utility windows while their application is inactive.
  impl_->widget->setAttribute(Qt::WA_MacAlwaysShowToolWindow, true);
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
  if (impl_->open) impl_->Show();
}

void Window::Close() {
  detail::RequireUiThread();
  if (!impl_->open || impl_->closing) return;
  const std::shared_ptr<Window> self = weak_from_this().lock();
  impl_->widget->close();
  // Qt sends no close event to a window that it has not made yet.
  if (impl_->open && !impl_->closing) detail::Access::HandleClose(*this);
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
  widget.setVisible(true);
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
  const bool answersEarlyActivation =
      d.early_activation &&
      (!d.early_activation_handled ||
       MonotonicMs() - *d.early_activation_handled <= Window::Impl::kActivationAnswerMs);
  d.early_activation = false;
  if (!active || !d.open || answersEarlyActivation) return;
  d.Raise(WindowEvent::Activate);
}

void Access::ActivateBeforeInput(Window& window) {
  Window::Impl& d = *window.impl_;
  if (!d.open || d.widget->isActiveWindow()) return;
  d.early_activation = true;
  d.early_activation_handled.reset();
  d.Raise(WindowEvent::Activate);
  if (d.widget) d.widget->activateWindow();
}

void Access::InputHandled(Window& window) {
  Window::Impl& d = *window.impl_;
  if (d.early_activation && !d.early_activation_handled) d.early_activation_handled = MonotonicMs();
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
