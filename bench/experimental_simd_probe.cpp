// Whether the data-parallel types of <experimental/simd> could carry the
// eight lanes: the same recurrence (a biquad and a peak follower, the shape
// of the band kernels) on those types and on the AVX intrinsics, compared bit
// for bit and timed, and which operand stdx::max keeps on a NaN or a signed
// zero. Built and run by scripts/experimental-simd-probe.sh.
#include <experimental/simd>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <chrono>
#include <immintrin.h>
namespace stdx = std::experimental;
#ifdef PROBE_FIXED_SIZE
using V = stdx::fixed_size_simd<float, 8>;
#else
using V = stdx::native_simd<float>;
static_assert(V::size() == 8);
#endif
using M = V::mask_type;
// std::max(a,b) = a < b ? b : a, written with where()
inline V vmax(V a, V b) { V r = a; stdx::where(a < b, r) = b; return r; }
struct A8 { __m256 v; };
inline A8 amax(A8 a, A8 b) { return {_mm256_max_ps(b.v, a.v)}; }
// a recurrence like the band kernels: y = b0*x + s1; s1 = b1*x - a1*y + s2; s2 = b2*x - a2*y; env = max(env*r, |y|)
template <class T, class Load, class Store, class Max, class Abs, class Splat>
[[gnu::noinline]] void run(const float* x, float* out, int n, Load ld, Store st, Max mx, Abs ab, Splat sp) {
  T s1 = sp(0), s2 = sp(0), env = sp(0);
  const T b0 = sp(0.2f), b1 = sp(0.4f), b2 = sp(0.2f), a1 = sp(-0.5f), a2 = sp(0.25f), r = sp(0.999f);
  for (int i = 0; i < n; ++i) {
    const T xi = ld(x + 8 * i);
    const T y = b0 * xi + s1;
    s1 = b1 * xi - a1 * y + s2;
    s2 = b2 * xi - a2 * y;
    env = mx(env * r, ab(y));
    st(out + 8 * i, env + y);
  }
}
inline A8 operator+(A8 a, A8 b) { return {_mm256_add_ps(a.v, b.v)}; }
inline A8 operator-(A8 a, A8 b) { return {_mm256_sub_ps(a.v, b.v)}; }
inline A8 operator*(A8 a, A8 b) { return {_mm256_mul_ps(a.v, b.v)}; }
int main() {
  const int n = 1 << 16;
  static float x[8 << 16], o1[8 << 16], o2[8 << 16];
  unsigned s = 1;
  for (int i = 0; i < 8 * n; ++i) { s = s * 1664525u + 1013904223u; x[i] = (int(s >> 8) - (1 << 23)) / float(1 << 23); }
  x[5] = NAN; x[13] = -0.0f;
  double tS = 1e9, tA = 1e9;
  for (int rep = 0; rep < 15; ++rep) {
    auto t0 = std::chrono::steady_clock::now();
    run<V>(x, o1, n, [](const float* p) { return V(p, stdx::element_aligned); },
           [](float* p, V v) { v.copy_to(p, stdx::element_aligned); }, vmax, [](V a) { return stdx::abs(a); },
           [](float c) { return V(c); });
    auto t1 = std::chrono::steady_clock::now();
    run<A8>(x, o2, n, [](const float* p) { return A8{_mm256_loadu_ps(p)}; },
            [](float* p, A8 v) { _mm256_storeu_ps(p, v.v); }, amax,
            [](A8 a) { return A8{_mm256_andnot_ps(_mm256_set1_ps(-0.0f), a.v)}; },
            [](float c) { return A8{_mm256_set1_ps(c)}; });
    auto t2 = std::chrono::steady_clock::now();
    tS = std::min(tS, std::chrono::duration<double, std::nano>(t1 - t0).count() / n);
    tA = std::min(tA, std::chrono::duration<double, std::nano>(t2 - t1).count() / n);
  }
  // stdx's own max: which operand wins on NaN / signed zero?
  V a(0.0f), b(-0.0f); a[1] = NAN; b[2] = NAN;
  V m = stdx::max(a, b); float sm[8]; m.copy_to(sm, stdx::element_aligned);
  float ref[8]; for (int i = 0; i < 8; ++i) ref[i] = std::max(float(a[i]), float(b[i]));
  printf("bits identical: %d\nstdx ns/step %.2f  intrinsics ns/step %.2f\n", std::memcmp(o1, o2, sizeof o1) == 0, tS, tA);
  printf("stdx::max vs std::max lanes 0..2: %g/%g %g/%g %g/%g  signbit0 %d/%d\n", sm[0], ref[0], sm[1], ref[1], sm[2], ref[2], std::signbit(sm[0]), std::signbit(ref[0]));
}
