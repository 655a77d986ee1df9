#!/usr/bin/env python3
"""End-to-end tests of large payloads: archives with Zip64 records from every
producer, more than 65,535 entries, forged Zip64 records, and (class
LargeFiles, run as a test of its own) an entry and a launcher file over
4 GiB made from sparse files. The started program (unicode_probe) reports
every file and folder below the work folder with the CRC-32 of each file; the
tests compare that with the tree the archive was made from."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_launcher  # noqa: E402
from test_launcher import LauncherCase  # noqa: E402
from gen_zip64 import ENCRYPTED, ArchiveTail, forged, produce, python_zip64, tree_entries  # noqa: E402
from ziptools import assemble, config_text  # noqa: E402

# Many small files are made and extracted on tmpfs; large ones on the
# temporary folder's file system (tmpfs has no room for them).
SHM = "/dev/shm" if os.path.isdir("/dev/shm") else None


def file_crc(path):
    crc = 0
    with open(path, "rb") as f:
        while True:
            block = f.read(1 << 20)
            if not block:
                return crc
            crc = zlib.crc32(block, crc)


def tree_report(tree):
    """The probe's lines for a work folder holding exactly `tree`."""
    lines = set()
    for name, path in tree_entries(tree):
        lines.add("file " + name)
        if path is not None:
            lines.add("crc %08x %s" % (file_crc(path), name))
    return lines


class PayloadCase(LauncherCase):
    """Launcher files whose payload is a tree on disk holding the probe."""

    scratch = None  # parent of each test's folder (None: the temporary folder)
    run_timeout = 900  # tens of thousands of files or gigabytes, under Wine on a busy machine

    def setUp(self):
        tempfile.tempdir = self.scratch
        try:
            super().setUp()
        finally:
            tempfile.tempdir = None

    @classmethod
    def make_tree(cls, root):
        os.makedirs(root)
        program = os.path.join(root, test_launcher.PLATFORM.program)
        shutil.copy(test_launcher.PLATFORM.probe_path, program)
        os.chmod(program, 0o755)
        return root

    def assert_payload(self, lines, tree, expected=None):
        self.assertIn("end", lines)
        found = {l for l in lines if l.startswith(("file ", "crc "))}
        expected = tree_report(tree) if expected is None else expected
        self.assertEqual(len(found), len(expected))
        self.assertEqual(found - expected, set(), "files that differ or should not be there")
        self.assertEqual(expected - found, set(), "files missing or different")

    def config(self, encrypted):
        return config_text(run=self.p.program, use_pw="1" if encrypted else "0", prog="0")

    def packed(self, tree, out, *options):
        """kvsfx-pack's launcher file of `tree`."""
        result = subprocess.run(self.p.runner + [self.p.pack, "--stub", self.p.native(test_launcher.OPTIONS.stub),
                                                 "-C", self.p.native(tree), "--run", self.p.program,
                                                 "--no-progress", "-o", self.p.native(out)] + list(options),
                                capture_output=True, text=True, errors="replace", timeout=1200)
        self.assertEqual(result.returncode, 0, "kvsfx-pack: " + result.stderr)

    def launcher_of(self, producer, tree, archive):
        """The launcher file of `tree` made by `producer`: its archive (written
        to `archive`) behind the stub, or kvsfx-pack's file."""
        if producer == "kvsfx-pack":
            self.packed(tree, archive)
            with open(archive, "rb") as f:
                return f.read()
        produce(producer, tree, archive)
        with open(archive, "rb") as f:
            return assemble(self.p.stub, self.config(producer in ENCRYPTED), f.read())

    def assert_refused(self, image):
        result, lines = self.launch(image, code=1)
        self.assertEqual(lines, [], "the program was started")
        if not self.p.windows:
            self.assertIn("Damaged or not a zip file", result.stderr)


class SmallArchives(PayloadCase):
    scratch = SHM

    def test_zip64_records_from_each_producer(self):
        # Zip64 fields in local and central headers, Zip64 end records,
        # 64-bit data descriptors: byte-identical whatever the producer.
        tree = self.make_tree(os.path.join(self.root, "tree"))
        for name, data in (("readme.txt", b"small file, Zip64 records\n" * 50), ("sub/empty.txt", b""),
                           ("sub/deeper/data.bin", bytes(range(256)) * 700)):
            os.makedirs(os.path.dirname(os.path.join(tree, name)), exist_ok=True)
            with open(os.path.join(tree, name), "wb") as f:
                f.write(data)
        for producer in ("izip_fz", "izip_fz_crypt", "python_zip64", "python_zip64_stream"):
            with self.subTest(producer=producer):
                image = self.launcher_of(producer, tree, os.path.join(self.root, producer + ".zip"))
                _, lines = self.launch(image)
                self.assert_payload(lines, tree)
                os.remove(self.probe_out)


