#!/usr/bin/env python3
"""Test archives for the archive reader: a payload tree, archives written by
Python's zipfile, and damaged or unusual archives rewritten byte by byte.

usage: zip_forge.py payload OUT      -- writes the payload tree to OUT
       zip_forge.py archives OUTDIR  -- writes the Python-made archives
       zip_forge.py crypt OUTDIR     -- after gen_zip.sh's producers: encrypted
                                        archives with large and damaged entries
"""
import io
import os
import random
import struct
import sys
import zipfile
import zlib

PASSWORD = b"Tq5HwR27_81m6_3yk52"


def payload(root):
    rnd = random.Random(4711)
    os.makedirs(os.path.join(root, "docs", "sub"), exist_ok=True)
    os.makedirs(os.path.join(root, "bin"), exist_ok=True)
    os.makedirs(os.path.join(root, "emptydir"), exist_ok=True)
    lines = "".join("line %05d: the quick brown fox jumps over the lazy dog\n" % i
                    for i in range(200))
    files = {
        "readme.txt": lines.encode(),
        "empty.txt": b"",
        "docs/sub/deep.txt": b"deep inside\n" * 37,
        "bin/random.bin": bytes(rnd.getrandbits(8) for _ in range(100000)),
        # Exactly two 64 KiB buffers.
        "bin/exact.bin": (bytes(rnd.getrandbits(8) for _ in range(30000))
                          + lines.encode() * 12)[:131072],
    }
    mixed = bytearray()
    while len(mixed) < 1 << 20:
        kind = rnd.randrange(3)
        n = rnd.randrange(1000, 40000)
        if kind == 0:
            mixed += bytes(rnd.getrandbits(8) for _ in range(n))
        elif kind == 1:
            mixed += bytes(n)
        else:
            mixed += (lines.encode() * (n // len(lines) + 1))[:n]
    files["bin/mixed.dat"] = bytes(mixed[:1 << 20])
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)


# --- helpers to take an archive apart and put it together again ---------

def parse(data):
    """Returns (locals region bytes, list of central header byte strings,
    end record fields, comment)."""
    pos = data.rfind(b"PK\x05\x06")
    (sig, this_disk, dir_disk, n_this, n_total, dsize, doff,
     clen) = struct.unpack("<IHHHHIIH", data[pos:pos + 22])
    centrals = []
    p = doff
    for _ in range(n_total):
        n, m, k = struct.unpack("<HHH", data[p + 28:p + 34])
        size = 46 + n + m + k
        centrals.append(bytearray(data[p:p + size]))
        p += size
    return bytearray(data[:doff]), centrals, data[pos + 22:pos + 22 + clen]


def build(locals_region, centrals, comment=b"", count=None):
    directory = b"".join(bytes(c) for c in centrals)
    n = len(centrals) if count is None else count
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, n, n, len(directory),
                      len(locals_region), len(comment))
    return bytes(locals_region) + directory + end + comment


def local_offset(central):
    return struct.unpack("<I", central[42:46])[0]


def central_name(central):
    n = struct.unpack("<H", central[28:30])[0]
    return bytes(central[46:46 + n])


def pyzip(entries, method=zipfile.ZIP_DEFLATED, comment=b""):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", method) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=(2021, 6, 15, 13, 45, 30))
            info.compress_type = method
            if name.endswith("/"):
                info.external_attr = (0o40755 << 16) | 0x10
            else:
                info.external_attr = 0o644 << 16
            z.writestr(info, data)
        z.comment = comment
    return buf.getvalue()


SMALL = [("a.txt", b"alpha\n" * 100), ("b.txt", b"bravo\n" * 50),
         ("c.txt", b"charlie\n" * 20)]


