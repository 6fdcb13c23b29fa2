#!/usr/bin/env bash
# Prints the test suite's budget figures: the lines under tests/ against all the project's code
# lines (every tracked file but the documents and pictures), and the time of each half of the
# test run after the build: the 64-bit module's, native, and the 32-bit module's.
#   scripts/test-budget.sh [--lines-only]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

lines() { git ls-files "$@" | grep -vE '\.(md|png)$|^docs/|^\.gitignore$|INSTALL' | xargs cat | wc -l; }
tests=$(lines tests)
code=$(lines)
awk -v t="$tests" -v c="$code" \
    'BEGIN { printf "test lines: %d of %d code lines = %.1f %% (budget <= a third)\n", t, c, 100 * t / c }'
[ "${1:-}" = --lines-only ] && exit 0

bash scripts/prepare.sh x64 >/dev/null
bash scripts/prepare.sh default >/dev/null
timed() {   # timed NAME COMMAND...: the command's time after the build
    local start passed
    start=$(date +%s.%N)
    "${@:2}" >/dev/null && passed=0 || passed=1
    awk -v n="$1" -v s="$start" -v e="$(date +%s.%N)" -v p="$passed" \
        'BEGIN { printf "test run, %s: %.0f s after the build%s\n", n, e - s, p ? ", with failures" : "" }'
}
timed "64-bit module, native (budget < 120 s)" ctest --preset x64
timed "32-bit module" bash scripts/x86-machine.sh build ctest --preset default
