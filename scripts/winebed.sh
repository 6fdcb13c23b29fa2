#!/usr/bin/env bash
# The Wine test bed of one build tree: a private prefix in the Japanese code page (32-bit for
# the 32-bit module, 64-bit for the 64-bit one, as the tree's file winearch says), a headless X
# server when no display is set, and a persistent wineserver.
#
#   winebed.sh BUILD start        create the prefix if needed, start Xvfb and wineserver
#   winebed.sh BUILD stop         stop what start started
#   winebed.sh BUILD run PROG ... run a Windows program in the bed (starts it on demand)
#   winebed.sh BUILD env          print the environment for use with eval
#
# FERROWIND_BED_LAYOUT=dualhead gives a separate bed (own prefix, own bed folder) on an Xorg
# server with two monitors: an 800x600 one left of the 1024x768 primary, so the virtual screen
# starts at a negative X. Xvfb has only one monitor. Xorg needs root here.
#
# FERROWIND_BED=NAME gives a bed of that name apart from the tests' (prefix wineprefix-NAME, bed
# folder testbed-NAME): the scripts that run the module outside the tests (run.sh, bench/run.sh,
# dialog-screenshot.sh) keep their settings, programs and servers there, out of the tests' way.
set -euo pipefail
trap 'echo "winebed: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

build=$(cd "$1" && pwd)
command=$2
shift 2

layout=${FERROWIND_BED_LAYOUT:-}
case "$layout" in
"" | dualhead) ;;
*) echo "winebed: unknown layout '$layout'" >&2; exit 2 ;;
esac
name=${FERROWIND_BED:-}
case "$name" in
*[!a-z0-9]*) echo "winebed: a bed's name is lower-case letters and digits, not '$name'" >&2; exit 2 ;;
esac
suffix=${name:+-$name}${layout:+-$layout}
# A layout needs its own server; a host display would not have it.
[ -z "$layout" ] || unset FERROWIND_HOST_DISPLAY
bed="$build/testbed$suffix"
mkdir -p "$bed"

export WINEPREFIX="$build/wineprefix$suffix"
# The 64-bit tree runs 64-bit programs only: Wine's 64-bit loader, which starts natively on
# every machine here, unlike the 32-bit one.
WINEARCH=$(cat "$build/winearch" 2>/dev/null || echo win32)
export WINEARCH
wine=wine
[ "$WINEARCH" = win32 ] || wine=/usr/lib/wine/wine64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

server_alive() {
    [ -s "$bed/server.pid" ] && kill -0 "$(cat "$bed/server.pid")" 2>/dev/null
}

# One X screen on the dummy driver with two outputs, which place_outputs lays out. Two X screens
# joined by Xinerama would not do: 64-bit Wine asks XRandR, which reports the first screen alone.
write_dualhead_config() {
    cat >"$bed/xorg.conf" <<'CONF'
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
    Option "DontVTSwitch" "true"
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 16384
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
EndSection
CONF
    mkdir -p "$bed/xorg.conf.d"
}

# The 800x600 output at 0,0 and the 1024x768 primary right of it: Wine puts the primary at 0,0,
# so the virtual screen is (-800,0) 1824x768. The closing query returns once the server has
# taken the layout. The server keeps the pointer on an output, so Wine's first read of it lies
# inside the virtual screen: no pull-in that would look like a mouse move to a saver.
place_outputs() {
    local xrandr=(xrandr -display "$1")
    "${xrandr[@]}" --newmode ferrowind-800x600 40.00 800 840 968 1056 600 601 605 628 +hsync +vsync
    "${xrandr[@]}" --newmode ferrowind-1024x768 65.00 1024 1048 1184 1344 768 771 777 806 -hsync -vsync
    "${xrandr[@]}" --addmode DUMMY0 ferrowind-800x600
    "${xrandr[@]}" --addmode DUMMY1 ferrowind-1024x768
    "${xrandr[@]}" --fb 1824x768 --output DUMMY0 --mode ferrowind-800x600 --pos 0x0 \
        --output DUMMY1 --mode ferrowind-1024x768 --pos 800x0 --primary
    "${xrandr[@]}" >/dev/null
}

