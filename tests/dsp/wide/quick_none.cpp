// No wide units in this build.
#include "wide_quick.h"

namespace vardo::test {

WideQuick wideQuickAvx() { return {0, nullptr, nullptr, nullptr}; }
WideQuick wideQuickAvx512() { return {0, nullptr, nullptr, nullptr}; }

}  // namespace vardo::test
