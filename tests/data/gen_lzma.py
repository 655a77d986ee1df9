#!/usr/bin/env python3
"""LZMA (method 14) and XZ (method 95) entries for the archive reader and
launcher tests: archives from real producers (Python's zipfile, 7z), XZ and
LZMA entries written here, encrypted ones, and damaged ones.

usage: gen_lzma.py OUTDIR  -- writes OUTDIR/zip/lzma_*.zip and the files they
                              hold in OUTDIR/zip/lzma_payload/ (lzma_small.zip
                              only seeds the fuzz target)
"""
import lzma
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ziptools import PASSWORD, ZipCrypto  # noqa: E402
from zip_forge import raw_zip  # noqa: E402

MIB = 1 << 20


def payload():
    """name -> bytes: text, noise, an empty and a one-byte file, and a file
    of several of the reader's 64 KiB chunks."""
    rnd = random.Random(14)
    text = b"".join(b"line %d of an LZMA entry\n" % i for i in range(8000))
    noise = bytes(rnd.getrandbits(8) for _ in range(70000))
    mixed = b"".join(text[i * 3000:i * 3000 + 5000] + noise[i * 600:i * 600 + 700] for i in range(60))
    return {"text.txt": text, "random.bin": noise, "empty.txt": b"", "one.txt": b"1",
            "sub/mixed.dat": mixed}


def lzma_properties(dict_size, lc=3, lp=0, pb=2):
    """LZMA1's five property bytes: (pb * 5 + lp) * 9 + lc, then the dictionary size."""
    return bytes([(pb * 5 + lp) * 9 + lc]) + struct.pack("<I", dict_size)


def lzma_data(data, dict_size=1 * MIB, props=None):
    """Method 14's data: version, properties size, properties, then raw LZMA1
    (liblzma's raw encoder ends it with an end marker); `props` replaces the
    properties the data was made with."""
    filters = [{"id": lzma.FILTER_LZMA1, "dict_size": dict_size, "lc": 3, "lp": 0, "pb": 2}]
    props = props or lzma_properties(dict_size)
    raw = lzma.compress(data, format=lzma.FORMAT_RAW, filters=filters)
    return struct.pack("<BBH", 5, 4, len(props)) + props + raw


def damaged(data):
    """`data` with 50 bytes in its middle set to zero."""
    middle = len(data) // 2
    return data[:middle] + bytes(50) + data[middle + 50:]


def entry(name, data, packed, method, encrypt=False, **override):
    """A raw_zip entry holding `packed` as method `method`'s data for `data`."""
    crc = zlib.crc32(data)
    opts = {"method": method, "crc": crc, "usize": len(data), "flags": 2 if method == 14 else 0}
    if encrypt:
        packed = ZipCrypto(PASSWORD).encrypt(bytes(range(11)) + bytes([crc >> 24]) + packed)
        opts["flags"] |= 1
    opts["csize"] = len(packed)
    opts.update(override)
    return (name.encode(), packed, opts)


def xz_block_header(stream, offset, value):
    """An .xz stream with byte `offset` of its first block header set to
    `value` (the header's CRC-32 made right again). That header (flags 0: one
    filter, no sizes) holds filter id 0x21 at 2, properties size 1 at 3 and
    the LZMA2 dictionary code at 4."""
    s = bytearray(stream)
    start = 12
    size = (s[start] + 1) * 4
    header = s[start:start + size - 4]
    assert header[1] == 0 and header[2] == 0x21 and header[3] == 1, header
    header[offset] = value
    s[start:start + size] = header + struct.pack("<I", zlib.crc32(bytes(header)))
    return bytes(s)


