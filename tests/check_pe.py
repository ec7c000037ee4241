#!/usr/bin/env python3
"""Checks the hardening of the built Windows programs by reading their PE
files directly (no objdump needed).

Usage: check_pe.py PROGRAM.exe [PROGRAM.exe ...]

Each program must be a 32-bit (PE32, i386) program, a GUI program unless it
is one of the known console programs, that
  - imports only system DLLs that Windows loads from its own directory
    (no toolchain runtime DLL such as libgcc, libstdc++ or libwinpthread),
  - has ASLR (DYNAMIC_BASE, with its relocations kept) and DEP (NX_COMPAT),
  - has no section that is both writable and executable,
  - carries a manifest that asks for the caller's rights (asInvoker), and
  - carries the version resource expected for its name.
Exits with status 1 when any check fails.
"""

import re
import struct
import sys
from pathlib import Path

# System DLLs the programs may import: each is one of the "known DLLs" that
# Windows maps from its system directory whatever the search order.
ALLOWED_IMPORTS = {"kernel32.dll", "advapi32.dll", "user32.dll", "msvcrt.dll"}
TOOLCHAIN_DLL = re.compile(r"^(libgcc|libstdc\+\+|libwinpthread|libssp|libatomic|libgomp)", re.I)

# File name -> (FILEVERSION and PRODUCTVERSION, FileVersion and ProductVersion strings)
EXPECTED_VERSIONS = {
    "shortcutsweep.exe": ((1, 0, 0, 0), "1.00"),
    "svckeeper.exe": ((1, 1, 0, 68), "1.01.0068"),
    "sweepcheck.exe": ((1, 0, 0, 0), "1.00"),
}

# Programs meant for a console; every other one must have no console.
CONSOLE_PROGRAMS = {"sweepcheck.exe"}

IMAGE_FILE_MACHINE_I386 = 0x014C
IMAGE_FILE_RELOCS_STRIPPED = 0x0001
PE32_MAGIC = 0x10B
SUBSYSTEM_WINDOWS_GUI = 2
SUBSYSTEM_WINDOWS_CUI = 3
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_WRITE = 0x80000000
RT_VERSION = 16
RT_MANIFEST = 24
DIR_IMPORT, DIR_RESOURCE, DIR_BASERELOC, DIR_DELAY_IMPORT = 1, 2, 5, 13


class PeFile:
    def __init__(self, path):
        self.data = Path(path).read_bytes()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, self.timestamp, self.symbols, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", d, opt)[0]
        if self.magic != PE32_MAGIC:
            self.subsystem = self.dll_characteristics = None
            self.directories = []
        else:
            self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", d, opt + 68)
            count = struct.unpack_from("<I", d, opt + 92)[0]
            self.directories = [struct.unpack_from("<II", d, opt + 96 + 8 * i) for i in range(count)]
        self.sections = []
        table = opt + optional_size
        for i in range(sections):
            name, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", d, table + 40 * i)
            flags = struct.unpack_from("<I", d, table + 40 * i + 36)[0]
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), vaddr, max(vsize, rawsize), rawptr,
                                  rawsize, flags))

    def offset(self, rva):
        for _, vaddr, size, rawptr, rawsize, _ in self.sections:
            if vaddr <= rva < vaddr + size and rva - vaddr < rawsize:
                return rawptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} is in no section")

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def imports(self):
        names = []
        rva, _ = self.directory(DIR_IMPORT)
        while rva:
            fields = struct.unpack_from("<IIIII", self.data, self.offset(rva))
            if not any(fields):
                break
            names.append(self.cstring(fields[3]))
            rva += 20
        rva, _ = self.directory(DIR_DELAY_IMPORT)
        while rva:
            fields = struct.unpack_from("<8I", self.data, self.offset(rva))
            if not any(fields):
                break
            names.append(self.cstring(fields[1]))
            rva += 32
        return names

    def resources(self, wanted_type):
        """The data of every resource of one type, in every name and language."""
        root_rva, _ = self.directory(DIR_RESOURCE)
        if not root_rva:
            return []
        root = self.offset(root_rva)
        found = []

        def walk(table, depth, type_id):
            named, ids = struct.unpack_from("<HH", self.data, table + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, table + 16 + 8 * i)
                entry_type = type_id if depth > 0 else (None if name & 0x80000000 else name)
                if target & 0x80000000:
                    walk(root + (target & 0x7FFFFFFF), depth + 1, entry_type)
                elif entry_type == wanted_type:
                    data_rva, size = struct.unpack_from("<II", self.data, root + target)
                    start = self.offset(data_rva)
                    found.append(self.data[start:start + size])

        walk(root, 0, None)
        return found