start_display() {
    [ -n "${FERROWIND_HOST_DISPLAY:-}" ] && return 0
    server_alive && return 0
    # -displayfd lets the server pick a free display number and tell us which.
    local fifo="$bed/displayfd"
    rm -f "$fifo"
    mkfifo "$fifo"
    if [ "$layout" = dualhead ]; then
        write_dualhead_config
        # An empty -configdir keeps the machine's own xorg.conf.d out of the layout.
        Xorg -config "$bed/xorg.conf" -configdir "$bed/xorg.conf.d" -noreset -nolisten tcp \
            -logfile "$bed/server.log" -displayfd 3 3>"$fifo" 9>&- </dev/null >/dev/null 2>&1 &
    else
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" 9>&- </dev/null >/dev/null 2>"$bed/server.log" &
    fi
    echo $! >"$bed/server.pid"
    local number
    if ! read -r number <"$fifo"; then
        echo "winebed: the X server did not start:" >&2
        cat "$bed/server.log" >&2
        return 1
    fi
    rm -f "$fifo"
    echo ":$number" >"$bed/display"
    [ "$layout" != dualhead ] || place_outputs ":$number"
}

create_prefix() {
    # Made again when the settings below have changed since.
    [ "$WINEPREFIX/.ferrowind-ready" -nt "$here/prefix-settings.reg" ] && return 0
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    # Created under the Japanese locale so that the ANSI code page is 932 and the
    # message-box font carries the Japanese character set.
    LC_ALL=ja_JP.UTF-8 $wine wineboot -i 9>&- </dev/null >/dev/null 2>&1
    LC_ALL=ja_JP.UTF-8 $wine regedit /S "$(winepath_of "$here/prefix-settings.reg")" 9>&- </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.ferrowind-ready"
}

winepath_of() {
    echo "Z:${1//\//\\}"
}

use_display() {
    if [ -n "${FERROWIND_HOST_DISPLAY:-}" ]; then
        export DISPLAY=$FERROWIND_HOST_DISPLAY
    else
        DISPLAY=$(cat "$bed/display")
        export DISPLAY
    fi
}

# The 32-bit module and its test programs need Wine's 32-bit loader, which a kernel without
# 32-bit support cannot start. Say so, rather than fail later without a word.
check_wine() {
    local answer
    if ! answer=$($wine --version 2>&1 </dev/null); then
        echo "winebed: wine cannot start here: ${answer##*$'\n'}" >&2
        echo "winebed: a kernel that runs no 32-bit programs (dmesg: \"32-bit emulation disabled\") cannot run the bed;" \
             "scripts/x86-machine.sh runs it on an emulated machine" >&2
        return 1
    fi
}

start_bed() {
    check_wine
    (
        flock 9
        create_prefix
        start_display
        use_display
        # Detached stdio: wineserver and the services outlive this call and must not hold
        # CTest's output pipe. A server that already runs (an earlier start or run) is kept:
        # wineserver -p then fails, and that is not an error.
        LC_ALL=ja_JP.UTF-8 wineserver -p 9>&- </dev/null >/dev/null 2>&1 || true
        LC_ALL=ja_JP.UTF-8 $wine wineboot 9>&- </dev/null >/dev/null 2>&1
    ) 9>"$bed/lock"
}

case "$command" in
start)
    start_bed
    ;;
stop)
    (
        flock 9
        wineserver -k 2>/dev/null || true
        if server_alive; then kill "$(cat "$bed/server.pid")"; fi
        rm -f "$bed/server.pid" "$bed/display"
    ) 9>"$bed/lock"
    ;;
run)
    if [ ! -f "$WINEPREFIX/.ferrowind-ready" ] || { [ -z "${FERROWIND_HOST_DISPLAY:-}" ] && ! server_alive; }; then
        start_bed
    fi
    use_display
    export LC_ALL=ja_JP.UTF-8
    exec $wine "$@"
    ;;
env)
    use_display
    echo "export WINEPREFIX='$WINEPREFIX' WINEARCH=$WINEARCH WINEDEBUG=-all WINEDLLOVERRIDES='$WINEDLLOVERRIDES' DISPLAY='$DISPLAY'"
    ;;
*)
    echo "usage: winebed.sh BUILD start|stop|run PROG ARGS...|env" >&2
    exit 2
    ;;
esac
