#include "tests/ui/failing_allocations.h"

#include <cstdlib>
#include <new>

// Replaces the global allocation functions of the test program, so that a
// test can make one chosen allocation of the code under test fail.
namespace {

thread_local long allocations_until_failure = 0;

void* Allocate(std::size_t size) {
  if (allocations_until_failure > 0 && --allocations_until_failure == 0) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

}  // namespace

namespace uitest {

void FailAllocation(long n) { allocations_until_failure = n; }

}  // namespace uitest

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
