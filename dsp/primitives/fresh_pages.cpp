#include "primitives/fresh_pages.h"

#include <new>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace vardo {

void* allocateFreshPages(std::size_t bytes) {
#if defined(_WIN32)
  void* pages = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (pages == nullptr) throw std::bad_alloc();
#else
  void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) throw std::bad_alloc();
#endif
  return pages;
}

void releaseFreshPages(void* pages, std::size_t bytes) noexcept {
  if (pages == nullptr) return;
#if defined(_WIN32)
  (void)bytes;
  VirtualFree(pages, 0, MEM_RELEASE);
#else
  munmap(pages, bytes);
#endif
}

}  // namespace vardo
