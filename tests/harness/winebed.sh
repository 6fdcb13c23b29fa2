#!/usr/bin/env bash
# The Wine test bed of one build tree: a private 32-bit prefix in the Japanese code page,
# a headless X server when no display is set, and a persistent wineserver.
#
#   winebed.sh BUILD start        create the prefix if needed, start Xvfb and wineserver
#   winebed.sh BUILD stop         stop what start started
#   winebed.sh BUILD run PROG ... run a Windows program in the bed (starts it on demand)
#   winebed.sh BUILD env          print the environment for use with eval
set -euo pipefail
trap 'echo "winebed: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

build=$(cd "$1" && pwd)
command=$2
shift 2

bed="$build/testbed"
mkdir -p "$bed"

export WINEPREFIX="$build/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

xvfb_alive() {
    [ -s "$bed/xvfb.pid" ] && kill -0 "$(cat "$bed/xvfb.pid")" 2>/dev/null
}

start_display() {
    [ -n "${FERROWIND_HOST_DISPLAY:-}" ] && return 0
    xvfb_alive && return 0
    # -displayfd lets the server pick a free display number and tell us which.
    local fifo="$bed/displayfd"
    rm -f "$fifo"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" 9>&- </dev/null >/dev/null 2>"$bed/xvfb.log" &
    echo $! >"$bed/xvfb.pid"
    local number
    if ! read -r number <"$fifo"; then
        echo "winebed: Xvfb did not start:" >&2
        cat "$bed/xvfb.log" >&2
        return 1
    fi
    rm -f "$fifo"
    echo ":$number" >"$bed/display"
}

create_prefix() {
    [ -f "$WINEPREFIX/.ferrowind-ready" ] && return 0
    rm -rf "$WINEPREFIX"
    # Created under the Japanese locale so that the ANSI code page is 932 and the
    # message-box font carries the Japanese character set.
    LC_ALL=ja_JP.UTF-8 wine wineboot -i 9>&- </dev/null >/dev/null 2>&1
    LC_ALL=ja_JP.UTF-8 wine regedit /S "$(winepath_of "$here/prefix-settings.reg")" 9>&- </dev/null >/dev/null 2>&1
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

start_bed() {
    (
        flock 9
        create_prefix
        start_display
        use_display
        # Detached stdio: wineserver and the services outlive this call and must not hold
        # CTest's output pipe. A server that already runs (an earlier start or run) is kept:
        # wineserver -p then fails, and that is not an error.
        LC_ALL=ja_JP.UTF-8 wineserver -p 9>&- </dev/null >/dev/null 2>&1 || true
        LC_ALL=ja_JP.UTF-8 wine wineboot 9>&- </dev/null >/dev/null 2>&1
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
        if xvfb_alive; then kill "$(cat "$bed/xvfb.pid")"; fi
        rm -f "$bed/xvfb.pid" "$bed/display"
    ) 9>"$bed/lock"
    ;;
run)
    if [ ! -f "$WINEPREFIX/.ferrowind-ready" ] || { [ -z "${FERROWIND_HOST_DISPLAY:-}" ] && ! xvfb_alive; }; then
        start_bed
    fi
    use_display
    export LC_ALL=ja_JP.UTF-8
    exec wine "$@"
    ;;
env)
    use_display
    echo "export WINEPREFIX='$WINEPREFIX' WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES='$WINEDLLOVERRIDES' DISPLAY='$DISPLAY'"
    ;;
*)
    echo "usage: winebed.sh BUILD start|stop|run PROG ARGS...|env" >&2
    exit 2
    ;;
esac
