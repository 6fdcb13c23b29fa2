#!/usr/bin/env bash
# Builds both modules and every test program, checks the release and that two clean builds give
# the same one (tests/release/reproducible.sh), then runs the whole suite against each module:
# the 64-bit module natively under 64-bit Wine, then the 32-bit module under 32-bit Wine, on an
# emulated machine when this kernel runs no 32-bit programs (scripts/x86-machine.sh). Each half
# ends with CTest's summary; the last line counts both. Fails when the release check or a test
# of either half fails. Arguments go to both halves' ctest (e.g. --schedule-random).
#   scripts/test.sh [CTEST_ARGUMENT...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/prepare.sh x64
bash scripts/prepare.sh default
summaries=""
status=0
echo "test: the release, and two of it built from clean clones, byte for byte"
bash tests/release/reproducible.sh || { status=1; reproducible="test: the release is not reproducible (see above)"; }
output=$(mktemp)
trap 'rm -f "$output"' EXIT
run_half() {   # run_half NAME COMMAND...: the half's output as it comes, its summary kept
    echo "test: the $1 module"
    "${@:2}" 2>&1 | tee "$output" || status=1
    summaries+="$1 $(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$output" | tail -n 1)"$'\n'
}
run_half 64-bit ctest --preset x64 "$@"
run_half 32-bit bash scripts/x86-machine.sh build ctest --preset default "$@"
[ -z "${reproducible:-}" ] || echo "$reproducible"
# Each line: NAME N% tests passed, F tests failed out of T. A half without CTest's summary did
# not finish: it counts as one failure.
awk '{ if (NF < 10) { print "test: the " $1 " module gave no summary"; failed++ }
       else { failed += $5; passed += $NF - $5; print "test: the " $1 " module: " $NF - $5 " of " $NF " passed" } }
     END { printf "tests: %d passed, %d failed\n", passed, failed }' <<<"${summaries%$'\n'}"
exit "$status"
