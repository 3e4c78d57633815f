// Control fields are plain 32-bit floats written by host threads and read by
// the audio thread once per block. Both sides go through relaxed atomic
// access: still a single 32-bit load or store and no lock, but race-free.
#pragma once

#include <atomic>

inline float loadControl(const float* zone) {
  return std::atomic_ref<float>(*const_cast<float*>(zone)).load(std::memory_order_relaxed);
}

inline void storeControl(float* zone, float value) {
  std::atomic_ref<float>(*zone).store(value, std::memory_order_relaxed);
}