def with_descriptors(entries, signature, bad_descriptor=False):
    """Deflated entries with flag bit 3: zeroed sizes in the local header and a
    data descriptor (with or without its signature) behind the data."""
    out = bytearray()
    centrals = []
    for name, data in entries:
        name = name.encode()
        co = zlib.compressobj(6, zlib.DEFLATED, -15)
        packed = co.compress(data) + co.flush()
        crc = zlib.crc32(data)
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 8, 8, 0x6000, 0x5000,
                           0, 0, 0, len(name), 0) + name + packed
        if signature:
            out += struct.pack("<I", 0x08074B50)
        out += struct.pack("<III", crc ^ (1 if bad_descriptor else 0), len(packed), len(data))
        centrals.append(bytearray(struct.pack(
            "<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 8, 8, 0x6000, 0x5000, crc,
            len(packed), len(data), len(name), 0, 0, 0, 0, 0o644 << 16, offset) + name))
    return build(out, centrals)


def raw_zip(entries, this_disk=0):
    """Entries written exactly as given: (name bytes, data bytes, options) with
    options method (0), compressed size, uncompressed size, crc, host,
    external attributes, disk, flags, extra (extra field, local and central)
    and descriptor (bytes behind the data)."""
    out = bytearray()
    centrals = []
    for name, data, o in entries:
        crc = o.get("crc", zlib.crc32(data))
        csize = o.get("csize", len(data))
        usize = o.get("usize", len(data))
        flags = o.get("flags", 0)
        method = o.get("method", 0)
        extra = o.get("extra", b"")
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, 0x6000, 0x5000,
                           crc, csize, usize, len(name), len(extra)) + name + extra + data \
            + o.get("descriptor", b"")
        centrals.append(bytearray(struct.pack(
            "<IHHHHHHIIIHHHHHII", 0x02014B50, (o.get("host", 3) << 8) | 20, 20, flags, method,
            0x6000, 0x5000, crc, csize, usize, len(name), len(extra), 0, o.get("disk", 0), 0,
            o.get("attributes", 0o100644 << 16), offset) + name + extra))
    directory = b"".join(bytes(c) for c in centrals)
    n = len(centrals)
    return bytes(out) + directory + struct.pack("<IHHHHIIH", 0x06054B50, this_disk, this_disk,
                                                n, n, len(directory), len(out), 0)


def hardening(put):
    """Archives that once crashed, hung or escaped the reader."""
    # A Zip64 data descriptor (8-byte sizes) cannot agree with the record.
    text = b"descriptor\n" * 20
    co = zlib.compressobj(6, zlib.DEFLATED, -15)
    packed = co.compress(text) + co.flush()
    crc = zlib.crc32(text)
    put("descriptor_zip64.zip", raw_zip([(b"d.txt", packed, {
        "method": 8, "flags": 8, "crc": crc, "csize": len(packed), "usize": len(text),
        "descriptor": struct.pack("<IIQQ", 0x08074B50, crc, len(packed), len(text))})]))
    # An entry that declares 3 GiB and holds 200 bytes.
    put("declares_3gib.zip", raw_zip([(b"big.bin", packed, {
        "method": 8, "crc": crc, "csize": len(packed), "usize": 3 << 30})]))
    # A stored entry whose compressed size exceeds its size by more than the
    # reader's 64 KiB input buffer.
    put("stored_oversized.zip", raw_zip([(b"z.bin", bytes(66000), {"usize": 0, "crc": 0})]))
    # Names that are the target folder or its parent, as folders with mode 0777.
    wide_open = (0o40777 << 16) | 0x10
    for tag, name in (("dot_slash", b"./"), ("dot", b"."), ("empty", b""),
                      ("dotdot_zero", b"..\0/"), ("zero_inside", b"a\0b/")):
        put("name_%s.zip" % tag, raw_zip([(name, b"", {"attributes": wide_open}),
                                          (b"ok.txt", b"fine\n", {})]))
    put("name_dot_file.zip", raw_zip([(b".", b"a file named dot\n", {})]))
    # Entry 0's data reaches into entry 1's local header.
    overlap = bytearray(raw_zip([(b"a.txt", b"a" * 50, {}), (b"b.txt", b"b" * 50, {})]))
    _, cen, _ = parse(bytes(overlap))
    cen[0][20:24] = struct.pack("<I", 60)
    cen[0][24:28] = struct.pack("<I", 60)
    put("overlap.zip", build(bytearray(overlap[:len(overlap) - sum(map(len, cen)) - 22]), cen))
    # Split archives: the end record or an entry on another volume.
    put("split_end.zip", raw_zip([(b"a.txt", b"a\n", {})], this_disk=1))
    put("split_entry.zip", raw_zip([(b"a.txt", b"a\n", {"disk": 1})]))
    # Names Windows would not create as written.
    for tag, name in (("device", b"con"), ("device_ext", b"sub/NUL.txt"), ("com", b"com1.log"),
                      ("stream", b"a.txt:hidden"), ("trailing_dot", b"dir./x.txt"),
                      ("trailing_blank", b"b.txt "), ("trailing_dot_file", b"dot.")):
        put("winname_%s.zip" % tag, raw_zip([(name, b"windows\n", {"host": 0, "attributes": 0x20})]))


