// The band and width stages on eight AVX lanes. This unit alone is compiled
// for AVX, and the program enters its code only from a chain on eight lanes,
// which is built only where the processor has AVX. Everything compiled here
// carries the eight-lane type in its name, so none of it can stand in for a
// baseline function of the same name elsewhere, and it runs nothing at
// start-up (a test checks the object's symbols). The same source built for
// AVX2 is lanes_avx2.cpp; this unit's eight lanes live in vardo::avx, that
// one's in vardo::avx2, so neither can stand in for the other.
#include "chain/lane_unit.h"
#include "math/avx8_transcendentals.h"
#include "simd/avx8.h"
#include "stages/band_equaliser_kernels.h"
#include "stages/stereo_width_kernels.h"
#include "stages/veze_equaliser_kernels.h"

namespace vardo {

VARDO_INSTANTIATE_WIDE_STAGES(Avx8)

}  // namespace vardo
