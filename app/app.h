#pragma once

#include <memory>

#include "runtime/ui/application.h"

namespace app {

// The application class: the toolkit's application object, adding nothing.
class App : public rt::ui::Application {
 public:
  static constexpr const char* kFullClassName = "App.App";

  // The registered application object; null before start-up registers it.
  static std::shared_ptr<App> Instance();
};

}  // namespace app
