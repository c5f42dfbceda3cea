#pragma once

// What the tests of the window layer and the application drive and read
// that the program itself never does. Built into a library of its own, which
// only tests link.

#include <cstdint>

#include "runtime/ui/controls.h"

namespace rt::ui::testing {

// Presses and releases the mouse on the cell as a user does, through the
// same events, once the list is drawn as it stands. The list must be shown;
// raises OutOfBoundsException outside the rows and columns.
void ClickCell(Listbox& list, int64_t row, int64_t column);

// The selected row, or -1.
int64_t SelectedRow(const Listbox& list);

int64_t RowCount(const Listbox& list);

}  // namespace rt::ui::testing
