#!/usr/bin/env python3
"""Makes the release as the release target does without a certificate, into a folder of its
own, and checks it: it says it is unsigned; the zip and both packages are named by the project's
version, with checksums sha256sum accepts; the zip holds both modules as built (the 64-bit one in
x64/), the example settings and the install guide of this version, and nothing else."""
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

release, version, wxs, module, module64, guide, example = sys.argv[1:8]
copies = {"Ferrowind.scr": module, "x64/Ferrowind.scr": module64, "ferrowind-example.reg": example}
failures = []
with tempfile.TemporaryDirectory() as folder:
    made = subprocess.run([sys.executable, release, "release", f"{folder}/release", version, wxs, module, module64,
                           guide, example], capture_output=True, text=True)
    if made.stdout.strip().splitlines() != ["release: unsigned (no signing certificate: set FERROWIND_SIGN_CERTIFICATE to sign)"]:
        failures.append(f"the release said {made.stdout + made.stderr!r}")
    files = sorted(path.name for path in Path(folder, "release").glob("*"))
    names = [f"Ferrowind-{version}-{kind}" for kind in ("win32.zip", "x64.msi", "x86.msi")]
    if files != sorted(["SHA256SUMS", *names]):
        failures.append(f"the release holds {files}")
    elif subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=f"{folder}/release").returncode:
        failures.append("sha256sum does not accept SHA256SUMS")
    else:
        with zipfile.ZipFile(Path(folder, "release", names[0])) as package:
            held = sorted(package.namelist())
            if held != sorted([*copies, "INSTALL.txt"]):
                failures.append(f"the zip holds {held}")
            failures += [f"{name} is not {source}" for name, source in copies.items()
                         if name in held and package.read(name) != Path(source).read_bytes()]
            if "INSTALL.txt" in held and not package.read("INSTALL.txt").startswith(f"Ferrowind {version}".encode()):
                failures.append("INSTALL.txt does not name this version")
for failure in failures:
    print("FAIL:", failure)
print(f"package checks: {'passed' if not failures else 'failed'}")
sys.exit(1 if failures else 0)
