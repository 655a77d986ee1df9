#!/usr/bin/env python3
"""Branding the Windows launcher with kvsfx-pack: --icon, --version-info and
--elevate. The result is read back with independent tools (icoutils'
wrestool, Python's pefile), run under Wine with its progress window (a
screenshot goes to $KVSFX_SHOTS), signed and verified with osslsigncode and
run again. Damaged icon files and a stub that is not a Windows program are
refused without an output file."""

import argparse
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

import pefile

OPTIONS = None
PASSWORD = b"Tq5HwR27_81m6_3yk52"
TITLE = "kvsfx Branding Test"
VERSION = {
    "CompanyName": "Example Software Ltd",
    "FileDescription": "Example Setup",
    "FileVersion": "2.3.4.5",
    "ProductName": "Example Product \u00e9",
    "ProductVersion": "2.3",
    "LegalCopyright": "(c) 2026 Example",
}


def native(path):
    return "Z:" + path.replace("/", "\\")


def runner():
    return OPTIONS.runner.split()


def shot(name):
    folder = os.environ.get("KVSFX_SHOTS")
    if folder:
        subprocess.run(["import", "-window", "root", os.path.join(folder, name + ".png")],
                       capture_output=True, timeout=60)


def bitmap_image(size, colour):
    """A 32-bit icon bitmap: BITMAPINFOHEADER (double height), pixels, AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytes(colour) * (size * size)
    mask = b"\0" * (((size + 31) // 32) * 4 * size)
    return header + pixels + mask


def png_image(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes([y % 256, 80, 200, 255] * size) for y in range(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def ico_file(images):
    """images: list of (width byte, height byte, bit count, data)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for width, height, bits, data in images:
        out += struct.pack("<BBBBHHII", width, height, 0, 0, 1, bits, len(data), offset + len(body))
        body += data
    return out + body


def ico_images(data):
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        width, height, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images.append((width, height, bits, data[offset:offset + size]))
    return images


