#!/usr/bin/env python3
"""End-to-end tests of LZMA (method 14) and XZ (method 95) entries: launcher
files whose archives come from Python's zipfile and 7z or are written here
(the started program itself among the LZMA and XZ entries, encrypted ones),
run to the end with the CRC-32 of every file reported by the started program
(unicode_probe); and damaged entries, each of which ends the run with the
launcher's message and exit code 1, nothing started and nothing left."""

import os
import shutil
import subprocess
import sys
import unittest
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data"))
import test_launcher  # noqa: E402
from test_zip64 import SHM, PayloadCase, file_crc  # noqa: E402
from gen_lzma import entry, hostile_cases, lzma_data, payload  # noqa: E402
from zip_forge import raw_zip  # noqa: E402
from ziptools import PASSWORD, assemble, config_text  # noqa: E402
import lzma  # noqa: E402

EXECUTABLE = {"attributes": 0o100755 << 16}


class LzmaPayloads(PayloadCase):
    scratch = SHM

    def tree(self):
        tree = self.make_tree(os.path.join(self.root, "tree"))
        for name, data in payload().items():
            os.makedirs(os.path.dirname(os.path.join(tree, name)), exist_ok=True)
            with open(os.path.join(tree, name), "wb") as f:
                f.write(data)
        return tree

    def test_archives_from_each_producer(self):
        tree = self.tree()
        archive = os.path.join(self.root, "payload.zip")
        # Python's zipfile: LZMA with the end marker, the program too.
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_LZMA) as z:
            for folder, _, names in os.walk(tree):
                for name in names:
                    path = os.path.join(folder, name)
                    z.write(path, os.path.relpath(path, tree))
        runs = [("python", archive, False)]
        if shutil.which("7z"):
            for producer, options, encrypted in (("7z LZMA, encrypted", ["-mm=LZMA", "-mem=ZipCrypto"], True),
                                                 ("7z LZMA without end marker", ["-mm=LZMA:eos=off"], False),
                                                 ("7z XZ, encrypted", ["-mm=XZ", "-mem=ZipCrypto"], True)):
                target = os.path.join(self.root, "7z-%d.zip" % len(runs))
                if encrypted:
                    options = options + ["-p" + PASSWORD.decode()]
                done = subprocess.run(["7z", "a", "-bd", "-bso0", "-tzip"] + options + [target, "."], cwd=tree,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                if done.returncode == 0:
                    runs.append((producer, target, encrypted))
        for producer, path, encrypted in runs:
            with self.subTest(producer=producer):
                with open(path, "rb") as f:
                    image = assemble(self.p.stub, self.config(encrypted), f.read())
                _, lines = self.launch(image)
                self.assert_payload(lines, tree)
                os.remove(self.probe_out)
                os.remove(self.path)
        self.assertGreaterEqual(len(runs), 3, "7z wrote no LZMA or XZ archive")

    def test_written_entries_encrypted_program_included(self):
        # The program is an encrypted XZ entry, the data encrypted LZMA and XZ
        # entries: decrypted ahead, then decoded on the launcher's own thread.
        tree = self.tree()
        files = payload()
        program = self.p.program
        with open(os.path.join(tree, program), "rb") as f:
            probe = f.read()
        entries = [entry(program, probe, lzma.compress(probe, check=lzma.CHECK_CRC64), 95, encrypt=True)]
        entries[0][2].update(EXECUTABLE)
        for name, data in files.items():
            packed, method = (lzma_data(data), 14) if name.endswith(".txt") else (lzma.compress(data), 95)
            entries.append(entry(name, data, packed, method, encrypt=True))
        image = assemble(self.p.stub, self.config(True), raw_zip(entries))
        _, lines = self.launch(image)
        self.assert_payload(lines, tree, expected=self.report(tree, files))

    @staticmethod
    def report(tree, files):
        lines = {"file " + test_launcher.PLATFORM.program,
                 "crc %08x %s" % (file_crc(os.path.join(tree, test_launcher.PLATFORM.program)),
                                  test_launcher.PLATFORM.program)}
        for name, data in files.items():
            lines.add("file " + name)
            lines.add("crc %08x %s" % (zlib.crc32(data), name))
            if "/" in name:
                lines.add("file " + name.rsplit("/", 1)[0] + "/")
        return lines


class DamagedEntries(PayloadCase):
    """Each damaged entry stops the run before the program starts: the
    launcher's message with the reason, exit code 1, no work folder left; the
    good entry after it is never written."""

    scratch = SHM

    CASES = {
        "dict_over_limit.lzma": "Damaged or not a zip file (LZMA dictionary is larger than 256 MiB)",
        "dict_over_limit_crypt.lzma": "Damaged or not a zip file (LZMA dictionary is larger than 256 MiB)",
        "dict_over_limit.xz": "Damaged or not a zip file (XZ stream needs more than 256 MiB of memory)",
        "truncated.lzma": "Damaged or not a zip file (LZMA data ends early)",
        "footer_missing.xz": "Damaged or not a zip file (XZ data ends early)",
        "bad_check.xz": "Damaged or not a zip file (XZ data is damaged)",
        "damaged.lzma": "Damaged or not a zip file (LZMA data is damaged)",
        "longer.xz": "Damaged or not a zip file (XZ data is longer than the entry)",
        "not_xz.xz": "Damaged or not a zip file (not an XZ stream)",
    }

    def test_damaged_entries_end_the_run(self):
        cases, good_lzma, _, small = hostile_cases(payload())
        program = (self.p.program.encode(), self.p.probe, EXECUTABLE)
        for case in cases:
            name = case[0]
            if name not in self.CASES:
                continue
            with self.subTest(entry=name):
                late = entry("late.txt", small, good_lzma, 14, encrypt=True)
                archive = raw_zip([program, self.damaged_entry(case, small), late])
                image = assemble(self.p.stub, config_text(run=self.p.program, use_pw="1"), archive)
                try:
                    result, lines = self.launch(image, code=1)
                    self.assertEqual(lines, [], "the program was started")
                    if not self.p.windows:
                        self.assertIn('launcher: Could not extract "%s": %s' % (name, self.CASES[name]),
                                      result.stderr)
                        if self.p.pack:
                            checked = subprocess.run([self.p.pack, "--test", self.path], capture_output=True,
                                                     text=True, timeout=60)
                            self.assertEqual(checked.returncode, 1)
                            self.assertIn("FAILED  %s: %s" % (name, self.CASES[name]), checked.stdout)
                            self.assertIn("OK      late.txt", checked.stdout)
                finally:
                    for left in (self.probe_out, self.path):
                        if os.path.exists(left):
                            os.remove(left)

    @staticmethod
    def damaged_entry(case, small):
        name, packed, method, options = case
        return entry(name, options.get("data", small), packed, method, encrypt=options.get("encrypt", False))

    def test_declared_dictionary_is_not_what_is_allocated(self):
        # A 256 MiB dictionary declared for a 5000-byte entry is accepted,
        # and the launcher runs in an address space far smaller than that.
        if self.p.windows or not shutil.which("prlimit"):
            self.skipTest("address-space limit on Linux")
        cases, _, _, small = hostile_cases(payload())
        at_limit = [c for c in cases if c[0] == "dict_at_limit.lzma"][0]
        archive = raw_zip([(self.p.program.encode(), self.p.probe, EXECUTABLE), self.damaged_entry(at_limit, small)])
        argv, env = self.command(assemble(self.p.stub, config_text(run=self.p.program), archive))
        _, lines = self.run_launcher(["prlimit", "--as=%d" % (96 << 20), "--"] + argv, env, os.path.basename(self.path))
        self.assertIn("crc %08x dict_at_limit.lzma" % zlib.crc32(small), lines)


if __name__ == "__main__":
    test_launcher.main()
