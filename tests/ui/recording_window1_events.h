#pragma once

#include <cstdint>
#include <vector>

namespace uitest {

// What the main window handed its four event handlers.
struct Window1Calls {
  int open = 0;
  int close = 0;
  int activate = 0;
  bool open_named_itself = false;
  bool close_named_itself = false;
  struct Click {
    const void* list;
    int64_t row, column;
  };
  std::vector<Click> clicks;
};

Window1Calls& Calls();

}  // namespace uitest