def version_blocks(data, offset=0, end=None):
    """Parses VS_VERSIONINFO-style blocks: (key, value bytes, is text, children)."""
    end = len(data) if end is None else end
    blocks = []
    while offset + 6 <= end:
        length, value_length, is_text = struct.unpack_from("<HHH", data, offset)
        if length == 0:
            break
        block_end = offset + length
        key_start = offset + 6
        key_end = key_start
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[key_start:key_end].decode("utf-16-le")
        value_start = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if is_text else value_length
        value = data[value_start:value_start + value_size]
        children_start = (value_start + value_size + 3) & ~3
        children = version_blocks(data, children_start, block_end) if children_start < block_end else []
        blocks.append((key, value, is_text, children))
        offset = (block_end + 3) & ~3
    return blocks


def version_info(pe):
    resources = pe.resources(RT_VERSION)
    if not resources:
        return None
    (key, value, _, children), = version_blocks(resources[0])[:1]
    if key != "VS_VERSION_INFO" or len(value) < 52:
        return None
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", value)
    if signature != 0xFEEF04BD:
        return None

    def four(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    strings = {}
    for child_key, _, _, tables in children:
        if child_key == "StringFileInfo":
            for _, _, _, entries in tables:
                for name, text, _, _ in entries:
                    strings[name] = text.decode("utf-16-le").rstrip("\0")
    return four(file_ms, file_ls), four(product_ms, product_ls), strings


def check(path):
    failures = []

    def expect(ok, what):
        print(f"  {'ok  ' if ok else 'FAIL'} {what}")
        if not ok:
            failures.append(what)

    name = Path(path).name.lower()
    print(f"{path}:")
    pe = PeFile(path)
    expect(pe.machine == IMAGE_FILE_MACHINE_I386, f"i386 machine (found {pe.machine:#06x})")
    expect(pe.magic == PE32_MAGIC, f"PE32 optional header (found {pe.magic:#x})")
    if pe.magic != PE32_MAGIC:
        return failures
    if name in CONSOLE_PROGRAMS:
        expect(pe.subsystem == SUBSYSTEM_WINDOWS_CUI, f"console subsystem (found {pe.subsystem})")
    else:
        expect(pe.subsystem == SUBSYSTEM_WINDOWS_GUI, f"GUI subsystem, no console (found {pe.subsystem})")
    expect(pe.dll_characteristics & DYNAMIC_BASE, "DYNAMIC_BASE (ASLR)")
    expect(pe.directory(DIR_BASERELOC)[1] > 0 and not pe.characteristics & IMAGE_FILE_RELOCS_STRIPPED,
           "relocations kept, so that ASLR can move the image")
    expect(pe.dll_characteristics & NX_COMPAT, "NX_COMPAT (DEP)")
    expect(pe.timestamp == 0, f"no link time stamp (found {pe.timestamp:#x})")
    for section, _, _, _, _, flags in pe.sections:
        expect(not (flags & SCN_MEM_WRITE and flags & SCN_MEM_EXECUTE),
               f"section {section} is not both writable and executable")

    imports = pe.imports()
    print(f"  imports: {', '.join(imports)}")
    for dll in imports:
        expect(not TOOLCHAIN_DLL.match(dll), f"{dll} is not a toolchain runtime DLL")
        expect(dll.lower() in ALLOWED_IMPORTS, f"{dll} is an allowed system DLL")

    manifests = pe.resources(RT_MANIFEST)
    expect(len(manifests) == 1, f"one RT_MANIFEST resource (found {len(manifests)})")
    text = manifests[0].decode("utf-8", "replace") if manifests else ""
    expect(re.search(r'<requestedExecutionLevel\s[^>]*level="asInvoker"', text) is not None,
           "the manifest asks for asInvoker")
    expect(re.search(r'<requestedExecutionLevel\s[^>]*uiAccess="false"', text) is not None,
           "the manifest asks for no UI access")

    expected = EXPECTED_VERSIONS.get(name)
    expect(expected is not None, f"an expected version is known for {name}")
    info = version_info(pe)
    expect(info is not None, "a VS_VERSION_INFO resource")
    if expected and info:
        numbers, text_version = expected
        file_version, product_version, strings = info
        expect(file_version == numbers, f"FILEVERSION {numbers} (found {file_version})")
        expect(product_version == numbers, f"PRODUCTVERSION {numbers} (found {product_version})")
        for key in ("FileVersion", "ProductVersion"):
            expect(strings.get(key) == text_version,
                   f'{key} "{text_version}" (found {strings.get(key)!r})')
    return failures


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    failed = 0
    for path in argv[1:]:
        try:
            failed += len(check(path))
        except (OSError, ValueError, struct.error) as error:
            print(f"  FAIL {path}: {error}")
            failed += 1
    print(f"{failed} check(s) failed" if failed else "all checks passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
