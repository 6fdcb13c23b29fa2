#!/usr/bin/env python3
"""Checks the built module: PE32 i386 GUI image for OS 4.0, imports exactly the allowlist,
and exactly two resources (dialog 2003 and the string block of strings 0-15), Japanese."""
import re
import struct
import subprocess
import sys
import tempfile

objdump, windres, module, allowlist = sys.argv[1:5]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


headers = subprocess.run([objdump, "-p", module], capture_output=True, text=True, check=True).stdout
fmt = subprocess.run([objdump, "-f", module], capture_output=True, text=True, check=True).stdout
check("file format pei-i386" in fmt and "architecture: i386" in fmt, "not a PE32 i386 image")
for field, value in [("Magic", "010b"), ("Subsystem", "00000002"), ("MajorOSystemVersion", "4"),
                     ("MinorOSystemVersion", "0"), ("MajorSubsystemVersion", "4"), ("MinorSubsystemVersion", "0")]:
    found = re.search(rf"^{field}\s+(\S+)", headers, re.M)
    check(found and found.group(1) == value, f"{field} is {found.group(1) if found else 'missing'}, not {value}")

imported, dll = set(), None
for line in headers.splitlines():
    if m := re.match(r"\tDLL Name: (\S+)", line):
        dll = m.group(1)
    elif dll and (m := re.match(r"\t[0-9a-f]+\t +\d+  (\S+)", line)):
        imported.add(f"{dll} {m.group(1)}")
allowed = {" ".join(line.split("#")[0].split()) for line in open(allowlist, encoding="utf-8")} - {""}
for name in sorted(imported - allowed):
    failures.append(f"import not on the allowlist: {name}")
for name in sorted(allowed - imported):
    failures.append(f"allowlist names what is not imported: {name}")

with tempfile.NamedTemporaryFile(suffix=".res") as res:
    subprocess.run([windres, "-J", "coff", "-O", "res", "-i", module, "-o", res.name], check=True)
    data = open(res.name, "rb").read()


def read_id(offset):
    if struct.unpack_from("<H", data, offset)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, offset + 2)[0], offset + 4
    end = offset
    while struct.unpack_from("<H", data, end)[0]:
        end += 2
    return data[offset:end].decode("utf-16-le"), end + 2


resources, offset = [], 0
while offset < len(data):
    size, header = struct.unpack_from("<II", data, offset)
    kind, at = read_id(offset + 8)
    name, at = read_id(at)
    at = (at + 3) & ~3
    language = struct.unpack_from("<H", data, at + 6)[0]
    body = data[offset + header:offset + header + size]
    if size:
        resources.append((kind, name, language, body))
    offset = (offset + header + size + 3) & ~3

check([(k, n, lang) for k, n, lang, _ in resources] == [(5, 2003, 0x411), (6, 1, 0x411)],
      f"resources are {[(k, n, hex(lang)) for k, n, lang, _ in resources]}")
strings, at = [], 0
table = next((body for kind, _, _, body in resources if kind == 6), b"")
while at < len(table):
    count = struct.unpack_from("<H", table, at)[0]
    strings.append(table[at + 2:at + 2 + 2 * count].decode("utf-16-le"))
    at += 2 + 2 * count
check(strings == [""] + ["Ferrowind"] + [""] * 14, f"string block holds {strings}")

for failure in failures:
    print("FAIL:", failure)
print(f"module checks: {'passed' if not failures else 'failed'} ({len(imported)} imports)")
sys.exit(1 if failures else 0)
