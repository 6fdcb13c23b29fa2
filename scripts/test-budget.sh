#!/usr/bin/env bash
# Prints the test suite's two budget figures: the lines under tests/ against the module's lines
# (host/, launcher/, resources/; every tracked file counts), and the time of the whole test
# run after the build.   scripts/test-budget.sh [--lines-only]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

lines() { git ls-files "$@" | xargs cat | wc -l; }
tests=$(lines tests)
module=$(lines host launcher resources)
awk -v t="$tests" -v m="$module" \
    'BEGIN { printf "test lines: %d against %d lines of module code = %.2fx (budget <= 0.50x, aim 0.33x)\n", t, m, t / m }'
[ "${1:-}" = --lines-only ] && exit 0

bash scripts/prepare.sh >/dev/null
start=$(date +%s.%N)
set +e
bash scripts/x86-machine.sh build ctest --preset default >/dev/null
passed=$?
set -e
awk -v s="$start" -v e="$(date +%s.%N)" -v p="$passed" \
    'BEGIN { printf "test run: %.0f s for ctest --preset default after the build (budget < 120 s)%s\n", e - s, p ? ", with failures" : "" }'
