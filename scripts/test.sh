#!/usr/bin/env bash
# Builds the Linux plug-ins, tools and tests, the Windows DLL and the aarch64
# cross build, then runs the whole test suite (the Windows DLL is exercised
# under wine, the aarch64 build under qemu-user by two of the tests).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

jobs=$(nproc)
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
if command -v aarch64-linux-gnu-g++ >/dev/null 2>&1; then
  cmake --preset aarch64 >/dev/null
  cmake --build --preset aarch64 -j "$jobs"
fi
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"
ctest --preset linux -j "$jobs" "$@"
