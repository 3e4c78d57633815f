// Memory straight from the operating system: whole pages that read as zero
// and take no room in the resident set until something is written to them.
// A DSP object that is built but never plays (a voice of an effect) then
// costs address space only.
#pragma once

#include <cstddef>

namespace vardo {

// At least `bytes` bytes of zeroed pages, page-aligned; throws std::bad_alloc
// when the system has none to give.
void* allocateFreshPages(std::size_t bytes);
// Gives back what allocateFreshPages(bytes) returned.
void releaseFreshPages(void* pages, std::size_t bytes) noexcept;

// Tag of the constructors that build on memory from allocateFreshPages: they
// leave the signal state unwritten, since its zero bytes are the cleared state.
struct OnFreshPages {
  explicit OnFreshPages() = default;
};

}  // namespace vardo
