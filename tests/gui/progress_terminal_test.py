#!/usr/bin/env python3
"""The Linux launcher's progress display in a pseudo-terminal: the title and
a bar redrawn on one line of stderr, the line cleared before the program
starts, Ctrl-C as the cancel request, and nothing drawn when stderr is not a
terminal. Every run must exit with 0 and leave no work folder behind."""

import argparse
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

OPTIONS = None
BAR = re.compile(rb"\r\[[#-]{30}\] +(\d+)%")


def pack(payload, output, *options):
    result = subprocess.run([OPTIONS.pack, "--stub", OPTIONS.stub, "--level", "1", *options, "-C", payload,
                             "-o", output], capture_output=True, text=True)
    if result.returncode != 0 and "may be at most" in result.stderr:
        # A sanitizer build's stub is too big to carry a data block.
        raise unittest.SkipTest(result.stderr.strip())
    if result.returncode != 0:
        raise RuntimeError("kvsfx-pack failed: " + result.stderr)


class Terminal:
    """A launcher run on a pseudo-terminal; collects everything it prints."""

    def __init__(self, argv, env):
        # Started as "./name" from its own folder, the way users start it.
        folder, name = os.path.split(argv[0])
        argv = ["./" + name] + argv[1:]
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                os.chdir(folder)
                os.execve(argv[0], argv, env)
            finally:
                os._exit(127)
        self.output = b""
        self.status = None

    def read_until(self, pattern, timeout):
        deadline = time.monotonic() + timeout
        while not re.search(pattern, self.output):
            left = deadline - time.monotonic()
            if left <= 0 or not self._read(left):
                return None
        return re.search(pattern, self.output)

    def _read(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return False
        try:
            data = os.read(self.fd, 65536)
        except OSError:  # the other side is closed
            return False
        self.output += data
        return bool(data)

    def finish(self, timeout=120):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and self._read(deadline - time.monotonic()):
            pass
        _, status = os.waitpid(self.pid, 0)
        os.close(self.fd)
        self.status = os.waitstatus_to_exitcode(status)
        return self.status


class TerminalProgress(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        base = "/dev/shm" if os.path.isdir("/dev/shm") else None
        cls.root = tempfile.mkdtemp(prefix="kvsfx-pty-", dir=base)
        try:
            cls.make_launchers()
        except BaseException:
            shutil.rmtree(cls.root, ignore_errors=True)  # tearDownClass will not run
            raise

    @classmethod
    def make_launchers(cls):
        payload = os.path.join(cls.root, "payload")
        os.mkdir(payload)
        with open(os.path.join(payload, "run.sh"), "w") as f:
            f.write('#!/bin/sh\necho "program started: $*"\necho started > "$KVSFX_MARK"\n')
        os.chmod(os.path.join(payload, "run.sh"), 0o755)
        with open(os.path.join(payload, "small.bin"), "wb") as f:
            f.write(os.urandom(3 * 65536 + 123))
        cls.quick = os.path.join(cls.root, "quick")
        pack(payload, cls.quick, "--title", "Terminal Test", "--run", "run.sh")
        # Big enough to be still extracting when Ctrl-C arrives.
        with open(os.path.join(payload, "big.bin"), "wb") as f:
            for _ in range(20):
                f.write(os.urandom(8 << 20))
        cls.big = os.path.join(cls.root, "big")
        pack(payload, cls.big, "--title", "Terminal Test", "--run", "run.sh")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.temp = tempfile.mkdtemp(dir=self.root)
        self.mark = os.path.join(self.temp, "..", os.path.basename(self.temp) + ".mark")
        self.env = dict(os.environ, TMPDIR=self.temp, KVSFX_MARK=self.mark)

    def tearDown(self):
        self.assertEqual(os.listdir(self.temp), [], "work folder left behind")
        if os.path.exists(self.mark):
            os.remove(self.mark)

    def test_bar_fills_and_is_cleared_before_the_program(self):
        run = Terminal([self.quick, "one"], self.env)
        self.assertEqual(run.finish(), 0, run.output)
        out = run.output
        self.assertIn(b"Terminal Test\r\n", out)
        percents = [int(m.group(1)) for m in BAR.finditer(out)]
        self.assertTrue(percents, out)
        self.assertEqual(percents, sorted(percents), "the bar went backwards")
        self.assertEqual(percents[-1], 100)
        self.assertRegex(out, rb"100%  (19\d\.\d KiB) / \1")
        # The bar's line is cleared, then the program writes on a clean line.
        last_bar = out.rindex(b"100%")
        started = out.index(b"program started: one SFXSOURCE:")
        self.assertIn(b"\r\x1b[K", out[last_bar:started])
        self.assertTrue(os.path.exists(self.mark))

    def test_ctrl_c_cancels_the_extraction(self):
        run = Terminal([self.big], self.env)
        self.assertIsNotNone(run.read_until(rb"\r\[[#-]{30}\] +\d+%  [1-9]", 60), run.output)
        os.write(run.fd, b"\x03")  # the terminal turns it into SIGINT
        self.assertEqual(run.finish(), 2, run.output[-400:])  # cancelled
        self.assertIn(b"Status: Extraction Cancelled", run.output)
        self.assertNotIn(b"program started", run.output)
        self.assertFalse(os.path.exists(self.mark))
        percents = [int(m.group(1)) for m in BAR.finditer(run.output)]
        self.assertLess(percents[-1], 100)

    def test_nothing_is_drawn_without_a_terminal(self):
        # Without a terminal nothing is drawn; the program still runs.
        result = subprocess.run(["./quick"], cwd=self.root, env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        self.assertIn(b"program started", result.stdout)
        self.assertTrue(os.path.exists(self.mark))


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--stub", required=True)
    parser.add_argument("--pack", required=True)
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
