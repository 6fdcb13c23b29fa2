#!/usr/bin/env bash
# Installs what is missing (scripts/setup.sh), configures the build tree of a preset ("default"
# for the 32-bit module in build/, "x64" for the 64-bit one in build-x64/) and builds the
# targets given, or everything. The scripts that run a module call it first; the 32-bit
# module's then run their rest where 32-bit programs run (scripts/x86-machine.sh).
#   scripts/prepare.sh PRESET [TARGET...]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
preset=$1
shift
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" ${1:+--target "$@"}
