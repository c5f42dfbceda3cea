#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <limits>

#include "runtime/ui/window_impl.h"

namespace rt::ui {
namespace {

int ToQtSize(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, 0, QWIDGETSIZE_MAX));
}

int ToQtCoordinate(int64_t value) {
  constexpr int64_t kLimit = std::numeric_limits<int>::max() / 2;
  return static_cast<int>(std::clamp<int64_t>(value, -kLimit, kLimit));
}

// The screen that shows most of `frame`; the one nearest to it when none
// shows any of it (a monitor gone since the place was saved).
QScreen* ScreenFor(const QRect& frame) {
  QScreen* best = nullptr;
  int64_t bestShown = 0;
  int64_t bestDistance = std::numeric_limits<int64_t>::max();
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect area = screen->availableGeometry();
    const QRect shown = area.intersected(frame);
    const int64_t shownArea = shown.isEmpty() ? 0 : int64_t{shown.width()} * shown.height();
    const int64_t dx = std::max({0, area.left() - frame.center().x(), frame.center().x() - area.right()});
    const int64_t dy = std::max({0, area.top() - frame.center().y(), frame.center().y() - area.bottom()});
    const int64_t distance = dx * dx + dy * dy;
    if (shownArea > bestShown || (bestShown == 0 && shownArea == 0 && distance < bestDistance)) {
      best = screen;
      bestShown = shownArea;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace

int Window::Impl::MenuBarHeight() const {
  QMenuBar* bar = widget->menu_bar;
  if (bar == nullptr || bar->isNativeMenuBar()) return 0;
  return bar->sizeHint().height();
}

int64_t Window::Impl::ContentWidth() const { return widget->width(); }

int64_t Window::Impl::ContentHeight() const {
  return std::max(0, widget->height() - MenuBarHeight());
}

void Window::Impl::SetContentSize(int64_t width, int64_t height) {
  // The content's limits, as limits of the whole window.
  const int bar = MenuBarHeight();
  widget->setMinimumSize(ToQtSize(minimum_width), ToQtSize(minimum_height + bar));
  widget->setMaximumSize(ToQtSize(maximum_width), ToQtSize(maximum_height + bar));
  widget->resize(ToQtSize(width), ToQtSize(height + bar));
  LayoutContent();
  if (widget->isVisible()) KeepOnScreen();
}

void Window::Impl::PlaceContent(int64_t left, int64_t top) {
  const QRect g = widget->geometry();
  widget->setGeometry(ToQtCoordinate(left), ToQtCoordinate(top - MenuBarHeight()), g.width(),
                      g.height());
  placed = true;
  // Before the window shows, its size may still change; it is kept on the
  // screen once it shows, at its final size.
  if (widget->isVisible()) KeepOnScreen();
}

void Window::Impl::PlaceControl(Control& control) const {
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

void Window::Impl::LayoutContent() {
  const int bar = MenuBarHeight();
  if (QMenuBar* menuBar = widget->menu_bar) {
    menuBar->setVisible(bar > 0);
    if (bar > 0) menuBar->setGeometry(0, 0, widget->width(), bar);
  }
  widget->content->setGeometry(0, bar, widget->width(), std::max(0, widget->height() - bar));
  for (const std::shared_ptr<Control>& control : controls) PlaceControl(*control);
}

void Window::Impl::KeepOnScreen() {
  if (!placed) return;
  // The frame, title bar included, once the window manager has framed the
  // window; the window itself before.
  const QRect content = widget->geometry();
  const QRect frame = widget->frameGeometry();
  QScreen* screen = ScreenFor(frame);
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const int x =
      std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() + 1 - frame.width()));
  const int y =
      std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()));
  if (x == frame.left() && y == frame.top()) return;
  widget->setGeometry(content.translated(x - frame.left(), y - frame.top()));
}

void Window::Impl::Show() {
  KeepOnScreen();
  widget->show();
  // A window the program opens is meant to be used at once; window
  // managers do not all activate a new utility window by themselves.
  widget->activateWindow();
}

int64_t Window::Left() const {
  detail::RequireUiThread();
  return impl_->widget->geometry().x();
}

void Window::Left(int64_t left) {
  detail::RequireUiThread();
  impl_->PlaceContent(left, Top());
}

int64_t Window::Top() const {
  detail::RequireUiThread();
  return impl_->widget->geometry().y() + impl_->MenuBarHeight();
}

void Window::Top(int64_t top) {
  detail::RequireUiThread();
  impl_->PlaceContent(Left(), top);
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

}  // namespace rt::ui
