#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <ostream>
#include <string>

#include "runtime/ui/window.h"

namespace uitest {

// Lets Qt deliver what is pending (activation, resizes, deferred deletes)
// for about `ms` milliseconds.
inline void Settle(int ms = 30) {
  QElapsedTimer timer;
  timer.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  } while (timer.elapsed() < ms);
}

// Waits up to a second for `condition`.
inline bool SettleUntil(const std::function<bool()>& condition) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > 1000) return false;
    Settle(5);
  }
  return true;
}

inline int VisibleTopLevelWindows() {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible() && widget->isWindow() && widget->windowType() != Qt::Popup) ++count;
  }
  return count;
}

// The top-level widget showing the title `title`.
inline QWidget* TopLevelTitled(const std::string& title) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->windowTitle() == QString::fromStdString(title) && widget->isWindow()) return widget;
  }
  return nullptr;
}

// A control's place and size, comparable and printable.
struct Rect {
  int64_t left, top, width, height;
  bool operator==(const Rect&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "(" << r.left << ", " << r.top << ", " << r.width << " x " << r.height << ")";
}

// Of a control, or of a window's content area.
template <class T>
Rect RectOf(const T& c) {
  return {c.Left(), c.Top(), c.Width(), c.Height()};
}

// A window class whose handlers the test binds.
class TestWindow : public rt::ui::Window {
 public:
  explicit TestWindow(std::string fullClassName = "Test.TestWindow")
      : rt::ui::Window(std::move(fullClassName)) {}
  using rt::ui::Window::SetEventHandler;
};

}  // namespace uitest
