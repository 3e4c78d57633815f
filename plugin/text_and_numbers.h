// The shell's one bounded text copy and its one float-to-integer rule.
#pragma once

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstring>

// Copies text into a buffer of `capacity` bytes: the whole text when it fits,
// otherwise its first capacity - 1 characters, always terminated, never a
// byte past capacity (nothing at all when capacity is 0 or `to` is null).
// With zeroFill the bytes after the text, up to the terminator at capacity -
// 1, are zeros too, as hosts expect of fixed-size name fields.
inline void copyText(char* to, std::size_t capacity, const char* text, bool zeroFill = false) {
  if (to == nullptr || capacity == 0) return;
  std::size_t length = 0;
  while (length < capacity - 1 && text[length] != '\0') ++length;
  std::memmove(to, text, length);
  if (zeroFill) {
    std::memset(to + length, 0, capacity - length);
  } else {
    to[length] = '\0';
  }
}

// Truncation toward zero that is defined for every float: NaN gives 0, values
// beyond the int range give its nearest end.
inline int truncateToInt(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483648.0f) return INT_MAX;
  if (v <= -2147483648.0f) return INT_MIN;
  return static_cast<int>(v);
}
