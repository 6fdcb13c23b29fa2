#!/usr/bin/env python3
"""Checks a built module: format, OS version, base, DLL characteristics, relocations, size and sections for
its width (x86: OS 4.0, at most 13 KiB, no instruction beyond the 80386; x64: OS 5.2, at most 15 KiB, with an
unwind table), every import against the allowlist, its two Japanese resources, each dialog control's id, class, text.
   module_checks.py x86|x64 OBJDUMP MODULE ALLOWLIST RESOURCE_IDS_HEADER"""
import re
import subprocess
import sys

arch, objdump, module, allowlist, resource_ids = sys.argv[1:6]
failures = []
# Per width: objdump's format, the optional header's magic, OS and subsystem version, preferred base (x64's
# above 4 GB), DLL characteristics (x64 also high-entropy), the sections beyond the common ones, the KiB limit.
FORMAT = {"x86": ("pei-i386", "010b", "4.0", "00400000", "00008140", set(), 13),
          "x64": ("pei-x86-64", "020b", "5.2", "0000000140000000", "00008160", {".pdata"}, 15)}
file_format, magic, version, base, characteristics, unwind_sections, kib = FORMAT[arch]
os_major, os_minor = version.split(".")


def check(condition, message):
    if not condition:
        failures.append(message)


def dump(option):
    return subprocess.run([objdump, option, module], capture_output=True, text=True, check=True).stdout


headers, image, section_table = dump("-p"), open(module, "rb").read(), dump("-h")
check(f"file format {file_format}" in dump("-f"), f"not a {file_format} image")
for field, value in [("Magic", magic), ("Subsystem", "00000002"), ("MajorOSystemVersion", os_major),
                     ("MinorOSystemVersion", os_minor), ("MajorSubsystemVersion", os_major),
                     ("MinorSubsystemVersion", os_minor), ("ImageBase", base), ("DllCharacteristics", characteristics)]:
    found = re.search(rf"^{field}\s+(\S+)", headers, re.M)
    check(found and found.group(1) == value, f"{field} is {found.group(1) if found else 'missing'}, not {value}")
sections = re.findall(r"^\s+\d+ (\S+)\s+([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)", section_table, re.M)
check({s[0] for s in sections} <= {".text", ".rdata", ".bss", ".idata", ".rsrc", ".reloc"} | unwind_sections, f"sections {sorted(s[0] for s in sections)}")
check(re.search(r"^Entry 5 \S+ 0*[1-9a-f]\S* Base Relocation", headers, re.M), "no base relocations")
check(len(image) <= kib * 1024, f"{len(image)} bytes, more than {kib} KiB")

imported, dll = set(), None
for line in headers.splitlines():
    if m := re.match(r"\tDLL Name: (\S+)", line):
        dll = m.group(1)
    elif dll and (m := re.match(r"\t[0-9a-f]+\t +\d+  (\S+)", line)):
        imported.add(f"{dll} {m.group(1)}")
allowed, other_width = set(), {"x86": "x64:", "x64": "x86:"}[arch]
for words in (line.split("#")[0].split() for line in open(allowlist, encoding="utf-8")):
    if words and words[0] != other_width:   # a line may be marked for one width only
        allowed.add(" ".join(words[-2:]))
failures += [f"import not on the allowlist: {name}" for name in sorted(imported - allowed)]
failures += [f"allowlist names what is not imported: {name}" for name in sorted(allowed - imported)]

# Windows 95 runs on an 80386 and NT 4 on an 80486: an instruction of a later processor in the
# 32-bit module would end it with an invalid-opcode fault there.
LATER_PROCESSORS = (r"\b(cmov\w+|fcmov\w+|fu?comip?|bswap|cmpxchg\w*|xadd\w?|cpuid|rdtscp?|rdmsr|wrmsr|rdpmc|rsm|"
                    r"sys(enter|exit|call|ret)|invd|wbinvd|invlpg|fxsave|fxrstor|[ls]dmxcsr|fisttp\w?|f?emms|nop[wl]|"
                    r"prefetch\w*|movnti|[lms]fence|clflush|popcnt|lzcnt|tzcnt|movbe|crc32\w?)\b|%[xyz]?mm\d")
for address, instruction in re.findall(r"^ +([0-9a-f]+):\t[0-9a-f ]+\t(.+)$", dump("-d") if arch == "x86" else "", re.M):
    check(not re.search(LATER_PROCESSORS, instruction), f"beyond the 80386 at {address}: {instruction}")

# The resource tree as objdump lists it: type, name and language ids, depth first.
tree = [int(i, 16) for i in re.findall(r"Entry: ID: 0x([0-9a-f]+)", headers)]
check(tree == [5, 2003, 0x411, 6, 1, 0x411], f"resources {tree}")
strings = re.search(rb"\0\0\x09\0" + "Ferrowind".encode("utf-16-le") + rb"(\0\0){14}", image)
check(strings is not None, "string 1 is not \"Ferrowind\" in a block of otherwise empty strings")


# Dialog 2003 as the user meets it, in tab order: each control's id (by its name in the shared
# header), class atom (0x80 button, 0x81 edit, 0x82 static, 0x83 list box) and text. A check
# box or edit box whose id were swapped with another's would act on the wrong field. A control's
# record ends with its id, its class as 0xFFFF and the atom, its text and no extra bytes.
ids = {name: int(value) for name, value in re.findall(r"#define (\w+) (\d+)", open(resource_ids).read())}
ids.update(IDOK=1, IDCANCEL=2, LABEL=0xFFFFFFFF)
expected = [("IDC_ENTRY_LIST", 0x83, ""), ("LABEL", 0x82, "コマンド"), ("IDC_VERB_EDIT", 0x81, ""),
            ("LABEL", 0x82, "ファイルパス"), ("IDC_FILE_EDIT", 0x81, ""), ("LABEL", 0x82, "引数"),
            ("IDC_PARAMETERS_EDIT", 0x81, ""), ("LABEL", 0x82, "作業フォルダ"), ("IDC_DIRECTORY_EDIT", 0x81, ""),
            ("IDC_WAIT_ACTIVE_WINDOW_CHECK", 0x80, "ウィンドウがアクティブになるまで待機する"),
            ("IDC_REMAIN_ACTIVE_WINDOW_CHECK", 0x80, "ウィンドウをアクティブのままに維持する"),
            ("IDOK", 0x80, "OK"), ("IDCANCEL", 0x80, "キャンセル"), ("IDC_ERASE_BUTTON", 0x80, "設定の消去")]
rsrc = next(s for s in sections if s[0] == ".rsrc")
resources = image[int(rsrc[3], 16):][:int(rsrc[1], 16)]
check("MS Shell Dlg".encode("utf-16-le") in resources, "the dialog's font is not MS Shell Dlg")
controls = [(int.from_bytes(m[1], "little"), m[2][0], m[3].decode("utf-16-le"))
            for m in re.finditer(rb"(.{4})\xff\xff([\x80-\x85])\0((?:..)*?)\0\0\0\0", resources, re.S)]
check(controls == [(ids[name], atom, text) for name, atom, text in expected], f"dialog controls {controls}")

for failure in failures:
    print("FAIL:", failure)
print(f"module checks ({arch}): {'passed' if not failures else 'failed'} ({len(imported)} imports, {len(image)} bytes)")
sys.exit(1 if failures else 0)
