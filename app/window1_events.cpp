#include "app/window1.h"
#include "runtime/ui/runtime.h"

namespace app {

void Window1::Event_Open() {}

void Window1::Event_Close() { rt::ui::Quit(0); }

void Window1::Event_Activate() {}

bool Window1::Listbox1_CellClick(const std::shared_ptr<rt::ui::Listbox>&, int64_t, int64_t, int64_t,
                                 int64_t) {
  return false;
}

}  // namespace app
