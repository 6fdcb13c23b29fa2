#!/usr/bin/env bash
# Builds Ferrowind.scr and starts it under Wine in a private prefix of its own in the build tree
# (wineprefix-run), apart from the tests' prefix.
#   scripts/run.sh [--32 | --64] [SWITCH]
# The module: the 32-bit one (build/) where this kernel runs 32-bit programs, else the 64-bit
# one (build-x64/), which runs natively everywhere; --32 or --64 picks one (a 32-bit run on a
# kernel without 32-bit support goes to the emulated machine, scripts/x86-machine.sh).
# The switch: /s (full-screen saver) when none is given; /c opens the settings dialog, and so on.
# For the full-screen saver a prefix without stored settings first gets the documented example
# (docs/ferrowind-example.reg), so that the saver has programs to start; stored settings stay.
# The prefix is run.sh's alone: a test that met the example would start Notepad and WordPad.
# With a display (DISPLAY set) the saver shows there: move the mouse or press a key to end it.
# Without one the full-screen saver runs on a headless X server under RunWatch
# (scripts/RunWatch.cpp), which reports each step as it happens; the screen at the end of the
# launch pass goes to build/run.png, the saver is ended with a key press, and the script ends
# by itself, nonzero when a step failed. Other modes run there until Ctrl+C.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
step="setting up the machine and building"
trap 'echo "run: failed at $step (exit code $?)" >&2' ERR

width=""
case "${1:-}" in --32 | --64) width=${1#--}; shift ;; esac
if [ -z "${FERROWIND_BUILT:-}" ]; then
    bash scripts/setup.sh
    if [ -z "$width" ]; then
        width=64
        if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then width=32; fi
    fi
    if [ "$width" = 64 ]; then
        bash scripts/prepare.sh x64 Ferrowind RunWatch
        echo "run: the 64-bit module, build-x64/bin/Ferrowind.scr, under 64-bit Wine (--32 runs the 32-bit one)"
        FERROWIND_BUILT=build-x64 exec bash scripts/run.sh "$@"
    fi
    bash scripts/prepare.sh default Ferrowind RunWatch
    echo "run: the 32-bit module, build/bin/Ferrowind.scr, under 32-bit Wine (--64 runs the 64-bit one)"
    # The rest runs where 32-bit programs run: here, or on the emulated machine (headless).
    FERROWIND_BUILT=build exec bash scripts/x86-machine.sh "$root/build" bash scripts/run.sh "$@"
fi

build="$root/$FERROWIND_BUILT"
bed="$root/scripts/winebed.sh"
export FERROWIND_BED=run
full_screen=""
case "${*:-/s}" in /s | /S | -s | -S) full_screen=1 ;; esac
watched=""
if [ -n "${DISPLAY:-}" ]; then
    export FERROWIND_HOST_DISPLAY=$DISPLAY
elif [ -n "$full_screen" ]; then
    watched=1
    echo "run: no DISPLAY; the saver runs on a headless X server, watched by RunWatch"
else
    echo "run: no DISPLAY; the saver runs on a headless X server (Ctrl+C ends it)"
fi
trap '"$bed" "$build" stop' EXIT
step="starting the Wine bed"
"$bed" "$build" start

# The number of values stored under the settings key; reg fails when there is no key.
stored_values() {
    "$bed" "$build" run reg query 'HKCU\software\Quillmoor\Ferrowind' </dev/null 2>/dev/null | grep -c REG_ || true
}
if [ -n "$full_screen" ]; then
    step="reading the stored settings"
    if [ "$(stored_values)" -gt 0 ]; then
        echo "run: settings are stored under HKEY_CURRENT_USER\\software\\Quillmoor\\Ferrowind; they stay as they are"
    else
        step="storing the example settings"
        "$bed" "$build" run regedit /S "Z:${root//\//\\}\\docs\\ferrowind-example.reg" </dev/null >/dev/null 2>&1
        if [ "$(stored_values)" -eq 0 ]; then
            echo "run: failed at $step: regedit stored no values" >&2
            exit 1
        fi
        echo "run: no settings were stored; stored the example, docs/ferrowind-example.reg" \
             "(Notepad, then WordPad maximized and left active)"
    fi
fi

if [ -z "$watched" ]; then
    code=0
    "$bed" "$build" run "$build/bin/Ferrowind.scr" "${@:-/s}" || code=$?
    echo "run: Ferrowind.scr ended with exit code $code"
    exit 0
fi

# RunWatch's lines are shown as they come. Once the launch pass is over it waits for a line on
# its standard input: the screenshot is taken meanwhile, then the answer lets it end the saver.
step="watching the saver"
eval "$("$bed" "$build" env)"   # the bed's DISPLAY, for the screenshot
shot="$root/build/run.png"   # either module's
mkdir -p "$root/build"
rm -f "$shot"
pipes=$(mktemp -d)
mkfifo "$pipes/in" "$pipes/out"
"$bed" "$build" run "$build/bin/RunWatch.exe" <"$pipes/in" >"$pipes/out" &
watcher=$!
exec {to_watcher}>"$pipes/in" {from_watcher}<"$pipes/out"
rm -r "$pipes"
deadline=$((SECONDS + 150))   # RunWatch bounds each of its waits; this bounds Wine itself
shot_failed=""
while :; do
    if IFS= read -r -t 1 line <&"$from_watcher"; then
        if [ "$line" != "run: press Enter to end the saver" ]; then
            echo "$line"
            continue
        fi
        # /usr/bin/convert by its full path: another convert may come first on PATH.
        if xwd -root -silent -display "$DISPLAY" | /usr/bin/convert xwd:- png:"$shot"; then
            echo "run: wrote build/run.png, the screen at the end of the launch pass"
        else
            shot_failed=1
            echo "run: failed at the screenshot: xwd or convert failed (see above)"
        fi
        echo >&"$to_watcher"
    elif [ $? -le 128 ] || ! kill -0 "$watcher" 2>/dev/null; then
        break   # RunWatch has ended: its output is closed, or it is gone
    elif [ "$SECONDS" -ge "$deadline" ]; then
        kill "$watcher"
        echo "run: failed at $step: RunWatch had not ended after 150 s"
        exit 1
    fi
done
exec {to_watcher}>&- {from_watcher}<&-
code=0
wait "$watcher" || code=$?
if [ "$code" -ne 0 ]; then
    echo "run: RunWatch ended with exit code $code"
    exit 1
fi
[ -z "$shot_failed" ] || exit 1
echo "run: done; stopping the Wine bed ends the launched programs too"
