#include "tests/ui/recording_window1_events.h"

#include "app/window1.h"
#include "runtime/ui/window.h"

// These bodies stand in for the application's own (window1_events.cpp) in
// this test program only: they record and do nothing else.
namespace uitest {

Window1Calls& Calls() {
  static Window1Calls calls;
  return calls;
}

namespace {

// Whether naming the main window from inside a handler of `window` yields
// that window. The open window is looked up first, so that a failure cannot
// open windows without end.
bool NamesItself(const app::Window1* window) {
  if (rt::ui::GetImplicitWindow(app::Window1::kFullClassName).get() != window) return false;
  return app::Window1::Instance().get() == window;
}

}  // namespace
}  // namespace uitest

namespace app {

void Window1::Event_Open() {
  ++uitest::Calls().open;
  uitest::Calls().open_named_itself = uitest::NamesItself(this);
}

void Window1::Event_Close() {
  ++uitest::Calls().close;
  uitest::Calls().close_named_itself = uitest::NamesItself(this);
}

void Window1::Event_Activate() { ++uitest::Calls().activate; }

bool Window1::Listbox1_CellClick(const std::shared_ptr<rt::ui::Listbox>& list, int64_t row,
                                 int64_t column, int64_t, int64_t) {
  uitest::Calls().clicks.push_back({list.get(), row, column});
  return false;
}

}  // namespace app
