// Deterministic programmes for the whole-chain tests and the benchmark.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace vardo::programme {

// Pi, as M_PI gives it where <cmath> defines that (not in strict ISO mode).
constexpr double kPi = 3.14159265358979323846;

// Fixed-seed uniform noise in [-1, 1).
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : fSeed(seed) {}
  float next() {
    fSeed = fSeed * 1664525u + 1013904223u;
    return static_cast<float>(fSeed >> 8) / 8388608.0f - 1.0f;
  }

 private:
  std::uint32_t fSeed;
};

inline std::vector<float> whiteNoise(int count, float amplitude, std::uint32_t seed = 1u) {
  Noise n(seed);
  std::vector<float> s(count);
  for (float& v : s) v = amplitude * n.next();
  return s;
}

// Speech-like material: noise shaped to roughly 100 Hz ... 4 kHz under a
// syllable envelope (about four per second) with pauses between phrases, plus
// a hum-like tone and two quiet steady tones.
inline std::vector<float> speechLike(int count, double fs, std::uint32_t seed = 7u) {
  Noise n(seed);
  std::vector<float> s(count);
  const double lowCoef = std::exp(-2.0 * kPi * 4000.0 / fs);
  const double highCoef = std::exp(-2.0 * kPi * 100.0 / fs);
  double low = 0.0;
  double slow = 0.0;
  for (int i = 0; i < count; ++i) {
    const double t = i / fs;
    low = lowCoef * low + (1.0 - lowCoef) * n.next();
    slow = highCoef * slow + (1.0 - highCoef) * low;
    const double band = (low - slow) * 4.0;
    const double syllable = std::pow(std::max(0.0, std::sin(2.0 * kPi * 4.1 * t)), 2.0);
    const double phrase = std::fmod(t, 2.3) < 1.8 ? 1.0 : 0.02;
    const double tones = 0.05 * std::sin(2.0 * kPi * 220.0 * t) +
                         0.02 * std::sin(2.0 * kPi * 1000.0 * t) +
                         0.01 * std::sin(2.0 * kPi * 6500.0 * t);
    s[i] = static_cast<float>(0.5 * band * syllable * phrase + tones);
  }
  return s;
}

}  // namespace vardo::programme
