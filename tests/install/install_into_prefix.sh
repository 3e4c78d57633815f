#!/bin/sh
# Installs the build into a fresh prefix and uses it from another working
# directory: the installed vardo finds the installed plug-in by itself, renders
# a file, and its man page reads; the installed LV2 bundle is found by lv2info;
# the manual is installed with the pictures it links to.
# usage: install_into_prefix.sh <build directory> <demo clip>
build=$1
clip=$2
scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
elsewhere=$scratch/elsewhere
mkdir -p "$elsewhere"

failed=0
fail() { echo "FAILED: $*"; failed=1; }

cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; echo "FAILED: cmake --install"; exit 1; }
for f in bin/vardo lib/vst/vardo.so lib/lv2/vardo.lv2/manifest.ttl lib/lv2/vardo.lv2/vardo.ttl lib/lv2/vardo.lv2/presets.ttl \
         lib/lv2/vardo.lv2/vardo.so share/man/man1/vardo.1 share/doc/vardo/manual.md; do
  [ -f "$prefix/$f" ] || fail "$f was not installed"
done
# Every picture the installed manual links to is beside it.
for picture in $(grep -o '](manual/[^)]*)' "$prefix/share/doc/vardo/manual.md" | sed 's/^](//; s/)$//'); do
  [ -f "$prefix/share/doc/vardo/$picture" ] || fail "the installed manual links to $picture, which is missing"
done
[ $failed -eq 0 ] || exit 1

cd "$elsewhere" || exit 1
info=$("$prefix/bin/vardo" info) || fail "installed vardo info exited with $?"
echo "$info" | head -4
echo "$info" | grep -q "^library *$prefix/lib/vst/vardo.so$" ||
  fail "installed vardo did not load the installed plug-in"
echo "$info" | grep -q "Tovrel_KORVA-MX31f7" || fail "vardo info shows no effect name"
"$prefix/bin/vardo" --help | grep -qF "$prefix/share/doc/vardo/manual.md" ||
  fail "installed vardo --help does not name the installed manual"

if command -v sox >/dev/null 2>&1; then
  sox -n -r 44100 -c 1 -b 16 in.wav synth 1.5 pinknoise vol 0.3 || fail "sox could not make a test file"
else
  cp "$clip" in.wav
fi
"$prefix/bin/vardo" render in.wav out.wav || fail "installed vardo render exited with $?"
[ -s out.wav ] || fail "render wrote no file"

page=$(MANPAGER=cat MANWIDTH=100 man -l "$prefix/share/man/man1/vardo.1" 2>&1) ||
  fail "man -l could not read the installed page"
# The page carries the program's options and those of its subcommands.
for option in --plugin --block; do
  echo "$page" | grep -q -- "$option" || fail "the man page lists no $option option"
done

if command -v lv2info >/dev/null 2>&1; then
  LV2_PATH=$prefix/lib/lv2 lv2info urn:vardo:lv2:vardo >/dev/null 2>&1 ||
    fail "lv2info does not find the installed bundle"
fi
exit $failed
