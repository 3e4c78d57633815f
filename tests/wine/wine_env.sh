# Sourced by the scripts that run Windows programs under wine: finds wine
# (exit 77, skipped, without it) and sets up the throw-away prefix $prefix,
# quietly and without a display.
wine_cmd=
for candidate in wine wine64; do
  if command -v "$candidate" >/dev/null 2>&1; then wine_cmd=$candidate; break; fi
done
if [ -z "$wine_cmd" ]; then
  echo "SKIPPED: wine is not installed (apt-get install wine wine64)"
  exit 77
fi
mkdir -p "$prefix" || exit 1
WINEPREFIX=$(cd "$prefix" && pwd)
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=
