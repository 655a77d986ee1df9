"""Byte-exact makers of launcher files and ZIP archives for the tests:
configuration text, data block layout, traditional encryption."""

import struct
import zlib

MARKER = bytes([0x0B, 0x0B, 0xAF, 0xAF, 0x0B, 0x0B])
PASSWORD = b"Tq5HwR27_81m6_3yk52"


def config_text(title="", run="", prog="1", use_pw="0", order=None, solid=None):
    lines = {
        "Message": "<Message/>",
        "Title": f"<Title>{title}</Title>",
        "Run": f"<Run>{run}</Run>",
        "Prog": f"<Prog>{prog}</Prog>",
        "UsePW": f"<UsePW>{use_pw}</UsePW>",
    }
    keys = order or ["Message", "Title", "Run", "Prog", "UsePW"]
    body = ["<KV_ZCD>"] + [lines[k] for k in keys] + ([f"<Solid>{solid}</Solid>"] if solid else []) + ["</KV_ZCD>"]
    return ("\r\n".join(body) + "\r\n").encode()


def assemble(stub, config, archive, marker_offset=100000, declared_length=None):
    """stub image, zero padding up to the marker, marker, length, text, archive."""
    image = stub + b"\0" * max(0, marker_offset - len(stub))
    length = len(config) if declared_length is None else declared_length
    return image + MARKER + struct.pack("<I", length) + config + archive


class ZipCrypto:
    """Traditional PKWARE encryption, for making test archives."""

    def __init__(self, password):
        self.keys = [0x12345678, 0x23456789, 0x34567890]
        for b in password:
            self._update(b)

    @staticmethod
    def _crc(crc, b):
        return zlib.crc32(bytes([b]), crc ^ 0xFFFFFFFF) ^ 0xFFFFFFFF

    def _update(self, b):
        k = self.keys
        k[0] = self._crc(k[0], b)
        k[1] = (k[1] + (k[0] & 0xFF)) & 0xFFFFFFFF
        k[1] = (k[1] * 134775813 + 1) & 0xFFFFFFFF
        k[2] = self._crc(k[2], k[1] >> 24)

    def encrypt(self, data):
        out = bytearray()
        for b in data:
            t = (self.keys[2] | 2) & 0xFFFF
            out.append(b ^ (((t * (t ^ 1)) >> 8) & 0xFF))
            self._update(b)
        return bytes(out)


def unicode_path_field(raw_name, name):
    """Info-ZIP Unicode Path extra field (0x7075, version 1): the CRC-32 of the
    stored name, then the name in UTF-8."""
    body = struct.pack("<BI", 1, zlib.crc32(raw_name)) + name.encode()
    return struct.pack("<HH", 0x7075, len(body)) + body


def make_zip(entries):
    """entries: list of (name, data or None for a folder, options dict).
    options: password (bytes), bad_crc (bool); the name as stored: raw_name
    (bytes, default the name in UTF-8), host (default 3, Unix), flags (added
    to the general-purpose flags), extra (extra field, local and central).
    Deflated, or stored for folders."""
    local = bytearray()
    central = bytearray()
    for name, data, opts in entries:
        raw_name = opts.get("raw_name", name.encode())
        extra = opts.get("extra", b"")
        is_folder = data is None
        data = data or b""
        crc = zlib.crc32(data)
        if is_folder:
            method, payload = 0, b""
        else:
            c = zlib.compressobj(6, zlib.DEFLATED, -15)
            method, payload = 8, c.compress(data) + c.flush()
        flags = opts.get("flags", 0)
        password = opts.get("password")
        if password is not None and not is_folder:
            flags |= 1
            header = bytes(range(11)) + bytes([crc >> 24])
            payload = ZipCrypto(password).encrypt(header + payload)
        stored_crc = crc ^ 0x1 if opts.get("bad_crc") else crc
        dos_time, dos_date = 0x6000, 0x5A21
        offset = len(local)
        local += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, dos_time, dos_date,
                             stored_crc, len(payload), len(data), len(raw_name), len(extra)) + raw_name + extra + payload
        attributes = (0o40755 << 16) | 0x10 if is_folder else (0o100755 << 16)
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, (opts.get("host", 3) << 8) | 20, 20, flags,
                               method, dos_time, dos_date, stored_crc, len(payload), len(data),
                               len(raw_name), len(extra), 0, 0, 0, attributes, offset) + raw_name + extra
    count = len(entries)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), len(local), 0)
    return bytes(local + central + end)
