#!/usr/bin/env python3
"""End-to-end tests of payload paths far beyond Windows' MAX_PATH (260): a
file about 600 characters below the work folder, under nested folders with
non-ASCII names, packed from a folder by kvsfx-pack, arrives byte-identical
as the started program sees it (unicode_probe reports the CRC-32 of every
file), and is removed afterwards; a killed run's deep folder is swept by the
next run; kvsfx-pack --extract writes the tree back."""

import os
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_launcher  # noqa: E402
from test_unicode import UnicodeCase  # noqa: E402
from ziptools import PASSWORD  # noqa: E402

# Five folders of about 100 characters and a long file name: 650 characters
# below the work folder, each component within the 255 bytes that Linux
# file systems keep.
FOLDERS = ["level %d \u00e9t\u00e9 \u65e5\u672c " % i + "d" * 88 for i in range(5)]
DEEP = "/".join(FOLDERS) + "/long name \u00fc\u20ac " + "f" * 113 + ".txt"
FILES = {DEEP: bytes(range(256)) * 400, FOLDERS[1] + "/near.txt": b"near\n"}


class DeepPaths(UnicodeCase):
    start = test_launcher.StopsAndSweeps.start
    wait_until = test_launcher.StopsAndSweeps.wait_until

    def setUp(self):
        super().setUp()
        if not self.p.pack:
            self.skipTest("needs kvsfx-pack")

    def pack(self, *arguments):
        return subprocess.run(self.p.runner + [self.p.pack] + list(arguments), capture_output=True,
                              text=True, errors="replace", timeout=300)

    def packed(self):
        """The payload folder packed by kvsfx-pack; the launcher file's bytes."""
        source = os.path.join(self.root, "payload")
        for name, data in list(FILES.items()) + [(self.p.program, self.p.probe)]:
            path = os.path.join(source, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        out = os.path.join(self.root, "deep.bin")
        made = self.pack("--stub", self.p.native(test_launcher.OPTIONS.stub), "-C", self.p.native(source),
                         "--run", self.p.program, "--no-progress", "-o", self.p.native(out))
        self.assertEqual(made.returncode, 0, made.stderr)
        with open(out, "rb") as f:
            return f.read()

    def assert_arrived(self, lines):
        self.assertIn("end", lines)
        for name, data in FILES.items():
            self.assertIn("crc %08x %s" % (zlib.crc32(data), name), lines)

    def test_deep_payload_arrives_whole_and_goes(self):
        self.assertGreater(len(DEEP), 600)
        _, lines = self.launch(self.packed())
        self.assert_arrived(lines)

    def test_killed_runs_deep_folder_is_swept(self):
        # The deep files come first; a large entry keeps the run going.
        big = bytes(160 << 20)
        entries = [(name, data, {}) for name, data in FILES.items()]
        entries += [("big.bin", big, {"password": PASSWORD}), (self.p.program, self.p.probe, {})]
        killed = self.start(self.image(entries=entries), name="killed" + (".exe" if self.p.windows else ""))
        deep = os.path.join(self.temp, "kv_ext_temp_0", DEEP)
        self.wait_until(lambda: os.path.exists(deep), killed, "the deep file")
        killed.kill()
        killed.communicate()
        self.assertTrue(os.path.exists(deep))
        os.remove(self.path)
        # The next run sweeps it, runs, and leaves nothing.
        _, lines = self.launch(self.packed())
        self.assert_arrived(lines)

    def test_pack_extracts_deep_tree(self):
        image = os.path.join(self.root, "deep.bin")
        with open(image, "wb") as f:
            f.write(self.packed())
        target = os.path.join(self.root, "extracted")
        done = self.pack("--extract", self.p.native(image), self.p.native(target))
        self.assertEqual(done.returncode, 0, done.stderr)
        for name, data in FILES.items():
            with open(os.path.join(target, name), "rb") as f:
                self.assertEqual(f.read(), data, name)


if __name__ == "__main__":
    test_launcher.main()
