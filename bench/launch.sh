#!/usr/bin/env bash
# Launch timing of Ferrowind under Wine in the build tree's test bed: prints medians over
# several runs of process start -> first launch and first background erase -> first launch.
# Figures only, no verdict. Replaces the stored settings of the test prefix.
#   bench/launch.sh [RUNS]      default 7
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

cmake --preset default >/dev/null
cmake --build --preset default --target launch_bench >/dev/null

build="$root/build"
bed="$root/tests/harness/winebed.sh"
trap '"$bed" "$build" stop' EXIT
"$bed" "$build" start
"$bed" "$build" run "$build/bin/launch_bench.exe" "${1:-7}"
