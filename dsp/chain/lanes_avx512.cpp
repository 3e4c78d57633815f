// The band and width stages on sixteen AVX-512 lanes: the twelve bands in
// one register, their sum and difference halves in two. Like lanes_avx.cpp,
// this unit alone is compiled for its instruction set, the program enters
// its code only from a chain built after a run-time check of the processor,
// and everything compiled here carries the namespace of its lanes,
// vardo::avx512, in its name.
#include "chain/lane_unit.h"
#include "math/avx16_transcendentals.h"
#include "simd/avx16.h"
#include "stages/band_equaliser_kernels.h"
#include "stages/stereo_width_kernels.h"
#include "stages/veze_equaliser_kernels.h"

namespace vardo {

VARDO_INSTANTIATE_WIDE_STAGES(Avx16)

}  // namespace vardo
