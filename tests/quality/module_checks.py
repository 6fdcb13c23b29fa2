#!/usr/bin/env python3
"""Checks the built module: PE32 i386 GUI image for OS 4.0 of at most 12 KiB with no runtime
sections (nothing runs before its entry), imports exactly the allowlist, and exactly two
resources (dialog 2003 and the string block of strings 0-15), Japanese."""
import re
import struct
import subprocess
import sys

objdump, module, allowlist = sys.argv[1:4]
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

sections = subprocess.run([objdump, "-h", module], capture_output=True, text=True, check=True).stdout
names = set(re.findall(r"^\s+\d+ (\S+)", sections, re.M))
check(names <= {".text", ".rdata", ".bss", ".idata", ".rsrc"}, f"sections {sorted(names)}")
size = len(open(module, "rb").read())
check(size <= 12 * 1024, f"{size} bytes, more than 12 KiB")

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

image = open(module, "rb").read()
pe = struct.unpack_from("<I", image, 0x3C)[0]
sections, optional_size = struct.unpack_from("<HxxxxxxxxxxxxH", image, pe + 6)
resource_rva = struct.unpack_from("<I", image, pe + 24 + 96 + 2 * 8)[0]
rsrc_offset = None
for i in range(sections):
    at = pe + 24 + optional_size + 40 * i
    size, rva, _, raw = struct.unpack_from("<IIII", image, at + 8)
    if rva <= resource_rva < rva + size:
        rsrc_offset = raw + resource_rva - rva
        rsrc_rva = rva - raw


def directory(offset):
    named, numbered = struct.unpack_from("<HH", image, rsrc_offset + offset + 12)
    for i in range(named + numbered):
        ident, target = struct.unpack_from("<II", image, rsrc_offset + offset + 16 + 8 * i)
        yield (ident if not ident & 0x80000000 else "named"), target


resources = []
for kind, types in directory(0):
    for name, names in directory(types & 0x7FFFFFFF):
        for language, leaf in directory(names & 0x7FFFFFFF):
            data_rva, size = struct.unpack_from("<II", image, rsrc_offset + leaf)
            resources.append((kind, name, language, image[data_rva - rsrc_rva:data_rva - rsrc_rva + size]))

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