def unicode_path_field(stored_name, utf8_name, crc=None):
    """Info-ZIP Unicode Path extra field (0x7075, version 1)."""
    body = struct.pack("<BI", 1, zlib.crc32(stored_name) if crc is None else crc) + utf8_name
    return struct.pack("<HH", 0x7075, len(body)) + body



def archives(out):
    os.makedirs(out, exist_ok=True)

    def put(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    # Plain producers.
    tree = [("dir/", b""), ("dir/inner.txt", b"inner text\n" * 300),
            ("empty.bin", b""), ("top.txt", b"top level\n" * 1000)]
    put("py_stored.zip", pyzip(tree, zipfile.ZIP_STORED))
    put("py_deflated.zip", pyzip(tree, zipfile.ZIP_DEFLATED))
    put("py_empty_archive.zip", pyzip([]))

    # End-record search edges.
    put("comment_max.zip", pyzip(SMALL, comment=b"c" * 65535))
    put("comment_too_far.zip", pyzip(SMALL, comment=b"c" * 65535) + b"x")
    # Signature straddling the boundary between the first two 32 KiB windows.
    put("comment_straddle.zip", pyzip(SMALL, comment=b"s" * 32748))
    # A comment holding a complete, empty end record: the search stops there.
    fake_end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, 0, 0)
    put("comment_with_end.zip", pyzip(SMALL, comment=b"note " + fake_end + b" tail"))

    base = pyzip(SMALL)
    locals_region, centrals, _ = parse(base)

    # Central order different from local order.
    put("reordered.zip", build(locals_region, [centrals[2], centrals[0], centrals[1]]))

    # Two central headers naming the same local header.
    put("duplicate_offset.zip", build(locals_region, [centrals[0], centrals[1], bytes(centrals[1])]))

    # Zero entries but a non-zero directory size.
    fake = build(locals_region, centrals)
    end_pos = fake.rfind(b"PK\x05\x06")
    fake = bytearray(fake)
    fake[end_pos + 8:end_pos + 12] = b"\0\0\0\0"
    put("zero_entries_nonzero_size.zip", bytes(fake))

    # Local flags differing from central ones in bits 4-15 (accepted) and 0-3.
    for tag, bits in (("flags_high", 0x0800 | 0x0040), ("flags_low", 0x0004)):
        loc = bytearray(locals_region)
        off = local_offset(centrals[0])
        flags = struct.unpack("<H", loc[off + 6:off + 8])[0] ^ bits
        loc[off + 6:off + 8] = struct.pack("<H", flags)
        put(tag + ".zip", build(loc, centrals))

    # Local name of the same length but other bytes: accepted.
    loc = bytearray(locals_region)
    off = local_offset(centrals[0])
    loc[off + 30:off + 35] = b"X.TXT"
    put("local_name_differs.zip", build(loc, centrals))

    # Local method 12 in both headers: refused when the entry is opened.
    loc = bytearray(locals_region)
    cen = [bytearray(c) for c in centrals]
    loc[off + 8:off + 10] = struct.pack("<H", 12)
    cen[0][10:12] = struct.pack("<H", 12)
    put("method_12.zip", build(loc, cen))

    # Wrong CRC in both headers: the data extracts, the check fails.
    loc = bytearray(locals_region)
    cen = [bytearray(c) for c in centrals]
    bad = struct.pack("<I", struct.unpack("<I", cen[0][16:20])[0] ^ 0x1)
    loc[off + 14:off + 18] = bad
    cen[0][16:20] = bad
    put("bad_crc.zip", build(loc, cen))

    # Stored entry whose compressed size is smaller than its size.
    st = pyzip([("short.txt", b"0123456789" * 100)], zipfile.ZIP_STORED)
    loc, cen, _ = parse(st)
    cen[0][20:24] = struct.pack("<I", 400)
    loc[18:22] = struct.pack("<I", 400)
    put("stored_short.zip", build(loc, cen))

    # Deflated data damaged in the middle.
    loc = bytearray(locals_region)
    n, m = struct.unpack("<HH", loc[off + 26:off + 30])
    data_at = off + 30 + n + m
    loc[data_at] |= 0x06  # block type 3 does not exist
    put("bad_deflate.zip", build(loc, centrals))

    # Truncated: the end record is gone.
    put("truncated.zip", base[:len(base) - 30])
    put("empty_file.zip", b"")

    # The same archive behind 1000 bytes of other data.
    put("behind_1000.zip", bytes(range(250)) * 4 + base)

    # Host systems and their attributes.
    hosts = [
        ("h0_dir/", 0, 0x10), ("h0_file.txt", 0, 0x21),
        ("h3_dir/", 3, 0x41ED0000), ("h3_file.txt", 3, 0x81A40000),
        ("h3_ro.txt", 3, 0x81240000), ("h3_exec.sh", 3, 0x81ED0000),
        ("h7_file.txt", 7, 0xFFFF), ("h11_file.txt", 11, 0x21),
        ("h19_file.txt", 19, 0x21), ("h19_dir/", 19, 0),
        ("h0_zero_dir/", 0, 0), ("h0_zero", 0, 0),
        ("h3_filemode_dir/", 3, 0x81A40000), ("h0_archive_dir/", 0, 0x20),
    ]
    hz = pyzip([(n, b"" if n.endswith("/") else n.encode()) for n, _, _ in hosts])
    loc, cen, _ = parse(hz)
    for c, (_, host, attr) in zip(cen, hosts):
        c[4:6] = struct.pack("<BB", 20, host)
        c[38:42] = struct.pack("<I", attr)
    put("hosts.zip", build(loc, cen))

    # OEM names: bytes 0x81 0x84 (CP437 u-umlaut, a-umlaut) from host 0 and 11.
    oem_name = b"gr\x81\x84e.txt"
    ox = pyzip([("grXXe.txt", b"host 0\n"), ("grYYe.txt", b"host 11\n")])
    loc, cen, _ = parse(ox)
    for c, host in zip(cen, (0, 11)):
        c[4:6] = struct.pack("<BB", 20, host)
        c[46:46 + len(oem_name)] = oem_name
        o = local_offset(c)
        loc[o + 30:o + 30 + len(oem_name)] = oem_name
    put("oem_names.zip", build(loc, cen))

    # Every form of entry name: UTF-8 declared by bit 11, a Unicode Path
    # field (matching and stale), CP437 from host 0, raw bytes from host 3.
    oem = b"Gr\x81\xe1e ??.txt"
    put("name_forms.zip", raw_zip([
        ("bit11 \u00e9\u65e5.txt".encode(), b"0", {"flags": 0x800, "host": 0}),
        (oem, b"1", {"host": 0, "extra": unicode_path_field(oem, "Gr\u00fc\u00dfe \u65e5\u672c.txt".encode())}),
        (oem.replace(b"??", b"!!"), b"2", {"host": 0, "extra": unicode_path_field(b"other", b"stale.txt")}),
        (b"dos \x84\xc9.txt", b"3", {"host": 0}),
        ("raw \u00e9\U0001F600.txt".encode(), b"4", {}),
        (b"bad \xff.txt", b"5", {"flags": 0x800}),
        (b"latin \xe9.txt", b"6", {}),
    ]))

    put("descriptor_sig.zip", with_descriptors(SMALL, True))
    put("descriptor_nosig.zip", with_descriptors(SMALL, False))
    put("descriptor_bad.zip", with_descriptors(SMALL[:1], False, bad_descriptor=True))

    # Entries whose targets leave the target folder.
    put("slip_dotdot.zip", pyzip([("ok.txt", b"fine\n"), ("../evil.txt", b"evil\n")]))
    put("slip_inner.zip", pyzip([("a/../../evil.txt", b"evil\n")]))
    put("slip_backslash.zip", pyzip([("a\\..\\..\\evil.txt", b"evil\n")]))
    put("slip_absolute.zip", pyzip([("/tmp/kvsfx_evil.txt", b"evil\n")]))
    put("slip_drive.zip", pyzip([("C:\\x\\y.txt", b"drive\n")]))
    put("dotdot_name.zip", pyzip([("a/..b/c..txt", b"dots\n")]))
    hardening(put)


