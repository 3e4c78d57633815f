// The replacement operator new behind CountAllocations. Kept apart from the
// tests so no call site sees both the replacement and its use inlined.
#include "allocation_counter.h"

#include <cstdlib>
#include <new>

namespace vardo::test {
namespace {
thread_local long tAllocations = 0;
thread_local long long tBytes = 0;
thread_local bool tCounting = false;
}  // namespace
long& allocationCount() { return tAllocations; }
long long& allocationBytes() { return tBytes; }
bool& allocationCounting() { return tCounting; }
}  // namespace vardo::test

void* operator new(std::size_t size) {
  if (vardo::test::allocationCounting()) {
    ++vardo::test::allocationCount();
    vardo::test::allocationBytes() += static_cast<long long>(size);
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
