#include "runtime/ui/application.h"

#include <QMenuBar>
#include <QPointer>

#include "runtime/ui/internal.h"
#include "runtime/ui/menu.h"

namespace rt::ui {

struct Application::Impl {
  std::shared_ptr<rt::ui::MenuBar> menu_bar;
  // The menu bar macOS shows while no window is active; other platforms
  // have no place for a menu bar outside the windows.
  QPointer<QMenuBar> global_menu_bar;
};

Application::Application() : impl_(std::make_unique<Impl>()) { detail::RequireUiThread(); }

Application::~Application() { delete impl_->global_menu_bar.data(); }

std::shared_ptr<MenuBar> Application::MenuBar() const { return impl_->menu_bar; }

void Application::MenuBar(std::shared_ptr<rt::ui::MenuBar> menuBar) {
  detail::RequireUiThread();
#ifdef Q_OS_MACOS
  QMenuBar* built = menuBar ? detail::BuildMenuBar(*menuBar, nullptr) : nullptr;
  delete impl_->global_menu_bar;
  impl_->global_menu_bar = built;
#endif
  impl_->menu_bar = std::move(menuBar);
}

void Application::SetSupportsHiDPI(bool /*supported*/) {}

}  // namespace rt::ui
