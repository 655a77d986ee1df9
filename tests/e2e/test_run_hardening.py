#!/usr/bin/env python3
"""End-to-end tests of the launcher's guards around the run: where the work
folder goes, which arguments count as switches, programs that Windows starts
through cmd.exe, and the free-space check. Launcher files are assembled byte
by byte around the build's stub and probe, as in test_launcher.py."""

import os
import re
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_launcher  # noqa: E402
from test_launcher import LauncherCase  # noqa: E402
from ziptools import PASSWORD, assemble, config_text, make_zip  # noqa: E402


def declare_size(archive, names, size):
    """The archive with the uncompressed size of the named entries changed to
    size in their local and central headers (the data stays as it is)."""
    data = bytearray(archive)
    at = 0
    while at + 4 <= len(data):
        signature = data[at:at + 4]
        if signature == b"PK\3\4":
            compressed, _, name_length, extra_length = struct.unpack_from("<IIHH", data, at + 18)
            if bytes(data[at + 30:at + 30 + name_length]).decode() in names:
                struct.pack_into("<I", data, at + 22, size)
            at += 30 + name_length + extra_length + compressed
        elif signature == b"PK\1\2":
            name_length, extra_length, comment_length = struct.unpack_from("<HHH", data, at + 28)
            if bytes(data[at + 46:at + 46 + name_length]).decode() in names:
                struct.pack_into("<I", data, at + 24, size)
            at += 46 + name_length + extra_length + comment_length
        else:
            break
    return bytes(data)


class GuardCase(LauncherCase):
    def start(self, image, args=(), name=None, env=None, cwd=None):
        """Runs a launcher file with exactly these arguments; no assertions."""
        name = name or ("setup.exe" if self.p.windows else "launcher")
        self.path = os.path.join(self.dist, name)
        with open(self.path, "wb") as f:
            f.write(image)
        os.chmod(self.path, 0o755)
        run_env = dict(os.environ, KVSFX_PROBE_OUT=self.p.native(self.probe_out))
        if not self.p.windows:
            run_env["TMPDIR"] = self.temp
        run_env.update(env or {})
        result = subprocess.run(self.p.runner + [self.path] + list(args), env=run_env,
                                cwd=cwd or self.cwd, capture_output=True, text=True,
                                errors="replace", timeout=300)
        lines = []
        if os.path.exists(self.probe_out):
            with open(self.probe_out) as f:
                lines = f.read().splitlines()
            os.remove(self.probe_out)
        return result, lines

    def silent(self):
        return ["/S"] if self.p.windows else []

    def parent(self):
        """Windows runs keep their work folders in the test's folder too."""
        return ["/T:" + self.p.native(self.temp)] if self.p.windows else []

    def image_of(self, archive, **config):
        config.setdefault("run", self.p.program)
        config.setdefault("use_pw", "1")
        return assemble(self.p.stub, config_text(**config), archive)

    def assert_nothing_left(self, *folders):
        for folder in (self.temp, self.cwd) + folders:
            left = [n for n in os.listdir(folder) if n.startswith("kv_ext_temp_")]
            self.assertEqual(left, [], f"work folder left in {folder}")


class RelativeWorkFolderParent(GuardCase):
    def test_relative_parents_are_cleaned_up(self):
        os.mkdir(os.path.join(self.cwd, "sub"))
        cases = [(["/T:."], {}, self.cwd), (["/T:sub"], {}, os.path.join(self.cwd, "sub"))]
        if not self.p.windows:
            cases.append(([], {"TMPDIR": "sub"}, os.path.join(self.cwd, "sub")))
        for args, env, parent in cases:
            with self.subTest(args=args, env=env):
                result, lines = self.start(self.image(), args + self.silent(), env=env)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn("end", lines)
                cwd = [l[4:] for l in lines if l.startswith("cwd ")][0]
                sep = "\\" if self.p.windows else "/"
                self.assertEqual(cwd, self.p.native(parent) + sep + "kv_ext_temp_0")
                self.assertEqual(sorted(os.listdir(self.cwd)), ["sub"])
                self.assertEqual(os.listdir(os.path.join(self.cwd, "sub")), [])


class SwitchDetection(GuardCase):
    def test_switches_are_whole_arguments_and_never_argument_zero(self):
        if self.p.windows:
            self.skipTest("Windows keeps substring matching of the real arguments")
        # Without a data block the mode check reports the missing block once
        # and the run once more; the no-window mode skips the mode check.
        for name, args, messages in (("setup.run", [], 2),
                                     ("launcher", ["--data=/srv/x", "/SILENT", "/T:/srv"], 2),
                                     ("launcher", ["/s"], 1)):
            with self.subTest(name=name, args=args):
                result, _ = self.start(self.p.stub, args, name=name)
                self.assertEqual(result.stderr.count("Data segment not found."), messages, result.stderr)
                os.remove(self.path)


# Reports each argument as cmd.exe hands it to the batch file (quotes kept).
BATCH_PROBE = b"""@echo off\r
:next\r
if "%~1"=="" goto done\r
echo arg %1>>"%KVSFX_PROBE_OUT%"\r
shift\r
goto next\r
:done\r
echo end>>"%KVSFX_PROBE_OUT%"\r
"""


class BatchPrograms(GuardCase):
    def test_batch_file_gets_quoted_arguments_and_unsafe_ones_are_refused(self):
        if not self.p.windows:
            self.skipTest("only Windows starts batch files through cmd.exe")
        image = self.image_of(make_zip([("probe.CMD", BATCH_PROBE, {"password": PASSWORD})]), run="probe.CMD")
        safe = ["a b", "x&calc&y", "<in>|out", "^(caret)", "!bang!"]
        result, lines = self.start(image, safe + self.silent() + self.parent())
        self.assertEqual(result.returncode, 0, result.stderr)
        args = [l[4:] for l in lines if l.startswith("arg ")]
        self.assertEqual(args[:len(safe)], ['"%s"' % a for a in safe])
        self.assertEqual(args[-1], '"SFXSOURCE:%s"' % self.p.native(self.path))
        self.assertEqual(os.listdir(self.temp), [])
        for unsafe in ('x" & calc & "', "%PATH%", "two\nlines"):
            with self.subTest(argument=unsafe):
                result, lines = self.start(image, [unsafe] + self.silent() + self.parent())
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertEqual(lines, [], "the batch file was started")
                self.assertEqual(os.listdir(self.temp), [], "work folder left behind")


class FreeSpace(GuardCase):
    def test_declared_sizes_beyond_the_free_space_are_refused(self):
        # 512 entries of almost 4 GiB each: 2 TiB, more than any test disk has.
        names = ["big/%03d.bin" % i for i in range(512)]
        extra = [(name, b"x", {"password": PASSWORD}) for name in names]
        archive = declare_size(make_zip(self.payload(extra=extra)), set(names), 0xFFFFFFF0)
        result, lines = self.start(self.image_of(archive), self.silent() + self.parent())
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertEqual(lines, [], "the program was started")
        if not self.p.windows:
            match = re.search(r'launcher: Not enough free space to extract into "(.*)": '
                              r'the payload needs (\d+) MB, \d+ MB free\.', result.stderr)
            self.assertTrue(match, result.stderr)
            self.assertEqual(match.group(1), os.path.join(self.temp, "kv_ext_temp_0"))
            self.assertGreaterEqual(int(match.group(2)), 2 << 20)
        self.assertEqual(os.listdir(self.temp), [], "work folder left behind")


if __name__ == "__main__":
    test_launcher.main()
