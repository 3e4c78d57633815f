// Counts the global operator new calls made on the current thread while a
// CountAllocations object is alive (plugin_tests replaces operator new).
#pragma once

namespace vardo::test {

long& allocationCount();
long long& allocationBytes();
bool& allocationCounting();

class CountAllocations {
 public:
  CountAllocations() {
    allocationCount() = 0;
    allocationBytes() = 0;
    allocationCounting() = true;
  }
  ~CountAllocations() { allocationCounting() = false; }
  long count() const { return allocationCount(); }
  long long bytes() const { return allocationBytes(); }
};

}  // namespace vardo::test
