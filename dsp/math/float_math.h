// Single-precision transcendentals evaluated in double precision and rounded
// to float, so that every build and platform computes the same coefficients.
#pragma once

#include <cmath>

namespace vardo {

inline float ftan(float x) { return static_cast<float>(std::tan(static_cast<double>(x))); }
inline float fsin(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
inline float fexp(float x) { return static_cast<float>(std::exp(static_cast<double>(x))); }
inline float fpow(float x, float y) {
  return static_cast<float>(std::pow(static_cast<double>(x), static_cast<double>(y)));
}
inline float fsqrt(float x) { return std::sqrt(x); }  // correctly rounded in float already

// 10^(0.05 x): decibels to a linear gain.
inline float dbToLinear(float db) { return fpow(10.0f, 0.05f * db); }

// pi in double, for angles rounded to float once, and x pi rounded to float.
constexpr double kPi = 3.14159265358979323846;
consteval float piTimes(double x) { return static_cast<float>(kPi * x); }

// The -90 dB floor under every level divisor.
constexpr float kFloor90dB = 3.1622778e-5f;

}  // namespace vardo
