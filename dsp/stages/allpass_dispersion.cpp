#include "allpass_dispersion.h"

namespace vardo {

void AllpassDispersion::clear() {}
float AllpassDispersion::process(float, std::uint32_t) { return 0.0f; }

}  // namespace vardo
