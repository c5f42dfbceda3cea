#include "app/startup.h"

#include <exception>
#include <optional>

#include "app/app.h"
#include "app/menubar1.h"
#include "app/window1.h"
#include "engine/script_bridge.h"
#include "runtime/exceptions.h"
#include "runtime/ui/runtime.h"

namespace app {
namespace {

// The Clearing flag of every style request: the check box of the open main
// window. It never opens a window of its own; with no main window, or none
// with a check box, there is no flag and the request fails.
std::optional<bool> MainWindowClearingFlag() {
  const std::shared_ptr<rt::ui::Window> open = rt::ui::GetImplicitWindow(Window1::kFullClassName);
  if (!open) return std::nullopt;
  const std::shared_ptr<rt::ui::CheckBox> box = rt::CastTo<Window1>(open, "Window1")->CB1();
  if (!box) return std::nullopt;
  return box->Value();
}

}  // namespace

int main(int argc, char** argv) {
  rt::ui::RuntimeInit(argc, argv);
  // The class records in their fixed order. The slot of the shared menu
  // bar, between the last two, starts empty and needs no initialiser.
  rt::ui::RuntimePerformInitializers({
      [] { rt::ui::RegisterClass(App::kFullClassName); },
      [] { rt::ui::RegisterClass(Window1::kFullClassName); },
      [] { rt::ui::RegisterClass(MenuBar1::kFullClassName); },
  });
  Main();
  rt::ui::RuntimePerformFinalizers();
  return rt::ui::RuntimeExit();
}

void Main() noexcept {
  try {
    if (std::exception_ptr pending = rt::ui::TakePendingException()) {
      std::rethrow_exception(pending);
    }
    EarlyStartup();
    rt::ui::RunFrameworkInitialization(&LateStartup);
    rt::ui::RuntimeRun();
  } catch (...) {
    rt::ui::UnhandledException(std::current_exception());
  }
}

void EarlyStartup() {
  rt::ui::Application::SetSupportsHiDPI(true);
  // The toolkit's classes and the regular-expression library are linked in,
  // so nothing is left to ready or bind here. The flag source goes in before
  // the application object, so that it stands before any window can exist.
  engine::SetClearingFlagSource(&MainWindowClearingFlag);
  // No document file types and no application-level menu handlers: the
  // menus act through their items alone.
  NewAppInstance();
}

void NewAppInstance() {
  auto app = std::make_shared<App>();
  app->SetVersionData(3, 0, 0, 10, 2, "", "", "");
  app->MenuBar(MenuBar1::Instance());
  rt::RuntimeRegisterAppObject(app);
}

void LateStartup() { MakeDefaultView(); }

void MakeDefaultView() { Window1::Instance(); }

}  // namespace app
