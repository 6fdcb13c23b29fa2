#!/usr/bin/env bash
# Builds the release twice, in clean clones of this commit (with the checkout's changes to tracked
# files) under folders of different names, and compares the release files and both modules byte
# for byte (the time stamps come from the commit: SOURCE_DATE_EPOCH is unset). Then the first
# release: unsigned as it says, SHA256SUMS right, the zip holding the modules as built.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
unset SOURCE_DATE_EPOCH
work=$(mktemp -d)
trap 'wait; rm -rf "$work"' EXIT
build() {   # build FOLDER: the release of a clean clone in FOLDER; its own lines in the log
    set -o pipefail
    git clone -q --shared --no-checkout "$root" "$1"
    git -C "$1" checkout -q --detach "$(git -C "$root" rev-parse HEAD)"
    git -C "$root" diff --binary HEAD | git -C "$1" apply --allow-empty
    cd "$1" && cmake --preset default >/dev/null && cmake --build --preset default --target release | grep '^release:'
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
check() {   # check WHAT COMMAND...: says whether the release is WHAT
    "${@:2}" && echo "release: $1" || { echo "release: not $1"; status=1; }
}
for file in build/release/* build/bin/Ferrowind.scr build-x64/bin/Ferrowind.scr; do
    check "reproducible: $file" cmp -s "$file" "../second-tree/$file"
done
check "said to be unsigned" grep -qx 'release: unsigned (no signing certificate: set FERROWIND_SIGN_CERTIFICATE to sign)' ../first.log
check "checksummed" bash -c 'cd build/release && sha256sum --quiet -c SHA256SUMS'
version=$(sed -n 's/^project(Ferrowind VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
check "the zip, the two packages and the checksums" [ "$(ls build/release | tr '\n' ' ')" = \
    "Ferrowind-$version-win32.zip Ferrowind-$version-x64.msi Ferrowind-$version-x86.msi SHA256SUMS " ]
check "a zip of the modules as built, the example and this version's guide" python3 - "build/release/Ferrowind-$version-win32.zip" <<PY
import sys, zipfile
package = zipfile.ZipFile(sys.argv[1])
held = {name: package.read(name) for name in package.namelist()}
built = {name: open(path, "rb").read() for name, path in [("Ferrowind.scr", "build/bin/Ferrowind.scr"),
         ("x64/Ferrowind.scr", "build-x64/bin/Ferrowind.scr"), ("ferrowind-example.reg", "docs/ferrowind-example.reg")]}
sys.exit(not held.pop("INSTALL.txt", b"").startswith(b"Ferrowind $version") or held != built)
PY
exit "$status"