class Branding(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        base = "/dev/shm" if os.path.isdir("/dev/shm") else None
        cls.root = tempfile.mkdtemp(prefix="kvsfx-brand-", dir=base)
        cls.images = [(16, 16, 32, bitmap_image(16, (0, 0, 255, 255))),
                      (48, 48, 32, bitmap_image(48, (0, 160, 0, 255))),
                      (0, 0, 32, png_image(256))]
        cls.ico = os.path.join(cls.root, "brand.ico")
        with open(cls.ico, "wb") as f:
            f.write(ico_file(cls.images))
        cls.payload = os.path.join(cls.root, "payload")
        os.mkdir(cls.payload)
        shutil.copy(OPTIONS.probe, os.path.join(cls.payload, "gui_probe.exe"))
        with open(os.path.join(cls.payload, "data.bin"), "wb") as f:
            f.write(os.urandom(12 << 20))  # long enough to see the window
        cls.branded = os.path.join(cls.root, "branded.exe")
        version = [a for key, value in VERSION.items() for a in ("--version-info", key + "=" + value)]
        result = cls.pack("--icon", native(cls.ico), *version, "--elevate", "-o", native(cls.branded))
        if result.returncode != 0:
            shutil.rmtree(cls.root, ignore_errors=True)
            raise AssertionError(result.stdout + result.stderr)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    @classmethod
    def pack(cls, *options, stub=None):
        return subprocess.run(runner() + [OPTIONS.pack, "--stub", native(stub or OPTIONS.stub), "--level", "1",
                                          "--title", TITLE, "--run", "gui_probe.exe", "-C", native(cls.payload),
                                          *options], capture_output=True, text=True, errors="replace",
                              timeout=600)

    def test_independent_tools_read_icon_version_and_manifest(self):
        extracted = subprocess.run(["wrestool", "-x", "--type=14", "--name=128", self.branded],
                                   capture_output=True, check=True).stdout
        self.assertEqual([image[3] for image in ico_images(extracted)], [image[3] for image in self.images])
        self.assertEqual([image[:3] for image in ico_images(extracted)], [image[:3] for image in self.images])

        pe = pefile.PE(self.branded)
        strings = {}
        for info in pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                for table in info.StringTable:
                    strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        for key, value in VERSION.items():
            self.assertEqual(strings[key], value)
        self.assertEqual(strings["OriginalFilename"], "kvsfx.exe")  # not given: the stub's
        fixed = pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x20003, 0x40005))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x20003, 0))

        manifest = None
        for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
            if kind.id == 24:
                entry = kind.directory.entries[0].directory.entries[0].data.struct
                manifest = pe.get_data(entry.OffsetToData, entry.Size).decode()
        self.assertIn('level="requireAdministrator"', manifest)
        self.assertIn("Microsoft.Windows.Common-Controls", manifest)
        self.assertIn("supportedOS", manifest)

        # A valid image: checksum over the whole file, SizeOfImage, the
        # resource directory inside its section.
        self.assertEqual(pe.OPTIONAL_HEADER.CheckSum, pe.generate_checksum())
        last = max(pe.sections, key=lambda s: s.VirtualAddress)
        align = pe.OPTIONAL_HEADER.SectionAlignment
        self.assertEqual(pe.OPTIONAL_HEADER.SizeOfImage,
                         (last.VirtualAddress + max(last.Misc_VirtualSize, 1) + align - 1) // align * align)
        directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2]
        holder = pe.get_section_by_rva(directory.VirtualAddress)
        self.assertLessEqual(directory.VirtualAddress + directory.Size,
                             holder.VirtualAddress + holder.Misc_VirtualSize)
        self.assertEqual(holder.PointerToRawData % pe.OPTIONAL_HEADER.FileAlignment, 0)

    def test_branded_stub_is_branded_again_in_place(self):
        # The first branding adds the resources as the last section; a stub
        # cut from that file gets its last section rewritten instead.
        with open(self.branded, "rb") as f:
            data = f.read()
        stub = os.path.join(self.root, "branded-stub.exe")
        with open(stub, "wb") as f:
            f.write(data[:data.find(bytes([0x0B, 0x0B, 0xAF, 0xAF, 0x0B, 0x0B]), 100000)])
        icon = (32, 32, 32, bitmap_image(32, (200, 0, 0, 255)))
        ico = os.path.join(self.root, "again.ico")
        with open(ico, "wb") as f:
            f.write(ico_file([icon]))
        again = os.path.join(self.root, "again.exe")
        result = self.pack("--icon", native(ico), "-o", native(again), stub=stub)
        self.assertEqual(result.returncode, 0, result.stderr)
        first, second = pefile.PE(self.branded), pefile.PE(again)
        self.assertEqual(len(second.sections), len(first.sections))
        self.assertEqual(second.OPTIONAL_HEADER.CheckSum, second.generate_checksum())
        extracted = subprocess.run(["wrestool", "-x", "--type=14", "--name=128", again],
                                   capture_output=True, check=True).stdout
        self.assertEqual(ico_images(extracted), [icon])
        self.assertEqual(second.VS_FIXEDFILEINFO[0].FileVersionMS, 0x20003)

    def test_info_shows_branding_and_payload_is_intact(self):
        result = subprocess.run(runner() + [OPTIONS.pack, "--info", native(self.branded)],
                                capture_output=True, text=True, encoding="utf-8", timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr)
        info = result.stdout.replace("\r\n", "\n")
        self.assertIn("Icon:          16x16 32-bit, 48x48 32-bit, 256x256 32-bit PNG", info)
        self.assertIn("Version:       2.3.4.5", info)
        self.assertIn("  CompanyName: Example Software Ltd", info)
        self.assertIn("Execution:     requireAdministrator", info)
        # The archive behind the block is the payload, byte for byte.
        import zipfile
        with open(self.branded, "rb") as f:
            data = f.read()
        marker = data.find(bytes([0x0B, 0x0B, 0xAF, 0xAF, 0x0B, 0x0B]), 100000)
        self.assertGreaterEqual(marker, 100000)
        self.assertLessEqual(marker, 100000 + 1048576 - 6)
        length = struct.unpack_from("<I", data, marker + 6)[0]
        archive = zipfile.ZipFile(io.BytesIO(data[marker + 10 + length:]))
        for name in ("gui_probe.exe", "data.bin"):
            with open(os.path.join(self.payload, name), "rb") as f:
                self.assertEqual(archive.read(name, pwd=PASSWORD), f.read(), name)

    def run_launcher(self, launcher, *args, window=False):
        temp = tempfile.mkdtemp(prefix="temp-", dir=self.root)
        report = os.path.join(self.root, "probe.txt")
        if os.path.exists(report):
            os.remove(report)
        env = dict(os.environ, KVSFX_PROBE_OUT=native(report), KVSFX_PROBE_CAPTION=TITLE, KVSFX_PROBE_HOLD_MS="0")
        process = subprocess.Popen(runner() + [launcher, *args, "/T:" + native(temp)], env=env, cwd=self.root,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        try:
            if window:
                found = None
                deadline = time.monotonic() + 120
                while found is None and time.monotonic() < deadline and process.poll() is None:
                    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % TITLE],
                                         capture_output=True, text=True).stdout.split()
                    found = out[0] if out else None
                    time.sleep(0.1)
                self.assertIsNotNone(found, "the progress window did not appear")
                shot("branded_progress_window")
            out, _ = process.communicate(timeout=300)
        finally:
            if process.poll() is None:
                process.kill()
                process.communicate()
        self.assertEqual(process.returncode, 0, out)
        self.assertEqual(os.listdir(temp), [], "work folder left behind")
        with open(report) as f:
            lines = f.read().splitlines()
        self.assertIn("started", lines)
        self.assertTrue(any(l.startswith("cwd ") and "kv_ext_temp_" in l for l in lines), lines)

    def test_branded_launcher_runs_with_its_progress_window(self):
        self.run_launcher(self.branded, window=True)

    def test_signed_branded_launcher_verifies_and_runs(self):
        key, cert = os.path.join(self.root, "key.pem"), os.path.join(self.root, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=kvsfx branding test"], check=True, capture_output=True)
        signed = os.path.join(self.root, "signed.exe")
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Example Setup",
                        "-in", self.branded, "-out", signed], check=True, capture_output=True)
        verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed],
                                capture_output=True, text=True)
        self.assertEqual(verify.returncode, 0, verify.stdout + verify.stderr)
        self.run_launcher(signed, "/S")

    def test_damaged_icons_and_linux_stubs_are_refused_without_output(self):
        good = self.images[0]
        header = struct.pack("<HHH", 0, 1, 1)
        cases = {
            "no images": (struct.pack("<HHH", 0, 1, 0), 1, "holds no images"),
            "truncated": (ico_file([good])[:-100], 1, "beyond the file"),
            "huge": (header + struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, 0xFFFFFFF0, 22) + good[3], 1,
                     "beyond the file"),
        }
        for name, (data, code, message) in cases.items():
            with self.subTest(name=name):
                ico = os.path.join(self.root, name + ".ico")
                with open(ico, "wb") as f:
                    f.write(data)
                out = os.path.join(self.root, name + ".exe")
                result = self.pack("--icon", native(ico), "-o", native(out))
                self.assertEqual(result.returncode, code, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(out))
        linux_stub = os.path.join(self.root, "kvsfx")
        with open(linux_stub, "wb") as f:
            f.write(b"\x7fELF" + b"\0" * 4000)
        out = os.path.join(self.root, "linux-launcher")
        result = self.pack("--elevate", "-o", native(out), stub=linux_stub)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("Windows stub only", result.stderr)
        self.assertFalse(os.path.exists(out))
        self.assertEqual(sorted(f for f in os.listdir(self.root) if f.endswith(".tmp0")), [])


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--runner", required=True)
    parser.add_argument("--stub", required=True)
    parser.add_argument("--pack", required=True)
    parser.add_argument("--probe", required=True)
    OPTIONS, rest = parser.parse_known_args()
    if subprocess.run(runner() + [OPTIONS.pack, "--help"], capture_output=True).returncode == 77:
        print("the Windows programs of this build cannot run here; skipped")
        sys.exit(77)
    for tool in ("wrestool", "osslsigncode", "openssl", "xdotool"):
        if not shutil.which(tool):
            print(tool + " is not installed; skipped")
            sys.exit(77)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
