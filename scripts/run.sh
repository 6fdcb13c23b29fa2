#!/usr/bin/env bash
# Builds Ferrowind.scr and starts it under Wine in the build tree's private prefix.
#   scripts/run.sh          full-screen saver (/s)
#   scripts/run.sh /c       the settings dialog; any other switch likewise
# With a display (DISPLAY set) the saver shows there: move the mouse or press a key to end
# it. Without one it runs on a headless X server; Ctrl+C ends it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target Ferrowind

build="$root/build"
bed="$root/tests/harness/winebed.sh"
if [ -n "${DISPLAY:-}" ]; then
    export FERROWIND_HOST_DISPLAY=$DISPLAY
else
    echo "run: no DISPLAY; the saver runs on a headless X server (Ctrl+C ends it)"
fi
trap '"$bed" "$build" stop' EXIT
"$bed" "$build" start
set +e
"$bed" "$build" run "$build/bin/Ferrowind.scr" "${@:-/s}"
code=$?
set -e
echo "run: Ferrowind.scr ended with exit code $code"
