#!/usr/bin/env python3
"""Zip64 test archives: written by real producers (Info-ZIP zip -fz, Python's
zipfile with force_zip64, 7z) from a folder, and written byte by
byte with every Zip64 record in place, truthful or lying (sizes and offsets
past the end, counts that disagree, a locator pointing elsewhere, an extra
field too short for its markers).

usage: gen_zip64.py OUTDIR  -- writes the small archives below OUTDIR/zip/ as z64_*.zip
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

from ziptools import PASSWORD

MARK32 = 0xFFFFFFFF


def zip64_field(*values):
    """Zip64 extended information field (0x0001): 64-bit values in the order
    size, compressed size, local header offset."""
    body = b"".join(struct.pack("<Q", v) for v in values)
    return struct.pack("<HH", 0x0001, len(body)) + body


def zip64_archive(entries, count=None, disk_count=None, end_count=0xFFFF, directory_size=None,
                  directory_offset=None, locator=None):
    """Stored entries with every size and offset in Zip64 fields (the 32-bit
    fields hold 0xFFFFFFFF), a Zip64 end record, its locator and an end record
    whose fields point there. entries: (name bytes, data bytes, options) with
    options sizes (size, compressed size: local and central), offset (central),
    field (the central Zip64 field's bytes) and attributes. The keywords
    replace what the Zip64 end record, the end record's count and the
    locator would truthfully say."""
    local = bytearray()
    central = bytearray()
    positions = []
    for name, data, o in entries:
        usize, csize = o.get("sizes", (len(data), len(data)))
        offset = len(local)
        positions.append(offset)
        local += struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, 0x6000, 0x5A21, zlib.crc32(data),
                             MARK32, MARK32, len(name), 20) + name + zip64_field(usize, csize) + data
        field = o.get("field", zip64_field(usize, csize, o.get("offset", offset)))
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, (3 << 8) | 45, 45, 0, 0, 0x6000, 0x5A21,
                               zlib.crc32(data), MARK32, MARK32, len(name), len(field), 0, 0, 0,
                               o.get("attributes", 0o100755 << 16), MARK32) + name + field
    n = len(entries) if count is None else count
    end64_at = len(local) + len(central)
    end64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, (3 << 8) | 45, 45, 0, 0,
                        n if disk_count is None else disk_count, n,
                        len(central) if directory_size is None else directory_size,
                        len(local) if directory_offset is None else directory_offset)
    locator_record = struct.pack("<IIQI", 0x07064B50, 0, end64_at if locator is None else locator, 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, end_count, end_count, MARK32, MARK32, 0)
    return bytes(local + central) + end64 + locator_record + end, positions


def forged(entries):
    """The archive of `entries` written truthfully ("truthful"), then once for
    each lie its Zip64 records can tell: name -> archive bytes. The lies are
    told about the last entry, so that the earlier ones are sound."""
    truthful, positions = zip64_archive(entries)
    last = len(entries) - 1
    n = len(entries)

    def lie(**options):
        changed = [(name, data, dict(o, **options) if i == last else o)
                   for i, (name, data, o) in enumerate(entries)]
        return zip64_archive(changed)[0]

    size = len(entries[last][1])
    return {
        "truthful": truthful,
        "size_past_end": lie(sizes=(1 << 40, 1 << 40)),
        "size_wraps": lie(sizes=(size, (1 << 64) - 1)),
        "offset_past_end": lie(offset=1 << 40),
        "offset_wraps": lie(offset=(1 << 64) - 16),
        "field_too_short": lie(field=zip64_field(size, size)),
        "field_missing": lie(field=b""),
        "directory_offset_past_end": zip64_archive(entries, directory_offset=1 << 40)[0],
        "directory_size_past_end": zip64_archive(entries, directory_size=1 << 40)[0],
        "count_beyond_directory": zip64_archive(entries, count=1 << 62)[0],
        "count_one_more": zip64_archive(entries, count=n + 1)[0],
        "counts_disagree_with_end_record": zip64_archive(entries, end_count=n - 1)[0],
        "counts_disagree_on_disk": zip64_archive(entries, disk_count=n + 1)[0],
        "locator_into_data": zip64_archive(entries, locator=positions[last] + 40)[0],
        "locator_at_first_header": zip64_archive(entries, locator=0)[0],
        "locator_past_end": zip64_archive(entries, locator=1 << 40)[0],
        "locator_at_end_record": zip64_archive(entries, locator=len(truthful) - 22)[0],
    }


# --- real producers ---------------------------------------------------------

def tree_entries(tree):
    """(relative name, full path or None for a folder) below tree, sorted,
    folders before what they hold."""
    out = []
    for folder, subfolders, files in os.walk(tree):
        subfolders.sort()
        relative = os.path.relpath(folder, tree)
        if relative != ".":
            out.append((relative.replace(os.sep, "/") + "/", None))
        for name in sorted(files):
            path = os.path.join(folder, name)
            out.append((os.path.relpath(path, tree).replace(os.sep, "/"), path))
    return out


class _Stream(io.BytesIO):
    """An output that cannot seek: zipfile writes data descriptors."""

    def seek(self, *args):
        raise io.UnsupportedOperation("a stream")

    def seekable(self):
        return False


class ArchiveTail:
    """A file from its current position on, as an archive's output: positions
    count from that byte (an archive appended behind a launcher's stub), and
    blocks of zero bytes become holes, so that a large stored entry of a
    sparse file costs no disk time. Output that may end in zeros ends with
    truncate() on the file."""

    def __init__(self, f):
        self.f = f
        self.base = f.tell()

    def write(self, data):
        if data.count(0) == len(data):
            self.f.seek(len(data), os.SEEK_CUR)
        else:
            self.f.write(data)
        return len(data)

    def tell(self):
        return self.f.tell() - self.base

    def seek(self, position, whence=os.SEEK_SET):
        return self.f.seek(position + (self.base if whence == os.SEEK_SET else 0), whence) - self.base

    def flush(self):
        self.f.flush()


def python_zip64(tree, output, streamed=False, method=zipfile.ZIP_DEFLATED):
    """Python's zipfile, every file with force_zip64 (Zip64 fields in the local
    headers; streamed: 64-bit data descriptors), deflated or stored."""
    with zipfile.ZipFile(output, "w", method) as z:
        for name, path in tree_entries(tree):
            info = zipfile.ZipInfo(name, date_time=(2024, 2, 3, 4, 5, 6))
            if path is None:
                info.external_attr = (0o40755 << 16) | 0x10
                z.writestr(info, b"")
                continue
            info.external_attr = (os.stat(path).st_mode & 0xFFFF) << 16
            info.compress_type = method
            with open(path, "rb") as source, z.open(info, "w", force_zip64=True) as target:
                shutil.copyfileobj(source, target, 1 << 20)
    if streamed:
        return output.getvalue()
    return None


def produce(producer, tree, out):
    """Writes the archive of every file below `tree` by `producer` to `out`.
    Producers: izip_fz (zip -fz), izip_fz_crypt (zip -fz with the launcher's
    password), izip_fz_stream (zip -fz writing to a pipe: 64-bit data
    descriptors; sound only where the count or the sizes need a Zip64 end
    record, see main), python_zip64, python_zip64_stream, 7z_crypt (ZipCrypto)."""
    out = os.path.abspath(out)
    pw = PASSWORD.decode()
    shell = {
        "izip_fz": "zip -q -r -X -fz '%s' ." % out,
        "izip_fz_crypt": "zip -q -r -X -fz -e -P %s '%s' ." % (pw, out),
        "izip_fz_stream": "find . -mindepth 1 | sort | zip -q -X -fz - -@ | cat > '%s'" % out,
        "7z_crypt": "7z a -bd -bso0 -tzip -mem=ZipCrypto -p%s '%s' . > /dev/null" % (pw, out),
    }
    if producer in shell:
        subprocess.run(shell[producer], shell=True, cwd=tree, check=True)
    elif producer == "python_zip64":
        python_zip64(tree, out)
    elif producer == "python_zip64_stream":
        data = python_zip64(tree, _Stream(), streamed=True)
        with open(out, "wb") as f:
            f.write(data)
    else:
        raise ValueError(producer)


ENCRYPTED = {"izip_fz_crypt", "7z_crypt"}


def write_small_tree(root):
    files = {"readme.txt": b"Zip64 records around small files\n" * 40, "empty.txt": b"",
             "sub/data.bin": bytes(range(256)) * 300, "sub/deeper/note.txt": b"note\n"}
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)


def main(out):
    """Small Zip64 archives of every kind for the reader's tests and fuzzing."""
    out = os.path.join(out, "zip")
    tree = os.path.join(out, "z64_tree")
    os.makedirs(out, exist_ok=True)
    write_small_tree(tree)
    for producer in ("izip_fz", "izip_fz_crypt", "python_zip64", "python_zip64_stream"):
        produce(producer, tree, os.path.join(out, "z64_%s.zip" % producer))
    # Info-ZIP 3.0 streaming a small archive with -fz marks the directory
    # offset 0xFFFFFFFF in the end record but writes no Zip64 end record:
    # damaged, as unzip and 7z also find.
    produce("izip_fz_stream", tree, os.path.join(out, "z64_izip_fz_stream_unreadable.zip"))
    shutil.rmtree(tree)
    entries = [(b"a.txt", b"first entry\n" * 10, {}), (b"sub/", b"", {"attributes": (0o40755 << 16) | 0x10}),
               (b"sub/b.bin", bytes(range(256)) * 8, {})]
    for name, data in forged(entries).items():
        with open(os.path.join(out, "z64_forged_%s.zip" % name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
