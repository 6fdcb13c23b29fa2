#!/usr/bin/env bash
# Builds Ferrowind.scr, shows its settings dialog (/c) under Wine on a headless X server, in the
# Japanese code page and font, and writes docs/dialog.png cropped to the dialog.
#   scripts/dialog-screenshot.sh [OUTPUT.png]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
output=${1:-docs/dialog.png}

if [ -z "${FERROWIND_BUILT:-}" ]; then
    bash scripts/prepare.sh default Ferrowind
    # The rest runs where 32-bit programs run: here, or on the emulated machine.
    FERROWIND_BUILT=1 exec bash scripts/x86-machine.sh "$root/build" bash scripts/dialog-screenshot.sh "$@"
fi

build="$root/build"
bed="$root/scripts/winebed.sh"
# Always the bed's own X server: the picture must not depend on the desktop it is made on. A bed
# of its own, since it erases the settings and stops the bed's servers.
unset FERROWIND_HOST_DISPLAY
export FERROWIND_BED=screenshot
"$bed" "$build" start
eval "$("$bed" "$build" env)"

# The picture shows the dialog as it opens on an account without stored settings.
"$bed" "$build" run reg delete 'HKCU\software\Quillmoor' /f </dev/null >/dev/null 2>&1 || true
"$bed" "$build" run "$build/bin/Ferrowind.scr" /c </dev/null >/dev/null 2>&1 &
saver=$!
trap 'kill "$saver" 2>/dev/null || true; wait "$saver" 2>/dev/null || true; "$bed" "$build" stop' EXIT

# The dialog's X window carries its caption "設定"; its geometry is what gets cropped.
geometry=""
for _ in $(seq 100); do
    geometry=$(xwininfo -root -tree | sed -n 's/^ *0x[0-9a-f]* "設定": ([^)]*)  \([0-9]*x[0-9]*+[0-9]*+[0-9]*\) .*/\1/p')
    [ -n "$geometry" ] && break
    sleep 0.1
done
if [ -z "$geometry" ]; then
    echo "dialog-screenshot: the settings dialog did not appear" >&2
    exit 1
fi
sleep 0.5   # let the dialog finish painting

mkdir -p "$(dirname "$output")"
# /usr/bin/convert by its full path: another convert may come first on PATH.
xwd -root -silent -display "$DISPLAY" | /usr/bin/convert xwd:- -crop "$geometry" +repage -strip "$output"
echo "dialog-screenshot: wrote $output ($geometry)"
