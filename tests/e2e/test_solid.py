#!/usr/bin/env python3
"""End-to-end tests of solid payloads: kvsfx-pack --solid trees (one part and
several, decoded on several processors) run by the launcher, whose started
program (unicode_probe) reports every file with its CRC-32; the parts read by
standard tools; and hostile streams, each refused with its reason, the program
not started and nothing left behind. Class LargeSolid (run as a test of its
own, label large) packs a sparse file over 4 GiB."""

import io
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data"))
import test_launcher  # noqa: E402
from test_zip64 import SHM, PayloadCase, file_crc  # noqa: E402
from xztools import tar_end, tar_member, xz_part_of_files, xz_stream  # noqa: E402
from ziptools import PASSWORD, assemble, config_text, make_zip  # noqa: E402


class SolidPayloads(PayloadCase):
    scratch = SHM

    def solid_tree(self):
        tree = self.make_tree(os.path.join(self.root, "tree"))
        files = {
            "empty.txt": b"",
            "grüße/日本語.txt": "Grüße aus Köln\n".encode() * 40,
            ("L" * 250) + ".txt": b"a long name\n",
            "/".join("d%02d" % i for i in range(40)) + "/deep.txt": b"deep\n",
            "text/words.txt": b"alpha beta gamma delta\n" * 90000,
            "bin/noise.bin": os.urandom(1536 * 1024),
            "tool.sh": b"#!/bin/sh\necho tool\n",
        }
        for name, data in files.items():
            path = os.path.join(tree, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        os.chmod(os.path.join(tree, "tool.sh"), 0o755)
        os.makedirs(os.path.join(tree, "empty", "folder"))
        return tree

    def test_round_trip_in_one_and_several_parts(self):
        tree = self.solid_tree()
        # Under Wine one packing is enough: the stub is what is under test there.
        variants = ([["--solid-part", "1"]] if self.p.windows else
                    [[], ["--solid-part", "1"], ["--no-password", "--solid-part", "1"]])
        for options in variants:
            with self.subTest(options=options):
                out = os.path.join(self.root, "packed")
                self.packed(tree, out, "--solid", *options)
                with open(out, "rb") as f:
                    image = f.read()
                os.remove(out)
                _, lines = self.launch(image)
                self.assert_payload(lines, tree)
                os.remove(self.probe_out)

    def test_standard_tools_read_the_parts(self):
        if self.p.windows:
            self.skipTest("the standard tools run on Linux")
        tree = self.solid_tree()
        out = os.path.join(self.root, "packed")
        self.packed(tree, out, "--solid", "--solid-part", "1")
        unpacked = os.path.join(self.root, "zip")
        subprocess.run(["unzip", "-q", "-P", PASSWORD.decode(), "-d", unpacked, out], capture_output=True)
        parts = sorted(os.listdir(unpacked))
        self.assertGreater(len(parts), 1)
        extracted = os.path.join(self.root, "tar")
        os.mkdir(extracted)
        joined = subprocess.run("cat %s | tar -xJf - -C %s" % (" ".join(parts), extracted), shell=True,
                                cwd=unpacked, capture_output=True, text=True)
        self.assertEqual(joined.returncode, 0, joined.stderr)
        for folder, _, names in os.walk(tree):
            for name in names:
                path = os.path.join(folder, name)
                copy = os.path.join(extracted, os.path.relpath(path, tree))
                self.assertEqual(file_crc(copy), file_crc(path), copy)
        self.assertTrue(os.access(os.path.join(extracted, "tool.sh"), os.X_OK))


def solid_image(stub, parts, names=None, run="probe"):
    """A launcher file whose archive holds `parts` as the solid payload's
    entries (unencrypted, so that the test controls every byte)."""
    names = names or (["payload.tar.xz"] if len(parts) == 1 else
                      ["payload.tar.xz.%03d" % (i + 1) for i in range(len(parts))])
    config = config_text(run=run, use_pw="0", prog="0", solid="1")
    return assemble(stub, config, make_zip([(n, p, {}) for n, p in zip(names, parts)]))


class HostileStreams(test_launcher.LauncherCase):
    """Each refused with the launcher's own message and exit code 1: the
    program is not started, nothing is left behind or written outside."""

    def refused(self, parts, message, names=None, args=()):
        result, lines = self.launch(solid_image(self.p.stub, parts, names), list(args), code=1)
        self.assertEqual(lines, [], "the program was started")
        if not self.p.windows:
            self.assertIn(message, result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.root, "evil.txt")))

    def test_refused_streams(self):
        good = tar_member("a.txt", b"hello\n") + tar_end()
        stream = xz_stream(good)
        middle = len(stream) // 2
        cases = [
            ("dictionary beyond the limit", [xz_stream(good, prop=34)], "needs 512 MiB to decode"),
            ("no integrity check", [xz_stream(good, check=0)], "no integrity check"),
            ("sizes not declared", [xz_stream(good, declare_sizes=False)], "does not declare its size"),
            ("wrong check", [xz_stream(good, bad_check=True)], "the xz data is damaged"),
            ("truncated", [stream[:-30]], "Damaged or not a zip file"),
            ("damaged byte", [stream[:middle] + bytes([stream[middle] ^ 0x55]) + stream[middle + 1:]],
             "Damaged or not a zip file"),
            ("data after the stream", [stream + b"more"], "data follows the xz stream"),
            ("not an xz stream", [good], "not an xz stream"),
            ("tar checksum", [xz_stream(tar_member("a.txt", b"x", bad_checksum=True) + tar_end())],
             "checksum does not match"),
            ("member beyond the stream", [xz_stream(tar_member("a.txt", b"x" * 10, size=100000))],
             'Could not extract "a.txt": Damaged or not a zip file (the payload ends inside it)'),
            ("dot-dot", [xz_stream(tar_member("../evil.txt", b"x") + tar_end())],
             'Could not extract "../evil.txt": Entry path leaves the target folder'),
            ("absolute", [xz_stream(tar_member(os.path.join(self.root, "evil.txt"), b"x") + tar_end())],
             "Entry path leaves the target folder"),
            ("symbolic link", [xz_stream(tar_member("link", type_=b"2") + tar_end())],
             'Could not extract "link": Links, devices and other special entries are not extracted'),
            ("hard link", [xz_stream(tar_member("hard", type_=b"1") + tar_end())], "special entries"),
            ("FIFO", [xz_stream(tar_member("fifo", type_=b"6") + tar_end())], "special entries"),
            ("device", [xz_stream(tar_member("dev", type_=b"3") + tar_end())], "special entries"),
            ("end before the last part", [xz_stream(tar_end()), xz_stream(good)],
             "the tar stream ends before its last part"),
            ("a stray entry", [stream], "should be payload.tar.xz", ["other.bin"]),
        ]
        for name, parts, message, *names in cases:
            with self.subTest(name):
                self.refused(parts, message, names[0] if names else None)

    def test_bomb_against_a_full_disk(self):
        mount = test_launcher.FailClosed.small_mount(self, "size=2m")
        bomb = xz_stream(tar_member("zeros.bin", bytes(64 << 20)) + tar_end(), dict_size=1 << 20)
        self.assertLess(len(bomb), 1 << 20)
        result, lines = self.launch(solid_image(self.p.stub, [bomb]), ["/T:" + self.p.native(mount)], code=1)
        self.assertEqual(lines, [])
        if not self.p.windows:
            self.assertIn("Not enough free space", result.stderr)
        self.assertEqual(os.listdir(mount), [])


class LargeSolid(PayloadCase):
    def test_file_over_4_gib(self):
        tree = self.make_tree(os.path.join(self.root, "tree"))
        with open(os.path.join(tree, "big.bin"), "wb") as f:
            f.truncate((1 << 32) + 4321)
            for at in (0, (1 << 32) - 3, (1 << 32) + 4000):
                f.seek(at)
                f.write(b"mark%4d" % (at % 9973))
        if self.p.windows:
            # kvsfx-pack.exe under Wine compresses gigabytes slowly (its
            # liblzma is built small, for the stub): the part is made here,
            # at the fastest preset; the 32-bit stub's sizes are under test.
            part = io.BytesIO()
            xz_part_of_files([(self.p.program, os.path.join(tree, self.p.program), 0o755),
                              ("big.bin", os.path.join(tree, "big.bin"), 0o644)], part)
            image = solid_image(self.p.stub, [part.getvalue()], run=self.p.program)
        else:
            out = os.path.join(self.root, "packed")
            self.packed(tree, out, "--solid")
            with open(out, "rb") as f:
                image = f.read()
            os.remove(out)
        _, lines = self.launch(image)
        self.assert_payload(lines, tree)


if __name__ == "__main__":
    test_launcher.main()
