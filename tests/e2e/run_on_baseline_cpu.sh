#!/bin/sh
# Runs a test program on an emulated x86-64 processor without AVX (qemu's
# Nehalem model, which stops at the first AVX instruction), so that the
# plug-in must pick its four-lane path and never touch its AVX code, at
# start-up or later. Exit 77 (skipped) when qemu-x86_64 is not installed.
# usage: run_on_baseline_cpu.sh <test program> [arguments]
if ! command -v qemu-x86_64 >/dev/null 2>&1; then
  echo "SKIPPED: qemu-x86_64 is not installed (apt-get install qemu-user)"
  exit 77
fi
exec qemu-x86_64 -cpu Nehalem "$@"
