#!/usr/bin/env bash
# Builds Ferrowind and every test program, then runs the whole suite under Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default
