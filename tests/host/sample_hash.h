// FNV-1a over the bits of float samples: a fingerprint of a render that
// differs when any sample differs in any bit.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace vardo::test {

inline constexpr std::uint64_t kFnv1aStart = 0xcbf29ce484222325ull;

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

}  // namespace vardo::test
