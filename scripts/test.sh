#!/usr/bin/env bash
# Builds the Linux plug-in, tools and tests and the Windows DLL, then runs the
# whole test suite (the Windows DLL is exercised under wine by one of the tests).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

jobs=$(nproc)
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"
ctest --preset linux -j "$jobs" "$@"
