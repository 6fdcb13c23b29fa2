#!/usr/bin/env python3
"""Checks a built module: for x86 a PE32 i386 GUI image for OS 4.0 of at most 12 KiB, for x64 a
PE32+ x86-64 GUI image for OS 5.2 (64-bit Windows XP) of at most 14 KiB whose only additional
section is the unwind table; no runtime sections (nothing runs before its entry), importing
exactly the allowlist of its width, with exactly two Japanese resources: dialog 2003, each control
with its id, class and text in order, and the string block of strings 0-15 holding "Ferrowind".
   module_checks.py x86|x64 OBJDUMP MODULE ALLOWLIST RESOURCE_IDS_HEADER"""
import re
import struct
import subprocess
import sys

arch, objdump, module, allowlist, resource_ids = sys.argv[1:6]
failures = []
FORMAT = {"x86": ("pei-i386", "010b", "4", {".text", ".rdata", ".bss", ".idata", ".rsrc"}, 12),
          "x64": ("pei-x86-64", "020b", "5", {".text", ".rdata", ".pdata", ".bss", ".idata", ".rsrc"}, 14)}
file_format, magic, os_major, allowed_sections, kib = FORMAT[arch]
os_minor = "0" if arch == "x86" else "2"


def check(condition, message):
    if not condition:
        failures.append(message)


def dump(option):
    return subprocess.run([objdump, option, module], capture_output=True, text=True, check=True).stdout


headers, image, section_table = dump("-p"), open(module, "rb").read(), dump("-h")
check(f"file format {file_format}" in dump("-f"), f"not a {file_format} image")
for field, value in [("Magic", magic), ("Subsystem", "00000002"), ("MajorOSystemVersion", os_major),
                     ("MinorOSystemVersion", os_minor), ("MajorSubsystemVersion", os_major),
                     ("MinorSubsystemVersion", os_minor)]:
    found = re.search(rf"^{field}\s+(\S+)", headers, re.M)
    check(found and found.group(1) == value, f"{field} is {found.group(1) if found else 'missing'}, not {value}")
sections = re.findall(r"^\s+\d+ (\S+)\s+([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)", section_table, re.M)
check({s[0] for s in sections} <= allowed_sections, f"sections {sorted(s[0] for s in sections)}")
check(len(image) <= kib * 1024, f"{len(image)} bytes, more than {kib} KiB")

imported, dll = set(), None
for line in headers.splitlines():
    if m := re.match(r"\tDLL Name: (\S+)", line):
        dll = m.group(1)
    elif dll and (m := re.match(r"\t[0-9a-f]+\t +\d+  (\S+)", line)):
        imported.add(f"{dll} {m.group(1)}")
allowed = set()
for line in open(allowlist, encoding="utf-8"):
    words = line.split("#")[0].split()
    if words and words[0].endswith(":"):   # a line for one width only
        words = words[1:] if words[0] == f"{arch}:" else []
    if words:
        allowed.add(" ".join(words))
for name in sorted(imported - allowed):
    failures.append(f"import not on the allowlist: {name}")
for name in sorted(allowed - imported):
    failures.append(f"allowlist names what is not imported: {name}")

# The resource tree as objdump lists it: type, name and language ids, depth first.
tree = [int(i, 16) for i in re.findall(r"Entry: ID: 0x([0-9a-f]+)", headers)]
check(tree == [5, 2003, 0x411, 6, 1, 0x411], f"resources {tree}")
strings = re.search(rb"\0\0\x09\0" + "Ferrowind".encode("utf-16-le") + rb"(\0\0){14}", image)
check(strings is not None, "string 1 is not \"Ferrowind\" in a block of otherwise empty strings")


def file_offset(rva):
    image_base = int(re.search(r"^ImageBase\s+([0-9a-f]+)", headers, re.M).group(1), 16)
    for _, size, vma, offset in sections:
        start = int(vma, 16) - image_base
        if start <= rva < start + int(size, 16):
            return rva - start + int(offset, 16)
    raise ValueError(f"no section holds RVA {rva:#x}")


class Template:
    """Reads a DIALOGEX template: sz_Or_Ord fields, texts, and DWORD-aligned items."""
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, form):
        values = struct.unpack_from(form, self.data, self.at)
        self.at += struct.calcsize(form)
        return values

    def text_or_ordinal(self):
        if self.take("<H")[0] == 0xFFFF:
            return self.take("<H")[0]
        self.at -= 2
        units = []
        while (unit := self.take("<H")[0]) != 0:
            units.append(unit)
        return struct.pack(f"<{len(units)}H", *units).decode("utf-16-le")


# Dialog 2003 as the user meets it: each control's id (by its name in the shared header), its
# class atom (0x80 button, 0x81 edit, 0x82 static, 0x83 list box) and its text, in tab order.
# A check box or edit whose id were swapped with another's would act on the wrong field.
ids = {name: int(value) for name, value in re.findall(r"#define (\w+) (\d+)", open(resource_ids).read())}
ids.update(IDOK=1, IDCANCEL=2, LABEL=0xFFFFFFFF)
expected = [("IDC_ENTRY_LIST", 0x83, ""), ("LABEL", 0x82, "コマンド"), ("IDC_VERB_EDIT", 0x81, ""),
            ("LABEL", 0x82, "ファイルパス"), ("IDC_FILE_EDIT", 0x81, ""), ("LABEL", 0x82, "引数"),
            ("IDC_PARAMETERS_EDIT", 0x81, ""), ("LABEL", 0x82, "作業フォルダ"), ("IDC_DIRECTORY_EDIT", 0x81, ""),
            ("IDC_WAIT_ACTIVE_WINDOW_CHECK", 0x80, "ウィンドウがアクティブになるまで待機する"),
            ("IDC_REMAIN_ACTIVE_WINDOW_CHECK", 0x80, "ウィンドウをアクティブのままに維持する"),
            ("IDOK", 0x80, "OK"), ("IDCANCEL", 0x80, "キャンセル"), ("IDC_ERASE_BUTTON", 0x80, "設定の消去")]
leaf = re.search(r"Entry: ID: 0x0007d3.*?Leaf: Addr: 0x([0-9a-f]+), Size: 0x([0-9a-f]+)", headers, re.S)
start = file_offset(int(leaf.group(1), 16))
dialog = Template(image[start:start + int(leaf.group(2), 16)])
_, signature, _, _, _, count = dialog.take("<HHIIIH")
dialog.take("<4h")
menu, dialog_class, caption = dialog.text_or_ordinal(), dialog.text_or_ordinal(), dialog.text_or_ordinal()
dialog.take("<HHBB")
font = dialog.text_or_ordinal()
check(signature == 0xFFFF and (caption, font) == ("設定", "MS Shell Dlg"), f"dialog {caption!r} in {font!r}")
controls = []
for _ in range(count):
    dialog.at += -dialog.at % 4
    dialog.take("<III4h")
    control_id = dialog.take("<I")[0]
    control_class, text = dialog.text_or_ordinal(), dialog.text_or_ordinal()
    extra_bytes = dialog.take("<H")[0]
    dialog.at += extra_bytes
    controls.append((control_id, control_class, text))
want = [(ids[name], control_class, text) for name, control_class, text in expected]
for n in range(max(len(controls), len(want))):
    have = controls[n] if n < len(controls) else None
    should = want[n] if n < len(want) else None
    check(have == should, f"dialog control {n}: {have}, not {should}")

for failure in failures:
    print("FAIL:", failure)
print(f"module checks ({arch}): {'passed' if not failures else 'failed'} ({len(imported)} imports, {len(image)} bytes)")
sys.exit(1 if failures else 0)