def producers(out, files):
    """Archives by Python's zipfile and 7z; each producer's flags are checked
    so that a changed producer shows here and not as a missing case."""
    with zipfile.ZipFile(os.path.join(out, "lzma_python.zip"), "w", zipfile.ZIP_LZMA) as z:
        for name, data in files.items():
            z.writestr(zipfile.ZipInfo(name, (2022, 3, 4, 5, 6, 8)), data, compress_type=zipfile.ZIP_LZMA)
    tree = os.path.join(out, "lzma_payload")
    if shutil.which("7z") is None:
        return
    runs = [("lzma_7z.zip", ["-mm=LZMA"], 14, 2),
            ("lzma_7z_noeos.zip", ["-mm=LZMA:eos=off"], 14, 0),
            ("lzma_7z_crypt.zip", ["-mm=LZMA", "-mem=ZipCrypto", "-p" + PASSWORD.decode()], 14, 3),
            ("lzma_7z_xz.zip", ["-mm=XZ"], 95, 0)]
    for name, options, method, flags in runs:
        target = os.path.join(out, name)
        done = subprocess.run(["7z", "a", "-bd", "-bso0", "-tzip"] + options + [target, "."], cwd=tree,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if done.returncode != 0:
            # An older 7z may not write this method: the tests skip what is missing.
            if os.path.exists(target):
                os.remove(target)
            continue
        for info in zipfile.ZipFile(target).infolist():
            if info.compress_type != 0:  # tiny files are stored
                assert (info.compress_type, info.flag_bits & 3) == (method, flags), (name, info)


def written(out, files):
    """XZ entries in every form the xz tools read (each check type, a BCJ
    filter, several streams with padding) and LZMA entries, plain and
    encrypted."""
    text, mixed = files["text.txt"], files["sub/mixed.dat"]
    xz = lzma.compress
    entries = [
        entry("xz_crc64.txt", text, xz(text, check=lzma.CHECK_CRC64), 95),
        entry("xz_none.txt", text, xz(text, check=lzma.CHECK_NONE), 95, encrypt=True),
        entry("xz_crc32.dat", mixed, xz(mixed, check=lzma.CHECK_CRC32), 95, encrypt=True),
        entry("xz_sha256.dat", mixed, xz(mixed, check=lzma.CHECK_SHA256), 95),
        entry("xz_x86.dat", mixed, xz(mixed, filters=[{"id": lzma.FILTER_X86}, {"id": lzma.FILTER_LZMA2}]), 95),
        entry("xz_streams.dat", mixed,
              xz(mixed[:100000]) + bytes(8) + xz(mixed[100000:]) + bytes(4), 95, encrypt=True),
        entry("xz_empty.txt", b"", xz(b""), 95),
        entry("lzma_marker.dat", mixed, lzma_data(mixed), 14, encrypt=True),
        entry("lzma_empty.txt", b"", lzma_data(b""), 14),
        # Empty entries without any data, as deflated ones can be.
        entry("lzma_nodata.txt", b"", b"", 14),
        entry("xz_nodata.txt", b"", b"", 95, encrypt=True),
    ]
    with open(os.path.join(out, "lzma_written.zip"), "wb") as f:
        f.write(raw_zip(entries))
    # A few small entries, a seed for the reader's fuzz target.
    line = text[:3000]
    with open(os.path.join(out, "lzma_small.zip"), "wb") as f:
        f.write(raw_zip([entry("a.txt", line, lzma_data(line, dict_size=4096), 14),
                         entry("b.txt", line, xz(line, check=lzma.CHECK_CRC32), 95, encrypt=True),
                         entry("c.txt", line, lzma_data(line, dict_size=4096), 14, encrypt=True, flags=1)]))


def hostile_cases(files):
    """Damaged entries: (name, packed data, method, options) with options
    data (what the entry's CRC and size describe) and encrypt."""
    text = files["text.txt"]
    small = text[:5000]
    good_lzma = lzma_data(small)
    good_xz = lzma.compress(small)
    stream = lzma.compress(text)

    def lzma_with(new_props):
        return lzma_data(small, props=new_props)

    # The block's CRC-64 lies right before the index, whose size the footer gives.
    index_size = (struct.unpack("<I", stream[-8:-4])[0] + 1) * 4
    check = len(stream) - 12 - index_size - 8

    cases = [
        # Declared needs beyond 256 MiB: refused before anything is allocated.
        ("dict_at_limit.lzma", lzma_with(lzma_properties(256 * MIB)), 14, {}),  # accepted
        ("dict_over_limit.lzma", lzma_with(lzma_properties(256 * MIB + 1)), 14, {}),
        ("dict_4gib.lzma", lzma_with(lzma_properties(0xFFFFFFFF)), 14, {}),
        ("dict_over_limit_crypt.lzma", lzma_with(lzma_properties(512 * MIB)), 14, {"encrypt": True}),
        ("dict_over_limit.xz", xz_block_header(good_xz, 4, 37), 95, {}),  # 1.5 GiB
        # Headers and properties that are damaged or unusable.
        ("props_size_4.lzma", good_lzma[:2] + b"\4\0" + good_lzma[4:], 14, {}),
        ("props_byte_225.lzma", lzma_with(b"\xe1" + lzma_properties(MIB)[1:]), 14, {}),
        ("lc_lp_over_4.lzma", lzma_with(lzma_properties(MIB, lc=4, lp=1)), 14, {}),
        ("filter_unknown.xz", xz_block_header(good_xz, 2, 0x30), 95, {}),
        ("not_xz.xz", zlib.compress(small), 95, {}),
        # Streams that end early, are damaged, or say more than the entry.
        ("header_short.lzma", good_lzma[:6], 14, {}),
        ("truncated.lzma", lzma_data(text)[:3000], 14, {"data": text}),
        ("truncated.xz", stream[:len(stream) // 2], 95, {"data": text}),
        ("footer_missing.xz", stream[:-12], 95, {"data": text}),
        ("bad_check.xz", stream[:check] + bytes([stream[check] ^ 1]) + stream[check + 1:], 95, {"data": text}),
        ("damaged.lzma", damaged(lzma_data(text)), 14, {"data": text}),
        ("damaged.xz", damaged(stream), 95, {"data": text}),
        ("longer.xz", good_xz, 95, {"data": small[:-1]}),
        ("trailing_junk.xz", good_xz + b"junk after the stream", 95, {}),
    ]
    return cases, good_lzma, good_xz, small


def hostile_entry(case, small):
    name, packed, method, o = case
    return entry(name, o.get("data", small), packed, method, encrypt=o.get("encrypt", False))


def hostile(out, files):
    """One damaged entry after another, each followed by a good one."""
    cases, good_lzma, good_xz, small = hostile_cases(files)
    entries = []
    for case in cases:
        method = case[2]
        entries.append(hostile_entry(case, small))
        entries.append(entry("good_after_" + case[0], small, good_xz if method == 95 else good_lzma, method))
    with open(os.path.join(out, "lzma_hostile.zip"), "wb") as f:
        f.write(raw_zip(entries))


def main():
    out = os.path.join(os.path.abspath(sys.argv[1]), "zip")
    tree = os.path.join(out, "lzma_payload")
    os.makedirs(os.path.join(tree, "sub"), exist_ok=True)
    files = payload()
    for name, data in files.items():
        with open(os.path.join(tree, name), "wb") as f:
            f.write(data)
        os.utime(os.path.join(tree, name), (1646370368, 1646370368))
    producers(out, files)
    written(out, files)
    hostile(out, files)


if __name__ == "__main__":
    main()
