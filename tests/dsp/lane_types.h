// The lane types built besides plain float: every lane-generic stage and the
// whole chain are checked against their plain-float instantiation on each.
// A new lane type is added here.
#pragma once

#include <gtest/gtest.h>

#include "simd/lanes.h"

namespace vardo::test {

using WideLaneTypes = ::testing::Types<vardo::Float4, vardo::Float8>;

}  // namespace vardo::test
