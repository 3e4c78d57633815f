#!/usr/bin/env bash
# Builds every release package of the version in CMakeLists.txt, in one go:
#
#   scripts/package.sh [OUTDIR]        (default: build/packages)
#
#   vardo_<version>_amd64.deb          linux preset, cpack -G DEB
#   vardo_<version>_arm64.deb          aarch64 preset, cpack -G DEB
#   vardo-<version>-windows-x64.zip    windows preset, cpack -G ZIP
#   vardo-<version>.tar.gz             the source: git archive of HEAD
#
# Configures and builds the three presets where needed (JOBS parallel jobs,
# default 2), checks what the packages hold, and runs lintian on the Debian
# packages when it is installed (no error allowed). Needs the packages of
# scripts/install-deps.sh.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=${1:-"$root/build/packages"}
jobs=${JOBS:-2}
mkdir -p "$out"

say() { printf '\n== %s\n' "$*"; }
die() { echo "package: $*" >&2; exit 1; }

version=$(sed -n 's/^project(vardo VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "no MAJOR.MINOR.PATCH version in CMakeLists.txt"
say "Vardo $version"

# --- the source ---------------------------------------------------------------
# Exactly the commit the packages are built from; uncommitted changes are
# not in it, so say so.
tarball=$out/vardo-$version.tar.gz
if ! git diff --quiet HEAD -- 2>/dev/null; then
  echo "package: warning: uncommitted changes are in the binaries but not in $(basename "$tarball")" >&2
fi
git archive --format=tar.gz --prefix="vardo-$version/" -o "$tarball" HEAD
echo "wrote $tarball"

# --- the three builds -----------------------------------------------------------
build() {  # build PRESET
  say "building the $1 preset"
  cmake --preset "$1" >/dev/null
  cmake --build "build/$1" -j "$jobs"
}

package() {  # package PRESET GENERATOR FILE: run cpack and take FILE out of build/PRESET/packages
  (cd "build/$1" && cpack -G "$2" >/dev/null) || die "cpack -G $2 failed in build/$1"
  [ -f "build/$1/packages/$3" ] || die "cpack wrote no build/$1/packages/$3"
  cp "build/$1/packages/$3" "$out/"
  echo "wrote $out/$3"
}

build linux
package linux DEB "vardo_${version}_amd64.deb"
build aarch64
package aarch64 DEB "vardo_${version}_arm64.deb"
build windows
package windows ZIP "vardo-${version}-windows-x64.zip"

# --- what they hold ---------------------------------------------------------------
say "checking the packages"
amd64=$out/vardo_${version}_amd64.deb
arm64=$out/vardo_${version}_arm64.deb
zip=$out/vardo-${version}-windows-x64.zip
check_deb() {  # check_deb DEB ARCH ELF-MACHINE FILE...
  local deb=$1 arch=$2 machine=$3
  shift 3
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || die "$deb is not Architecture: $arch"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || die "$deb is not version $version"
  local listing
  listing=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
  for f in "$@"; do
    grep -qx "./usr/$f" <<<"$listing" || die "$(basename "$deb") lacks /usr/$f"
  done
  local scratch
  scratch=$(mktemp -d)
  dpkg-deb -x "$deb" "$scratch"
  for f in "$scratch"/usr/lib/vst/vardo.so "$scratch"/usr/lib/lv2/vardo.lv2/vardo.so "$scratch"/usr/bin/vardo; do
    [ -e "$f" ] || continue
    readelf -h "$f" | grep -q "Machine: *$machine" || { rm -rf "$scratch"; die "${f#"$scratch"} in $(basename "$deb") is not $machine code"; }
    file "$f" | grep -q ', stripped' || { rm -rf "$scratch"; die "${f#"$scratch"} in $(basename "$deb") is not stripped"; }
  done
  grep -q "lv2:minorVersion $lv2_minor ;" "$scratch/usr/lib/lv2/vardo.lv2/vardo.ttl" &&
    grep -q "lv2:microVersion $lv2_micro ;" "$scratch/usr/lib/lv2/vardo.lv2/vardo.ttl" ||
    { rm -rf "$scratch"; die "the LV2 bundle in $(basename "$deb") is not version $lv2_minor.$lv2_micro"; }
  rm -rf "$scratch"
  echo "$(basename "$deb"): Architecture $arch, $machine code, stripped, LV2 version $lv2_minor.$lv2_micro"
}
IFS=. read -r major minor patch <<<"$version"
lv2_minor=$((2 * (100 * major + minor)))
lv2_micro=$((2 * patch))
docs=(share/doc/vardo/copyright share/doc/vardo/changelog.gz share/doc/vardo/manual.md
      share/doc/vardo/manual/tape.png lib/vst/vardo.so lib/lv2/vardo.lv2/vardo.so
      lib/lv2/vardo.lv2/manifest.ttl lib/lv2/vardo.lv2/vardo.ttl)
check_deb "$amd64" amd64 "Advanced Micro Devices X86-64" "${docs[@]}" bin/vardo share/man/man1/vardo.1.gz
check_deb "$arm64" arm64 AArch64 "${docs[@]}" bin/vardo share/man/man1/vardo.1.gz

# The zip's DLL is the one the wine tests ran.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unzip -q "$zip" -d "$scratch" || die "cannot unpack $zip"
top=$scratch/vardo-$version-windows-x64
for f in vardo.dll INSTALL.txt LICENSE CHANGELOG.md THIRD-PARTY-NOTICES.txt manual.md manual/tape.png; do
  [ -f "$top/$f" ] || die "$(basename "$zip") lacks vardo-$version-windows-x64/$f"
done
cmp -s "$top/vardo.dll" build/windows/plugin/vardo.dll || die "the DLL in $(basename "$zip") is not build/windows/plugin/vardo.dll"
echo "$(basename "$zip"): vardo.dll as built and tested, with INSTALL.txt, the licence, notices, changelog and manual"

if command -v lintian >/dev/null; then
  say "lintian"
  # Errors fail; the warnings left are explained in cmake/packaging.cmake.
  for deb in "$amd64" "$arm64"; do
    lintian --fail-on error --info "$deb" || die "lintian reports errors in $(basename "$deb")"
  done
else
  echo "package: lintian is not installed; the packages were not linted" >&2
fi
say "done: $out"
