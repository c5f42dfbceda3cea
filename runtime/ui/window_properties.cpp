#include <optional>

#include "runtime/ui/window_impl.h"

namespace rt::ui {
namespace {

constexpr const char* kClassName = "Window";

// What every window of this layer is (see Window::Impl).
const std::vector<detail::FixedValue>& FixedWindowValues() {
  static const std::vector<detail::FixedValue> fixed = {
      // A global floating window: above the windows of every application.
      {"Type", int64_t{7}},
      {"HasCloseButton", true},
      {"HasMaximizeButton", false},
      {"HasMinimizeButton", true},
      {"HasFullScreenButton", false},
      {"Resizeable", true},
      // Qt composites every window itself.
      {"Composite", false},
      // There are no custom window definitions; 0 is the standard window.
      {"MacProcID", int64_t{0}},
      {"FullScreen", false},
      // The platform places the window until the program gives a place.
      {"DefaultLocation", int64_t{0}},
      {"Visible", true},
      {"HasBackgroundColor", false},
      // No effect while HasBackgroundColor is false.
      {"BackgroundColor", Color{255, 255, 255}},
      {"MenuBarVisible", true},
      // The content always follows a resize while it happens.
      {"LiveResize", true},
  };
  return fixed;
}

}  // namespace

void Window::SetProperties(const PropertySet& properties) {
  detail::RequireUiThread();
  Impl& d = *impl_;
  int64_t width = d.ContentWidth();
  int64_t height = d.ContentHeight();
  std::optional<std::string> title;
  // What was set before a faulty property is carried out all the same.
  const auto commit = [&] {
    if (title) d.widget->setWindowTitle(detail::ToQt(*title));
    d.SetContentSize(width, height);
  };
  try {
    for (const Property& p : properties) {
      const std::string& name = p.name;
      if (name == "Width") {
        width = detail::AsInteger(kClassName, p);
      } else if (name == "Height") {
        height = detail::AsInteger(kClassName, p);
      } else if (name == "MinimumWidth") {
        d.minimum_width = detail::AsInteger(kClassName, p);
      } else if (name == "MinimumHeight") {
        d.minimum_height = detail::AsInteger(kClassName, p);
      } else if (name == "MaximumWidth") {
        d.maximum_width = detail::AsInteger(kClassName, p);
      } else if (name == "MaximumHeight") {
        d.maximum_height = detail::AsInteger(kClassName, p);
      } else if (name == "Title") {
        title = detail::AsText(kClassName, p);
      } else if (!detail::CheckFixed(kClassName, p, FixedWindowValues())) {
        detail::UnknownProperty(kClassName, p);
      }
    }
  } catch (...) {
    commit();
    throw;
  }
  commit();
}

}  // namespace rt::ui
