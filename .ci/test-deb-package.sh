#!/usr/bin/env bash
# CI only (it installs into the machine's /usr, as root): installs the amd64
# package with dpkg, uses it from / as a user would, removes it with
# dpkg -r and checks that nothing of it is left on disk.
#
#   .ci/test-deb-package.sh DEB DEMO-CLIP
set -euo pipefail
deb=$1
clip=$(realpath "$2")
deb=$(realpath "$deb")

fail() { echo "FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "must run as root"
package=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
  fail "$package is installed already; this test does not touch an existing installation"
fi

# What the package would put on disk, and which of those paths were there
# before (shared directories such as /usr/lib/lv2).
scratch=$(mktemp -d)
installed=0
cleanup() {
  if [ $installed -eq 1 ]; then dpkg -r "$package" >/dev/null 2>&1 || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | sed 's|/$||' | grep -v '^$' >"$scratch/paths"
while read -r path; do
  if [ -e "$path" ]; then echo "$path"; fi
done <"$scratch/paths" >"$scratch/before"

dpkg -i "$deb"
installed=1

cd /
unset LV2_PATH VST_PATH
# One version everywhere: the package, the renderer, the LV2 bundle.
[ "$(vardo --version)" = "vardo $version" ] || fail "vardo --version says '$(vardo --version)', the package $version"
IFS=. read -r major minor patch <<<"$version"
grep -q "lv2:minorVersion $((2 * (100 * major + minor))) ;" /usr/lib/lv2/vardo.lv2/vardo.ttl &&
  grep -q "lv2:microVersion $((2 * patch)) ;" /usr/lib/lv2/vardo.lv2/vardo.ttl ||
  fail "the installed LV2 bundle does not state version $version"

info=$(vardo info) || fail "vardo info exited with $?"
echo "$info" | head -4
echo "$info" | grep -q "^library */usr/lib/vst/vardo.so$" || fail "vardo did not load /usr/lib/vst/vardo.so"
echo "$info" | grep -q "Tovrel_KORVA-MX31f7" || fail "vardo info shows no effect name"
vardo render "$clip" "$scratch/restored.wav" || fail "vardo render exited with $?"
[ -s "$scratch/restored.wav" ] || fail "the render wrote nothing"

lv2ls | grep -qx "urn:vardo:lv2:vardo" || fail "lv2ls does not list urn:vardo:lv2:vardo"
bundle=$(lv2info urn:vardo:lv2:vardo | grep -m1 "Bundle:") || true
[[ $bundle == *"file:///usr/lib/lv2/vardo.lv2/"* ]] || fail "lv2info does not find the bundle in /usr/lib/lv2: '$bundle'"
[ "$(man -w vardo)" = /usr/share/man/man1/vardo.1.gz ] || fail "man -w vardo finds '$(man -w vardo 2>&1)'"
zcat /usr/share/doc/vardo/changelog.gz | head -1 | grep -q "^vardo ($version) " ||
  fail "changelog.gz does not start with version $version"
[ -f /usr/share/doc/vardo/manual.md ] && [ -f /usr/share/doc/vardo/manual/tape.png ] ||
  fail "the manual or its figures are missing"

dpkg -r "$package"
installed=0
left=()
while read -r path; do
  if [ -e "$path" ] && ! grep -qxF "$path" "$scratch/before"; then left+=("$path"); fi
done <"$scratch/paths"
((${#left[@]} == 0)) || fail "left after dpkg -r: ${left[*]}"
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" && fail "$package still installed"
echo "installed, used from /, removed without a trace: $(basename "$deb")"
