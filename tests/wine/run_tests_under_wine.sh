#!/bin/sh
# Runs a Windows GoogleTest program under wine and passes on its verdict.
# Exit 77 (skipped) only when wine or the Windows build is absent.
# usage: run_tests_under_wine.sh <tests.exe> <throw-away prefix dir> [gtest options]
tests_exe=$1
prefix=$2
shift 2
if [ ! -f "$tests_exe" ]; then
  echo "SKIPPED: Windows build missing ($tests_exe); run: cmake --preset windows && cmake --build build/windows -j2"
  exit 77
fi
. "$(dirname "$0")/wine_env.sh"

"$wine_cmd" "$tests_exe" "$@" >"$WINEPREFIX/tests-output.txt" 2>&1
status=$?
tr -d '\r' <"$WINEPREFIX/tests-output.txt"
if [ $status -ne 0 ]; then
  echo "FAILED: $tests_exe exited with $status under wine"
  exit 1
fi
# A program that ran no test at all proves nothing.
if ! grep -q '^\[  PASSED  \] [1-9]' "$WINEPREFIX/tests-output.txt"; then
  echo "FAILED: $tests_exe ran no test"
  exit 1
fi
