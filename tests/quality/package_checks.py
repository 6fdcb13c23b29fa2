#!/usr/bin/env python3
"""Makes the release package as the package target does, into a folder of its own, and checks
it: named by the project's version, it holds both modules as built (the 64-bit one in x64/),
the example settings and the install guide of this version, and nothing else."""
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

cpack, config, version, module, module64, example = sys.argv[1:7]
copies = {"Ferrowind.scr": module, "x64/Ferrowind.scr": module64, "ferrowind-example.reg": example}
failures = []
with tempfile.TemporaryDirectory() as folder:
    subprocess.run([cpack, "--config", config, "-B", folder], check=True, stdout=subprocess.DEVNULL)
    with zipfile.ZipFile(Path(folder) / f"Ferrowind-{version}-win32.zip") as package:
        names = sorted(name for name in package.namelist() if not name.endswith("/"))
        if names != sorted([*copies, "INSTALL.txt"]):
            failures.append(f"holds {names}")
        failures += [f"{name} is not {source}" for name, source in copies.items()
                     if name in names and package.read(name) != Path(source).read_bytes()]
        if "INSTALL.txt" in names and not package.read("INSTALL.txt").startswith(f"Ferrowind {version}".encode()):
            failures.append("INSTALL.txt does not name this version")
for failure in failures:
    print("FAIL:", failure)
print(f"package checks: {'passed' if not failures else 'failed'}")
sys.exit(1 if failures else 0)
