// Counts the global operator new calls made on the current thread while a
// CountAllocations object is alive (plugin_tests replaces operator new).
#pragma once

namespace vardo::test {

long& allocationCount();
bool& allocationCounting();

class CountAllocations {
 public:
  CountAllocations() {
    allocationCount() = 0;
    allocationCounting() = true;
  }
  ~CountAllocations() { allocationCounting() = false; }
  long count() const { return allocationCount(); }
};

}  // namespace vardo::test
