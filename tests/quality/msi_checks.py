#!/usr/bin/env python3
"""Installs this tree's Windows Installer package for real with the bed's msiexec: an earlier
version, this one over it, the earlier one over this one, then the removal. Each step's outcome:
msiexec's exit code, the module in the system folder, the files in Program Files\\Ferrowind, the
installed-programs entries; at the end nothing of the package is left and the user's settings
are. The 32-bit tree first offers the 64-bit package, which 32-bit Windows refuses."""
import subprocess
import sys
from pathlib import Path

(cmake, build, winebed, version, package, module, guide, example, earlier, earlier_package, earlier_module,
 *package64) = sys.argv[1:]
drive = Path(build, "wineprefix", "drive_c")
folder = drive / "Program Files" / "Ferrowind"
documents = {"INSTALL.txt": Path(guide).read_bytes(), "ferrowind-example.reg": Path(example).read_bytes()}
settings = r"HKCU\software\Quillmoor\Ferrowind"
uninstall = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
installer_keys = [uninstall, r"HKLM\Software\Microsoft\Windows\CurrentVersion\Installer", r"HKLM\Software\Classes\Installer"]


def wine(*args):
    run = subprocess.run([winebed, build, "run", *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return run.returncode, run.stdout.decode("cp932", "replace").replace("\r", "")


def windows(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def values(key):
    """{subkey: {name: data}} under key; keys without values (Wine's installer makes some) do not show."""
    found, current = {}, None
    for line in wine("reg", "query", key, "/s")[1].splitlines():
        if line.startswith("HKEY_"):
            current = line
        elif line.strip():
            name, _, *data = line.split(None, 2)
            found.setdefault(current, {})[name] = "".join(data)
    return found


def entries():
    """The installed-programs entries named Ferrowind, as (publisher, version)."""
    return sorted((entry.get("Publisher"), entry.get("DisplayVersion")) for entry in values(uninstall).values()
                  if entry.get("DisplayName") == "Ferrowind")


def snapshot():
    """Files and installer registrations; not in temporary folders (where Wine's installer leaves its own)."""
    files = {str(path.relative_to(drive)) for path in drive.rglob("*")}
    registered = {(key, name, data) for root in installer_keys for key, named in values(root).items()
                  for name, data in named.items()}
    return {f for f in files if "temp" not in f.lower().split("/")} | registered


subprocess.run([cmake, "--build", build, "--target", "msi", "msi_earlier", *(["x64_package"] if package64 else [])],
               check=True, stdout=subprocess.DEVNULL)
for leftover in (package, earlier_package, *package64):   # of an earlier run that failed
    wine("msiexec", "/x", windows(leftover), "/qn")
before = snapshot()
wine("regedit", "/S", windows(example))
stored = wine("reg", "query", settings, "/s")

old, new = Path(earlier_module).read_bytes(), Path(module).read_bytes()
# (step, msiexec's action, package, its exit code, the module then in place, the entry's version)
steps = [("the earlier version", "/i", earlier_package, 0, old, earlier),
         ("this version over the earlier one", "/i", package, 0, new, version),
         ("the earlier version over this one", "/i", earlier_package, 1603, new, version),
         ("the removal", "/x", package, 0, None, None)]
if package64:
    steps.insert(0, ("the 64-bit package on 32-bit Windows", "/i", package64[0], 1633, None, None))

failures = []
for step, action, source, code, expected, entry in steps:
    returned = wine("msiexec", action, windows(source), "/qn")[0]
    if returned != code & 0xFF:   # Wine hands Linux the exit code's low byte
        failures.append(f"{step}: msiexec returned {returned}, not {code & 0xFF} ({code})")
    installed = drive / "windows" / "system32" / "Ferrowind.scr"
    if (installed.read_bytes() if installed.exists() else None) != expected:
        failures.append(f"{step}: the system folder holds {'another module' if installed.exists() else 'no module'}")
    files = {path.name: path.read_bytes() for path in folder.iterdir()} if folder.exists() else {}
    if files != (documents if expected else {}):
        failures.append(f"{step}: Program Files\\Ferrowind holds {sorted(files)}, not as built")
    if entries() != ([("Quillmoor", entry)] if entry else []):
        failures.append(f"{step}: the installed programs list {entries()}")

failures += [f"left behind: {item}" for item in sorted(snapshot() - before, key=str)]
if not stored[1] or wine("reg", "query", settings, "/s") != stored:
    failures.append("the settings stored before are not as they were")
wine("reg", "delete", r"HKCU\software\Quillmoor", "/f")
for failure in failures:
    print("FAIL:", failure)
print(f"msi checks: {'passed' if not failures else 'failed'}")
sys.exit(1 if failures else 0)
