#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Skips apt-get when everything is already present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-x86-64 wine wine64 qemu-user
  sox libsox-fmt-all binutils espeak-ng
  lv2-dev liblilv-dev lilv-utils sordi help2man man-db
  g++-aarch64-linux-gnu qemu-user
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
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
