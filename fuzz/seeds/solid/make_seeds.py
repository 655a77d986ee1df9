#!/usr/bin/env python3
"""Seeds for fuzz_solid: tar streams (first byte 0, compressed by the target)
and whole .xz parts (first byte 1): files, folders, pax long and non-ASCII
names, GNU long names, and refused member types."""
import io
import os
import sys
import tarfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tests", "data"))
from xztools import tar_end, tar_member, xz_stream  # noqa: E402


def tar_of(members, fmt):
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=fmt) as tar:
        for name, data in members:
            info = tarfile.TarInfo(name)
            if data is None:
                info.type = tarfile.DIRTYPE
            else:
                info.size = len(data)
            tar.addfile(info, io.BytesIO(data or b""))
    return out.getvalue()


folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
members = [("a/", None), ("a/b.txt", b"hello\n" * 20), ("L" * 180 + "/x.txt", b"long"), ("ümlaut.txt", b"u")]
seeds = {
    "pax.tar": b"\0" + tar_of(members, tarfile.PAX_FORMAT),
    "gnu.tar": b"\0" + tar_of(members, tarfile.GNU_FORMAT),
    "types.tar": b"\0" + tar_member("l", type_=b"2") + tar_member("f", b"x") + tar_end(),
    "part.xz": b"\1" + xz_stream(tar_of(members, tarfile.PAX_FORMAT)),
}
for name, data in seeds.items():
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
