#pragma once

namespace uitest {

// Makes the `n`-th allocation from now on this thread fail with
// std::bad_alloc (n >= 1); 0 turns the failure off.
void FailAllocation(long n);

}  // namespace uitest
