#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Skips apt-get when everything is already present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  # GoogleTest's sources, built into the Windows exactness tests.
  googletest
  libsndfile1-dev libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-x86-64 wine wine64 qemu-user
  sox libsox-fmt-all binutils espeak-ng libfftw3-dev
  lv2-dev liblilv-dev lilv-utils lv2file sordi help2man man-db
  g++-aarch64-linux-gnu qemu-user
  lintian
  file unzip
  # The arm64 package's dependencies come from dpkg-shlibdeps, which must
  # find the arm64 C and C++ runtimes as Debian packages (multiarch).
  libc6:arm64 libstdc++6:arm64 libgcc-s1:arm64
  # The renderer's arm64 build links the arm64 libsndfile and FFTW.
  libsndfile1-dev:arm64 libfftw3-dev:arm64
  mediainfo flac openssh-server parallel
  alsa-utils python3-numpy python3-scipy ffmpeg ecasound
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: missing packages: ${missing[*]}; run as root (sudo) to install them" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [[ " ${missing[*]}" == *:arm64* ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    dpkg --add-architecture arm64
  fi
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
