"""Byte-exact makers of .xz streams and tar members for the solid payload
tests: one LZMA2 block (from Python's raw encoder) in a stream whose every
field the test may set, so that damaged and hostile streams can be made."""

import lzma
import os
import struct
import tempfile
import zlib


def vli(n):
    out = bytearray()
    while n >= 0x80:
        out.append((n & 0x7F) | 0x80)
        n >>= 7
    out.append(n)
    return bytes(out)


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def dict_prop(size):
    """The LZMA2 property byte of the smallest dictionary holding `size`."""
    for p in range(41):
        d = (2 | (p & 1)) << (p // 2 + 11)
        if d >= size:
            return p
    return 40


def xz_stream(data, check=1, declare_sizes=True, dict_size=1 << 20, bad_check=False, prop=None):
    """One stream of one block holding `data`. check: 0 none, 1 CRC-32."""
    raw = lzma.compress(data, format=lzma.FORMAT_RAW,
                        filters=[{"id": lzma.FILTER_LZMA2, "dict_size": max(dict_size, 4096), "preset": 6}])
    crc = zlib.crc32(data) ^ (1 if bad_check else 0)
    return xz_container(raw, len(data), crc, check, declare_sizes, dict_size, prop)


def xz_part_of_files(files, out, chunk=1 << 20):
    """Writes to `out` (a file open for writing) one stream of one block
    holding a tar of `files` ((name, path, mode) each), compressed with the
    fastest preset a chunk at a time: for files larger than memory."""
    encoder = lzma.LZMACompressor(format=lzma.FORMAT_RAW, filters=[{"id": lzma.FILTER_LZMA2, "preset": 0}])
    raw = tempfile.TemporaryFile()
    crc = total = 0

    def put(data):
        nonlocal crc, total
        crc = zlib.crc32(data, crc)
        total += len(data)
        raw.write(encoder.compress(data))
    for name, path, mode in files:
        size = os.path.getsize(path)
        put(tar_member(name, size=size, mode=mode)[:512])
        with open(path, "rb") as f:
            while True:
                block = f.read(chunk)
                if not block:
                    break
                put(block)
        put(b"\0" * (-size % 512))
    put(tar_end())
    raw.write(encoder.flush())
    raw_size = raw.tell()
    raw.seek(0)
    head, tail = xz_container(None, total, crc, 1, True, 1 << 20, None, raw_size)
    out.write(head)
    while True:
        block = raw.read(chunk)
        if not block:
            break
        out.write(block)
    out.write(tail)


def xz_container(raw, size, crc, check, declare_sizes, dict_size, prop, raw_size=None):
    """The stream around `raw` (LZMA2 data of `size` bytes whose CRC-32 is
    `crc`); with raw None, the bytes before and after raw_size bytes of it."""
    raw_size = len(raw) if raw is not None else raw_size
    flags = bytes([0, check])
    header = b"\xfd7zXZ\0" + flags + struct.pack("<I", zlib.crc32(flags))
    block_flags = (0xC0 if declare_sizes else 0) | 0  # one filter
    fields = bytes([block_flags])
    if declare_sizes:
        fields += vli(raw_size) + vli(size)
    fields += vli(0x21) + vli(1) + bytes([dict_prop(dict_size) if prop is None else prop])
    header_size = 1 + len(fields) + 4
    header_size += -header_size % 4
    body = bytes([header_size // 4 - 1]) + fields
    body += b"\0" * (header_size - 4 - len(body))
    block_header = body + struct.pack("<I", zlib.crc32(body))
    check_value = struct.pack("<I", crc) if check == 1 else b""
    unpadded = len(block_header) + raw_size + len(check_value)
    index = b"\0" + vli(1) + vli(unpadded) + vli(size)
    index = pad4(index)
    index += struct.pack("<I", zlib.crc32(index))
    backward = struct.pack("<I", len(index) // 4 - 1) + flags
    footer = struct.pack("<I", zlib.crc32(backward)) + backward + b"YZ"
    tail = b"\0" * (-raw_size % 4) + check_value + index + footer
    if raw is None:
        return header + block_header, tail
    return header + block_header + raw + tail


def tar_member(name, data=b"", type_=b"0", mode=0o644, size=None, bad_checksum=False):
    """One ustar member: header, data, padding."""
    size = len(data) if size is None else size
    h = bytearray(512)
    h[0:len(name)] = name.encode()[:100]
    h[100:108] = b"%07o\0" % mode
    h[108:116] = b"0000000\0"
    h[116:124] = b"0000000\0"
    h[124:136] = b"%011o\0" % size
    h[136:148] = b"%011o\0" % 1700000000
    h[156:157] = type_
    h[257:263] = b"ustar\0"
    h[263:265] = b"00"
    h[148:156] = b" " * 8
    checksum = sum(h) + (1 if bad_checksum else 0)
    h[148:156] = b"%06o\0 " % checksum
    return bytes(h) + data + b"\0" * (-len(data) % 512)


def tar_end():
    return b"\0" * 1024
