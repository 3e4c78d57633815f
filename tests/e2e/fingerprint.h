// Output fingerprints: a hash of every bit of both output channels. Shared by
// the golden test of the Linux plug-in and the Windows host run under wine,
// so that the DLL is held to the Linux build's bits on one case.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "programme.h"

namespace vardo::fingerprint {

constexpr std::uint64_t kStart = 0xcbf29ce484222325ull;

// FNV-1a over the bytes of each sample, little end first.
inline std::uint64_t fnv1a(std::uint64_t hash, const std::vector<float>& samples) {
  for (const float s : samples) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &s, sizeof bits);
    for (int byte = 0; byte < 4; ++byte) {
      hash ^= (bits >> (8 * byte)) & 0xffu;
      hash *= 0x100000001b3ull;
    }
  }
  return hash;
}

// The case both builds render: one second of white noise (integer-generated,
// so every platform makes the same input) at 48 kHz in blocks of 512, the
// controls at their defaults, input 1 silent.
constexpr int kSharedRate = 48000;
constexpr int kSharedBlock = 512;
inline std::vector<float> sharedInput() { return programme::whiteNoise(kSharedRate, 0.5f, 11u); }
constexpr std::uint64_t kSharedExpected = 0xe0c4de05743cd9fdull;

}  // namespace vardo::fingerprint
