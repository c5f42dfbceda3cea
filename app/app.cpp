#include "app/app.h"

#include "runtime/exceptions.h"

namespace app {

std::shared_ptr<App> App::Instance() { return rt::CastTo<App>(rt::GetAppObject(), "App"); }

}  // namespace app
