#!/usr/bin/env python3
"""Checks a stub as it ships: at most LIMIT bytes (0: no limit); a Linux stub
is statically linked (no program interpreter, no dynamic section); a Windows
stub keeps its icon, manifest and version resource.

usage: stub_check.py STUB LIMIT"""
import struct
import sys

PT_INTERP, PT_DYNAMIC = 3, 2
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def elf_problems(data):
    if data[4] != 2:
        return ["not a 64-bit ELF file"]
    phoff, = struct.unpack_from("<Q", data, 0x20)
    phentsize, phnum = struct.unpack_from("<HH", data, 0x36)
    kinds = {struct.unpack_from("<I", data, phoff + i * phentsize)[0] for i in range(phnum)}
    problems = []
    if PT_INTERP in kinds:
        problems.append("has a program interpreter: dynamically linked")
    if PT_DYNAMIC in kinds:
        problems.append("has a dynamic section: needs shared libraries")
    return problems


def pe_resource_types(data):
    pe, = struct.unpack_from("<I", data, 0x3C)
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic, = struct.unpack_from("<H", data, optional)
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva, _ = struct.unpack_from("<II", data, directories + 2 * 8)
    table = optional + optional_size
    for i in range(sections):
        _, vsize, rva, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        if rva <= resource_rva < rva + max(vsize, rawsize):
            root = rawptr + resource_rva - rva
            named, ids = struct.unpack_from("<HH", data, root + 12)
            entries = root + 16 + 8 * named
            return {struct.unpack_from("<I", data, entries + 8 * k)[0] for k in range(ids)}
    return set()


def main():
    path, limit = sys.argv[1], int(sys.argv[2])
    data = open(path, "rb").read()
    problems = []
    if limit and len(data) > limit:
        problems.append("%d bytes, more than the %d allowed" % (len(data), limit))
    if data[:4] == b"\x7fELF":
        problems += elf_problems(data)
    elif data[:2] == b"MZ":
        types = pe_resource_types(data)
        for kind, name in ((RT_ICON, "icon"), (RT_GROUP_ICON, "icon group"), (RT_MANIFEST, "manifest"),
                           (RT_VERSION, "version resource")):
            if kind not in types:
                problems.append("no " + name)
    else:
        problems.append("neither ELF nor PE")
    print("%s: %d bytes" % (path, len(data)))
    for p in problems:
        print("FAIL: " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
