#!/bin/sh
# Runs the Windows test host on the Windows plug-in DLL under wine and checks
# what it prints. Exit 77 (skipped) only when wine or the Windows build is absent.
# usage: run_under_wine.sh <vardo_wine_host.exe> <vardo.dll> <throw-away prefix dir>
host_exe=$1
dll=$2
prefix=$3

if [ ! -f "$host_exe" ] || [ ! -f "$dll" ]; then
  echo "SKIPPED: Windows build missing ($host_exe, $dll); run: cmake --preset windows && cmake --build build/windows -j2"
  exit 77
fi
. "$(dirname "$0")/wine_env.sh"

"$wine_cmd" "$host_exe" "$dll" >"$WINEPREFIX/host-output.txt" 2>/dev/null
status=$?
output=$(tr -d '\r' <"$WINEPREFIX/host-output.txt")
echo "$output"
if [ $status -ne 0 ]; then
  echo "FAILED: the Windows host exited with $status"
  exit 1
fi

failed=0
for expected in \
  "refused=null" \
  "magic=0x56737450" \
  "uniqueID=0x56415244" \
  "numInputs=2" \
  "numOutputs=2" \
  "numPrograms=1" \
  "numParams=13" \
  "flags=0x10" \
  "version=1" \
  "initialDelay=2660" \
  "effectName=Tovrel_KORVA-MX31f7" \
  "effectName_answer=1" \
  "vendor=Tovrel" \
  "product=Tovrel_KORVA-MX31f7" \
  "vendorVersion=0" \
  "vstVersion=2400" \
  "identify=0x4e764566" \
  "canDoReceiveVstEvents=1" \
  "canDoReceiveVstMidiEvent=1" \
  "canDoMidiProgramNames=1" \
  "canDoBypass=-1" \
  "inputPin0=Brenk Vardo DSP input: 0|In 0|3" \
  "inputPin1=Brenk Vardo DSP input: 1|In 1|3" \
  "inputPin2=none" \
  "outputPin0=Brenk Vardo DSP output: 0|Out 0|3" \
  "outputPin1=Brenk Vardo DSP output: 1|Out 1|3" \
  "outputPin2=none" \
  "opcode80=0" \
  "wantMidi=1,1" \
  "finite=1" \
  "linuxBits=1" \
  "close=1"; do
  if ! printf '%s\n' "$output" | grep -qx -- "$expected"; then
    echo "FAILED: expected line '$expected'"
    failed=1
  fi
done
exit $failed
