#!/usr/bin/env bash
# Installs what is missing (scripts/setup.sh), configures the build tree and builds the targets
# given, or everything. The scripts that run the module call it first, then run their rest
# where 32-bit programs run (scripts/x86-machine.sh).   scripts/prepare.sh [TARGET...]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default ${1:+--target "$@"}
