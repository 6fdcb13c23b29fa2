#!/usr/bin/env bash
# Benchmarks: prints each module's figures against baselines of the same width measured in the
# same run, with their goals. Every figure line names the module and says whether it ran
# natively or under emulation.
#   bench/run.sh [--emulated] [RUNS]   (default 15 runs; medians) the 64-bit module natively
#       under 64-bit Wine, then the 32-bit one where this kernel runs 32-bit programs; on a
#       kernel that runs none its figures are skipped, or with --emulated taken on the
#       emulated machine (scripts/x86-machine.sh), whose software emulation slows the saver
#       and its baseline alike
#   bench/run.sh soak                  the minute-long reliability run against an activation
#       thief, with the 64-bit module
#   --32 before either: the 32-bit module alone, on the emulated machine where needed
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bed="$root/scripts/winebed.sh"
# A bed of its own: the benchmarks replace the stored settings and stop the bed's servers.
export FERROWIND_BED=bench

runs=15 emulated="" soak="" only32=""
for arg; do
    case "$arg" in
    --emulated) emulated=1 ;;
    --32) only32=1 ;;
    soak) soak=1 ;;
    "" | 0* | *[!0-9]*) echo "usage: bench/run.sh [--32] [--emulated] [RUNS | soak]" >&2; exit 2 ;;
    *) runs=$arg ;;
    esac
done

# CPU time in nanoseconds that the threads of process $1 have used, from the scheduler's
# per-thread figures: Wine reports no process times of other processes, and the tick counts of
# /proc/PID/stat are too coarse (10 ms) for a program that wakes ten times a second.
cpu_ns() {
    cat "/proc/$1"/task/*/schedstat | awk '{ total += $1 } END { printf "%.0f\n", total }'
}

# CPU nanoseconds that program $2 with switch $3 uses over 10 s once it runs in tree $1.
guard_cpu() {
    "$bed" "$1" run "$2" "$3" >/dev/null 2>&1 &
    local program=$! before after
    sleep 2
    # winebed execs Wine's loader (wine, or wine64 for a 64-bit tree), which becomes the
    # program's process and shows its command line.
    if ! grep -qF "$(basename "$2")" "/proc/$program/cmdline"; then
        echo "bench: process $program is not $2" >&2
        return 1
    fi
    before=$(cpu_ns "$program")
    sleep 10
    after=$(cpu_ns "$program")
    kill "$program"
    wait "$program" 2>/dev/null || true
    echo $((after - before))
}

# The figures of the module in tree $1, each line headed by $2 (which module, how it ran).
module_figures() {
    local as=$2 saver saver_cpu bare_cpu goal
    build=$root/$1   # for the trap, which runs after this function
    trap '"$bed" "$build" stop' EXIT
    "$bed" "$build" start
    if [ -n "$soak" ]; then
        "$bed" "$build" run "$build/bin/SoakBench.exe" | tr -d '\r' | sed "s/^/[$as] /"
        return
    fi
    saver=$("$bed" "$build" run "$build/bin/SaverBench.exe" "$runs" "$build/bin/Ferrowind.scr" "$build/bin/BareSaver.exe" | tr -d '\r')
    {
        echo "$saver" | grep '^1\.'
        # In-process with the real procedures: ShellExecuteA's import slot is timed (replaces
        # the stored settings of the test prefix).
        "$bed" "$build" run "$build/bin/launch_bench.exe" "$runs" | tr -d '\r'
        # Against the bare program with a 100 ms timer, in three pairs of windows: one window
        # is easily thrown by the machine. As for start and input, the ratio is the median of
        # each pair's ratio.
        for _ in 1 2 3; do
            saver_cpu=$(guard_cpu "$build" "$build/bin/Ferrowind.scr" /s)
            bare_cpu=$(guard_cpu "$build" "$build/bin/BareSaver.exe" /timer)
            echo "$saver_cpu $bare_cpu"
        done | awk '
            function median(values, n,   i, j, swap) {
                for (i = 2; i <= n; i++)
                    for (j = i; j > 1 && values[j - 1] > values[j]; j--) {
                        swap = values[j]; values[j] = values[j - 1]; values[j - 1] = swap
                    }
                return values[int((n + 1) / 2)]
            }
            { saver[NR] = $1; bare[NR] = $2; ratio[NR] = $1 / $2 }
            END {
                if (!NR) exit 1
                s = median(saver, NR)
                printf "3. CPU while guarding, medians of %d windows of 10 s: %.1f ms vs bare with 100 ms timer %.1f ms = %.2fx (goal <= 1.2x); %.2f %% of one core (goal < 0.5 %%)\n", NR, s / 1e6, median(bare, NR) / 1e6, median(ratio, NR), s / 1e8
            }'
        echo "$saver" | grep '^4\.'
        goal=15360
        [ "$(cat "$build/winearch")" = win64 ] || goal=13312
        awk -v m="$(stat -c %s "$build/bin/Ferrowind.scr")" -v b="$(stat -c %s "$build/bin/MinimalGui.exe")" -v goal="$goal" 'BEGIN {
            printf "5. module size: %d bytes (goal <= %d) vs minimal GUI program built the same way %d bytes = %.2fx\n", m, goal, b, m / b
        }'
    } | sed "s/^/[$as] /"
}

# The 32-bit module's part, started below where 32-bit programs run.
if [ -n "${FERROWIND_BUILT:-}" ]; then
    module_figures "$FERROWIND_BUILT" "$FERROWIND_AS"
    exit
fi

targets=(Ferrowind BareSaver MinimalGui SaverBench SoakBench launch_bench)
[ -n "$soak" ] || echo "Ferrowind benchmarks, medians of $runs runs, $(/usr/lib/wine/wine64 --version), $(nproc) cores"
if [ -z "$only32" ]; then
    bash scripts/prepare.sh x64 "${targets[@]}" >/dev/null
    (module_figures build-x64 "64-bit, native")
    [ -z "$soak" ] || exit 0
fi
as="32-bit, native"
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    as="32-bit, emulated"
    if [ -z "$emulated$only32" ]; then
        echo "[32-bit] skipped: this kernel runs no 32-bit programs (--emulated takes them on the emulated machine)"
        exit 0
    fi
fi
bash scripts/prepare.sh default "${targets[@]}" >/dev/null
FERROWIND_BUILT=build FERROWIND_AS=$as exec bash scripts/x86-machine.sh "$root/build" bash bench/run.sh "$@"
