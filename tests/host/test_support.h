// Small helpers every test group shares: a float's bits, for exact
// comparisons, and the control names as a host must show them, written out
// here once rather than read from the control table they check.
#pragma once

#include <bit>
#include <cstdint>

namespace vardo::test {

inline std::uint32_t bitsOf(float v) { return std::bit_cast<std::uint32_t>(v); }

// The thirteen controls' names, in parameter order.
inline constexpr const char* kControlNames[] = {"Lowpass Filter",
                                                "Disable VEZE EQ",
                                                "Auto-EQ Threshold",
                                                "Auto-EQ Density Limit Threshold",
                                                "Noisegate Gain dB",
                                                "Stereo Expander Gain Trim",
                                                "Stereo Expander Limit in Percent",
                                                "Stereo Expander Offset",
                                                "Output AGC Threshold",
                                                "Bandwidth Expansion Level",
                                                "DNR Sensitivity",
                                                "DNR2 Sensitivity",
                                                "DNR LPF Disable"};

}  // namespace vardo::test
