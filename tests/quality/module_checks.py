#!/usr/bin/env python3
"""Checks the built module: a PE32 i386 GUI image for OS 4.0 of at most 12 KiB with no runtime
sections (nothing runs before its entry), importing exactly the allowlist, with exactly two
Japanese resources: dialog 2003 with its texts and the string block of strings 0-15 holding
"Ferrowind"."""
import re
import subprocess
import sys

objdump, module, allowlist = sys.argv[1:4]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def dump(option):
    return subprocess.run([objdump, option, module], capture_output=True, text=True, check=True).stdout


headers, image = dump("-p"), open(module, "rb").read()
check("file format pei-i386" in dump("-f"), "not a PE32 i386 image")
for field, value in [("Magic", "010b"), ("Subsystem", "00000002"), ("MajorOSystemVersion", "4"),
                     ("MinorOSystemVersion", "0"), ("MajorSubsystemVersion", "4"), ("MinorSubsystemVersion", "0")]:
    found = re.search(rf"^{field}\s+(\S+)", headers, re.M)
    check(found and found.group(1) == value, f"{field} is {found.group(1) if found else 'missing'}, not {value}")
sections = set(re.findall(r"^\s+\d+ (\S+)", dump("-h"), re.M))
check(sections <= {".text", ".rdata", ".bss", ".idata", ".rsrc"}, f"sections {sorted(sections)}")
check(len(image) <= 12 * 1024, f"{len(image)} bytes, more than 12 KiB")

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

# The resource tree as objdump lists it: type, name and language ids, depth first.
tree = [int(i, 16) for i in re.findall(r"Entry: ID: 0x([0-9a-f]+)", headers)]
check(tree == [5, 2003, 0x411, 6, 1, 0x411], f"resources {tree}")
for text in ["設定", "コマンド", "ファイルパス", "引数", "作業フォルダ", "ウィンドウがアクティブになるまで待機する",
             "ウィンドウをアクティブのままに維持する", "OK", "キャンセル", "設定の消去", "MS Shell Dlg"]:
    check(text.encode("utf-16-le") in image, f"the dialog does not say {text}")
strings = re.search(rb"\0\0\x09\0" + "Ferrowind".encode("utf-16-le") + rb"(\0\0){14}", image)
check(strings is not None, "string 1 is not \"Ferrowind\" in a block of otherwise empty strings")

for failure in failures:
    print("FAIL:", failure)
print(f"module checks: {'passed' if not failures else 'failed'} ({len(imported)} imports)")
sys.exit(1 if failures else 0)
