#include "math/quick_transcendentals.h"

namespace vardo::quick_detail {

const std::array<double, 32> kTanTable = [] {
  std::array<double, 32> t{};
  for (int i = 0; i < kTanPoints; ++i) t[i] = std::tan(static_cast<double>(i) / kTanSteps);
  return t;
}();

}  // namespace vardo::quick_detail
