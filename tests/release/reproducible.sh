#!/usr/bin/env bash
# Builds the release twice, each in a clean clone of this commit (with the checkout's changes to
# tracked files) under folders of different names, and compares the release files and both
# modules byte for byte. The time stamps come from the commit, so SOURCE_DATE_EPOCH is unset.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
unset SOURCE_DATE_EPOCH
work=$(mktemp -d)
trap 'wait; rm -rf "$work"' EXIT
build() {   # build FOLDER: the release of a clean clone in FOLDER
    git clone -q --shared --no-checkout "$root" "$1"
    git -C "$1" checkout -q --detach "$(git -C "$root" rev-parse HEAD)"
    git -C "$root" diff --binary HEAD | git -C "$1" apply --allow-empty
    (cd "$1" && cmake --preset default >/dev/null && cmake --build --preset default --target release >/dev/null)
}
# Side by side, the second a day later by its clock (libfaketime; the files' times stay true).
export root
export -f build
build "$work/first" >"$work/first.log" 2>&1 &
NO_FAKE_STAT=1 faketime -f +1d bash -c 'build "$0"' "$work/second-tree" >"$work/second.log" 2>&1 ||
    { cat "$work/second.log"; exit 1; }
wait $! || { cat "$work/first.log"; exit 1; }
cd "$work/first"
status=0
for file in build/release/* build/bin/Ferrowind.scr build-x64/bin/Ferrowind.scr; do
    cmp -s "$file" "../second-tree/$file" && echo "reproducible: $file: the same" ||
        { echo "reproducible: $file: differs"; status=1; }
done
exit "$status"
