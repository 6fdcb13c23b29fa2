#!/usr/bin/env bash
# Builds Ferrowind and every test program, then runs the whole suite under Wine, on an
# emulated machine when this kernel runs no 32-bit programs (scripts/x86-machine.sh).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/prepare.sh
bash scripts/x86-machine.sh build ctest --preset default
