// Fixed-capacity containers for the audio thread: the event queues and voice
// lists never allocate after construction. A push onto a full container is
// refused and reported to the caller.
#pragma once

#include <cstddef>

template <typename T, std::size_t Capacity>
class FixedFifo {
 public:
  bool empty() const { return fCount == 0; }
  bool full() const { return fCount == Capacity; }
  std::size_t size() const { return fCount; }
  static constexpr std::size_t capacity() { return Capacity; }

  bool push(const T& value) {
    if (fCount == Capacity) return false;
    fItems[(fHead + fCount) % Capacity] = value;
    ++fCount;
    return true;
  }
  T& front() { return fItems[fHead]; }
  const T& front() const { return fItems[fHead]; }
  void pop() {
    if (fCount == 0) return;
    fHead = (fHead + 1) % Capacity;
    --fCount;
  }
  // Element i counted from the front.
  T& operator[](std::size_t i) { return fItems[(fHead + i) % Capacity]; }
  const T& operator[](std::size_t i) const { return fItems[(fHead + i) % Capacity]; }
  void clear() { fHead = fCount = 0; }

 private:
  T fItems[Capacity] = {};
  std::size_t fHead = 0;
  std::size_t fCount = 0;
};

// An ordered list with removal from anywhere, for at most Capacity items.
template <typename T, std::size_t Capacity>
class FixedList {
 public:
  bool empty() const { return fCount == 0; }
  std::size_t size() const { return fCount; }
  bool push_back(const T& value) {
    if (fCount == Capacity) return false;
    fItems[fCount++] = value;
    return true;
  }
  T& operator[](std::size_t i) { return fItems[i]; }
  const T& operator[](std::size_t i) const { return fItems[i]; }
  T& front() { return fItems[0]; }
  void erase(std::size_t i) {
    if (i >= fCount) return;
    for (std::size_t k = i + 1; k < fCount; ++k) fItems[k - 1] = fItems[k];
    --fCount;
  }
  bool contains(const T& value) const {
    for (std::size_t k = 0; k < fCount; ++k)
      if (fItems[k] == value) return true;
    return false;
  }
  void clear() { fCount = 0; }

 private:
  T fItems[Capacity] = {};
  std::size_t fCount = 0;
};
