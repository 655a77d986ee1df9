#!/usr/bin/env python3
"""The Windows launcher on a window station that nobody sees (made without
WSF_VISIBLE by station_helper.exe, as those of services and of SYSTEM
deployments in session 0 are), under Wine on the X display of
xvfb_session.sh: no progress window and no message box, each message on
standard error, and the exit code carries the result. A box there would
wait for ever: the helper gives every run a time limit."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data"))
from ziptools import assemble, config_text, make_zip  # noqa: E402

OPTIONS = None
TITLE = "Unseen Station"


def native(path):
    return "Z:" + path.replace("/", "\\")


def shown(name):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name],
                            capture_output=True, text=True)
    return result.stdout.split()


class UnseenStation(unittest.TestCase):
    def setUp(self):
        base = "/dev/shm" if os.path.isdir("/dev/shm") else None
        self.root = tempfile.mkdtemp(prefix="kvsfx-station-", dir=base)
        self.addCleanup(shutil.rmtree, self.root, True)
        self.temp = os.path.join(self.root, "temp")
        os.mkdir(self.temp)
        self.probe_out = os.path.join(self.root, "probe.txt")
        with open(OPTIONS.probe, "rb") as f:
            self.probe = f.read()

    def run_unseen(self, entries):
        """Runs a launcher file (progress window asked for, no /S) on the
        unseen station; returns (exit code, stderr). Watches the display
        meanwhile for the window or a box (caption: the file's name)."""
        launcher = os.path.join(self.root, "setup.exe")
        with open(launcher, "wb") as f:
            f.write(assemble(OPTIONS.stub, config_text(title=TITLE, run="probe.exe", prog="1"),
                             make_zip(entries)))
        env = dict(os.environ, KVSFX_PROBE_OUT=native(self.probe_out), KVSFX_PROBE_CAPTION=TITLE)
        process = subprocess.Popen(OPTIONS.runner.split() + [OPTIONS.station, "60000", native(launcher),
                                                             "/T:" + native(self.temp)],
                                   env=env, cwd=self.root, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   text=True, errors="replace")
        seen = []
        while process.poll() is None:
            seen += shown(TITLE) + shown("setup")
            time.sleep(0.2)
        out, err = process.communicate(timeout=120)
        subprocess.run(["import", "-window", "root", os.path.join(os.environ.get("KVSFX_SHOTS", self.root),
                                                                  self.id().split(".")[-1] + ".png")],
                       capture_output=True, timeout=60)
        self.assertIn("station flags 0", out)
        self.assertEqual(seen, [], "a window was shown")
        self.assertEqual(os.listdir(self.temp), [], "work folder left behind")
        return process.returncode, err

    def test_damaged_payload_ends_with_code_1_and_a_line_on_stderr(self):
        code, err = self.run_unseen([("probe.exe", self.probe, {}), ("bad.txt", b"x" * 1000, {"bad_crc": True})])
        self.assertEqual(code, 1, err)
        self.assertIn("setup: ", err)
        self.assertIn("bad.txt", err)
        self.assertFalse(os.path.exists(self.probe_out), "the program was started")

    def test_good_payload_runs_without_a_window(self):
        code, err = self.run_unseen([("probe.exe", self.probe, {}), ("data.txt", b"data\n" * 1000, {})])
        self.assertEqual(code, 0, err)
        with open(self.probe_out) as f:
            lines = f.read().splitlines()
        self.assertIn("started", lines)
        self.assertIn("window absent", lines)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("--runner", "--stub", "--probe", "--station"):
        parser.add_argument(option, required=True)
    OPTIONS, rest = parser.parse_known_args()
    with open(OPTIONS.stub, "rb") as f:
        OPTIONS.stub = f.read()
    if subprocess.run(OPTIONS.runner.split() + [OPTIONS.station], capture_output=True).returncode == 77:
        print("the Windows programs of this build cannot run here; skipped")
        sys.exit(77)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