def crypt(out):
    """Encrypted entries of several 64 KiB chunks: written by the test
    encryptor (one with a wrong CRC), and copies of Info-ZIP's encrypted
    archives with one byte of their largest entry's data changed."""
    import ziptools
    with open(os.path.join(out, "payload", "bin", "mixed.dat"), "rb") as f:
        mixed = f.read()
    rnd = random.Random(99)
    noise = bytes(rnd.getrandbits(8) for _ in range(330000))
    with open(os.path.join(out, "py_crypt.zip"), "wb") as f:
        f.write(ziptools.make_zip([
            ("mixed.dat", mixed, {"password": PASSWORD}),
            ("bad_crc.bin", noise, {"password": PASSWORD, "bad_crc": True}),
            ("small.txt", b"small\n" * 10, {"password": PASSWORD}),
        ]))
    # Compressed data that goes on for 300,000 bytes after the deflate
    # stream's end, then a data descriptor: a reader finds the descriptor only
    # when it steps over exactly those bytes.
    text = mixed[:200000]
    co = zlib.compressobj(6, zlib.DEFLATED, -15)
    packed = co.compress(text) + co.flush() + bytes(rnd.getrandbits(8) for _ in range(300000))
    crc = zlib.crc32(text)
    cipher = ziptools.ZipCrypto(PASSWORD).encrypt(bytes(11) + bytes([0x60]) + packed)
    with open(os.path.join(out, "crypt_trailing.zip"), "wb") as f:
        f.write(raw_zip([(b"trailing.bin", cipher, {
            "method": 8, "flags": 9, "crc": crc, "csize": len(cipher), "usize": len(text),
            "descriptor": struct.pack("<IIII", 0x08074B50, crc, len(cipher), len(text))}),
            (b"after.txt", b"after\n", {})]))
    # Many small encrypted entries, which are decrypted ahead long before the
    # reader reaches them; the second copy has one byte of its eleventh
    # entry's data changed, right after ten good ones.
    many = ziptools.make_zip([
        (f"many/part{i:02d}.bin", noise[i * 7000:i * 7000 + 3000] + mixed[i * 5000:i * 5000 + 6000],
         {"password": PASSWORD}) for i in range(24)])
    with open(os.path.join(out, "crypt_many.zip"), "wb") as f:
        f.write(many)
    locals_region, centrals, comment = parse(many)
    off = local_offset(centrals[10])
    n, m = struct.unpack("<HH", locals_region[off + 26:off + 30])
    locals_region[off + 30 + n + m + 40] ^= 0x55
    with open(os.path.join(out, "crypt_many_bad.zip"), "wb") as f:
        f.write(build(locals_region, centrals, comment))
    for source, target in (("izip_crypt.zip", "crypt_bad_data.zip"),
                           ("izip_crypt_stored.zip", "crypt_stored_bad_data.zip")):
        with open(os.path.join(out, source), "rb") as f:
            locals_region, centrals, comment = parse(f.read())
        big = max(centrals, key=lambda c: struct.unpack("<I", c[20:24])[0])
        off = local_offset(big)
        n, m = struct.unpack("<HH", locals_region[off + 26:off + 30])
        locals_region[off + 30 + n + m + struct.unpack("<I", big[20:24])[0] // 2] ^= 0x55
        with open(os.path.join(out, target), "wb") as f:
            f.write(build(locals_region, centrals, comment))


if __name__ == "__main__":
    if sys.argv[1] == "payload":
        payload(sys.argv[2])
    elif sys.argv[1] == "crypt":
        crypt(sys.argv[2])
    else:
        archives(sys.argv[2])