class ForgedRecords(PayloadCase):
    """Every lie a Zip64 record can tell is damage: exit code 1, the damage
    message, nothing started and no work folder left. The same archive
    told truthfully runs."""

    scratch = SHM

    def test_lies_in_zip64_records(self):
        entries = [(self.p.program.encode(), self.p.probe, {}),
                   (b"data.bin", bytes(range(256)) * 64, {"attributes": 0o100644 << 16})]
        archives = forged(entries)
        config = self.config(False)
        _, lines = self.launch(assemble(self.p.stub, config, archives.pop("truthful")))
        self.assertIn("crc %08x data.bin" % zlib.crc32(entries[1][1]), lines)
        os.remove(self.probe_out)
        for lie, archive in archives.items():
            with self.subTest(lie=lie):
                self.assert_refused(assemble(self.p.stub, config, archive))

    def test_directory_offset_marked_without_zip64_record(self):
        # Info-ZIP 3.0 streaming a small archive with -fz writes 0xFFFFFFFF
        # as the directory offset but no Zip64 end record (unzip and 7z refuse
        # it too).
        tree = self.make_tree(os.path.join(self.root, "tree"))
        archive = os.path.join(self.root, "stream.zip")
        produce("izip_fz_stream", tree, archive)
        with open(archive, "rb") as f:
            self.assert_refused(assemble(self.p.stub, self.config(False), f.read()))


class ManyEntries(PayloadCase):
    """More than 65,535 entries: 70 folders of 1,000 one-line files, made once
    and packed by each producer."""

    scratch = SHM

    @classmethod
    def setUpClass(cls):
        cls.shared = tempfile.mkdtemp(prefix="kvsfx-e2e-many-", dir=SHM)
        cls.tree = cls.make_tree(os.path.join(cls.shared, "tree"))
        for d in range(70):
            folder = os.path.join(cls.tree, "d%02d" % d)
            os.mkdir(folder)
            for i in range(1000):
                with open(os.path.join(folder, "f%04d.txt" % i), "wb") as f:
                    f.write(b"%d\n" % (d * 1000 + i))
        cls.expected = tree_report(cls.tree)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.shared, ignore_errors=True)

    def test_more_than_65535_entries(self):
        # Under Wine each run of 70,000 files takes minutes (and kvsfx-pack.exe
        # as long again): the Windows stub gets one producer's archive, the
        # others differ only in what the shared reader parses.
        producers = ("python_zip64", "izip_fz_stream", "7z_crypt", "kvsfx-pack")
        for producer in ("7z_crypt",) if self.p.windows else producers:
            with self.subTest(producer=producer):
                if producer == "kvsfx-pack" and not self.p.pack:
                    self.skipTest("no kvsfx-pack")
                archive = os.path.join(self.root, producer + ".zip")
                image = self.launcher_of(producer, self.tree, archive)
                os.remove(archive)
                _, lines = self.launch(image)
                self.assert_payload(lines, self.tree, self.expected)
                os.remove(self.probe_out)


class LargeFiles(PayloadCase):
    """An entry over 4 GiB, and a launcher file over 4 GiB whose entries are
    each under 4 GiB (positions past 4 GiB), made from sparse files with a few
    marks at 32-bit boundaries, and entries behind them."""

    def sparse_tree(self, sizes):
        tree = self.make_tree(os.path.join(self.root, "tree"))
        for name, size in sizes.items():
            with open(os.path.join(tree, name), "wb") as f:
                f.truncate(size)
                for at in (0, (1 << 31) - 3, (1 << 32) - 3, size - 8):
                    if at < size:
                        f.seek(at)
                        f.write(b"mark%4d" % (at % 9973))
        os.makedirs(os.path.join(tree, "zz"))
        with open(os.path.join(tree, "zz", "after.txt"), "wb") as f:
            f.write(b"behind the large entries\n")
        return tree

    def run_file(self, tree, write):
        """Writes the launcher file with write(path), runs it and checks the payload."""
        name = "setup.exe" if self.p.windows else "launcher"
        expected = tree_report(tree)
        argv, env = self.command(b"", name=name)
        write(self.path)
        try:
            _, lines = self.run_launcher(argv, env, name)
            self.assert_payload(lines, tree, expected)
        finally:
            os.remove(self.path)
            if os.path.exists(self.probe_out):
                os.remove(self.probe_out)

    def python_stored(self, tree):
        def write(path):
            with open(path, "wb") as f:
                f.write(assemble(self.p.stub, self.config(False), b""))
                python_zip64(tree, ArchiveTail(f), method=zipfile.ZIP_STORED)
        return write

    def test_entry_over_4_gib(self):
        tree = self.sparse_tree({"big.bin": (1 << 32) + 100000})
        with self.subTest(producer="python, stored"):
            self.run_file(tree, self.python_stored(tree))
        if self.p.pack:
            with self.subTest(producer="kvsfx-pack, deflated"):
                self.run_file(tree, lambda path: self.packed(tree, path))

    def test_launcher_file_over_4_gib(self):
        tree = self.sparse_tree({"part1.bin": (9 << 28) + 4321, "part2.bin": (9 << 28) + 1234})

        def info_zip_streamed(path):
            with open(path, "wb") as f:
                f.write(assemble(self.p.stub, self.config(False), b""))
                with subprocess.Popen("find . -mindepth 1 | sort | zip -q -X -0 -fz - -@", shell=True,
                                      cwd=tree, stdout=subprocess.PIPE) as zip_:
                    shutil.copyfileobj(zip_.stdout, ArchiveTail(f), 1 << 20)
                f.truncate()
                self.assertEqual(zip_.returncode, 0)
        with self.subTest(producer="Info-ZIP, streamed, stored"):
            self.run_file(tree, info_zip_streamed)


if __name__ == "__main__":
    test_launcher.main()
