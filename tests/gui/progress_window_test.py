#!/usr/bin/env python3
"""The Windows launcher's progress window under Wine, on the X display that
xvfb_session.sh provides, driven with xdotool: where and how the window
opens, the bar at the end of a run, the window hidden before the program
starts, Escape / Alt+F4 / Enter during the extraction, and no window with
Prog 0 or /S. Message box texts are read with msgbox_helper.exe, also those of failed
runs (exit code 1).
Screenshots go to $KVSFX_SHOTS."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data"))
from ziptools import PASSWORD, assemble, config_text, make_zip  # noqa: E402

OPTIONS = None
SCREEN = (1024, 768)


def shot(name):
    folder = os.environ.get("KVSFX_SHOTS")
    if folder:
        subprocess.run(["import", "-window", "root", os.path.join(folder, name + ".png")],
                       capture_output=True, timeout=60)


def native(path):
    return "Z:" + path.replace("/", "\\")


def runner():
    return OPTIONS.runner.split()


def visible_windows(name):
    """X windows whose name is exactly `name` and that are shown."""
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name],
                            capture_output=True, text=True)
    return [w for w in result.stdout.split() if w]


def wait_for_window(name, timeout, process=None):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        windows = visible_windows(name)
        if windows:
            return windows[0]
        if process is not None and process.poll() is not None:
            return None
        time.sleep(0.1)
    return None


def geometry(window):
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                         capture_output=True, text=True).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def press(window, key):
    subprocess.run(["xdotool", "windowactivate", "--sync", window], capture_output=True, timeout=30)
    time.sleep(0.3)
    subprocess.run(["xdotool", "key", "--clearmodifiers", key], capture_output=True, timeout=30)


class Launcher:
    """One started launcher process and where its traces go."""

    def __init__(self, case, image, args=(), caption="", hold_ms=0):
        self.case = case
        self.probe_out = os.path.join(case.root, "probe.txt")
        if os.path.exists(self.probe_out):
            os.remove(self.probe_out)
        env = dict(os.environ, KVSFX_PROBE_OUT=native(self.probe_out), KVSFX_PROBE_CAPTION=caption,
                   KVSFX_PROBE_HOLD_MS=str(hold_ms))
        argv = runner() + [image, *args, "/T:" + native(case.temp)]
        self.process = subprocess.Popen(argv, env=env, cwd=case.root, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT)
        case.addCleanup(self.stop)

    def stop(self):
        """A test that failed half-way leaves no launcher running."""
        if self.process.poll() is None:
            self.process.kill()
            self.process.communicate()

    def finish(self, timeout=300, code=0):
        out, _ = self.process.communicate(timeout=timeout)
        self.case.assertEqual(self.process.returncode, code, out)
        self.case.assertEqual(os.listdir(self.case.temp), [], "work folder left behind")
        return out

    def probe(self):
        if not os.path.exists(self.probe_out):
            return None
        with open(self.probe_out, errors="replace") as f:
            return f.read().splitlines()


class ProgressWindow(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        base = "/dev/shm" if os.path.isdir("/dev/shm") else None
        cls.root = tempfile.mkdtemp(prefix="kvsfx-gui-", dir=base)
        try:
            cls.make_launchers()
        except BaseException:
            shutil.rmtree(cls.root, ignore_errors=True)  # tearDownClass will not run
            raise

    @classmethod
    def make_launchers(cls):
        payload = os.path.join(cls.root, "payload")
        os.mkdir(payload)
        shutil.copy(OPTIONS.probe, os.path.join(payload, "gui_probe.exe"))
        with open(os.path.join(payload, "data.bin"), "wb") as f:
            f.write(os.urandom(12 << 20))
        cls.quick = cls.pack(payload, "quick.exe", "--title", "kvsfx GUI Test", "--run", "gui_probe.exe")
        cls.untitled = cls.pack(payload, "untitled.exe", "--run", "gui_probe.exe")
        cls.no_window = cls.pack(payload, "nowindow.exe", "--title", "kvsfx GUI Test", "--no-progress",
                                 "--run", "gui_probe.exe")
        # Slow enough to be still extracting when the keys arrive.
        with open(os.path.join(payload, "more.bin"), "wb") as f:
            for _ in range(24):
                f.write(os.urandom(8 << 20))
        cls.slow = cls.pack(payload, "slow.exe", "--title", "kvsfx Slow Test", "--run", "gui_probe.exe")

    @classmethod
    def pack(cls, payload, name, *options):
        output = os.path.join(cls.root, name)
        subprocess.run(runner() + [OPTIONS.pack, "--stub", native(OPTIONS.stub), "--level", "1", *options,
                                   "-C", native(payload), "-o", native(output)],
                       check=True, capture_output=True, timeout=600)
        return output

    def setUp(self):
        # Each test's own parent folder for the work folder (/T:).
        self.temp = tempfile.mkdtemp(prefix="temp-", dir=self.root)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def read_box(self, caption):
        """Waits for a message box, keeps a screenshot, returns its text after OK."""
        self.assertIsNotNone(wait_for_window(caption, 60), "no box %r" % caption)
        time.sleep(0.5)
        shot("box_" + caption.replace(" ", "_"))
        result = subprocess.run(runner() + [OPTIONS.msgbox, caption, "30000"], capture_output=True,
                                text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.strip()

    def test_window_opens_centred_with_title_and_ends_full_and_hidden(self):
        run = Launcher(self, self.quick, caption="kvsfx GUI Test", hold_ms=1500)
        window = wait_for_window("kvsfx GUI Test", 120, run.process)
        self.assertIsNotNone(window, "the progress window did not appear")
        shot("titled_window")
        x, y, width, height = geometry(window)
        self.assertAlmostEqual(x + width / 2, SCREEN[0] / 2, delta=3)
        self.assertAlmostEqual(y + height / 2, SCREEN[1] / 2, delta=20)  # frame above
        run.finish()
        lines = run.probe()
        self.assertIsNotNone(lines, "the program did not run")
        # When the program starts, the window is hidden (not yet destroyed)
        # and its bar is full.
        self.assertIn("window hidden", lines)
        bar = [l.split() for l in lines if l.startswith("bar ")]
        self.assertTrue(bar, lines)
        self.assertEqual(bar[0][1], bar[0][2])
        self.assertGreater(int(bar[0][2]), 12 << 20)
        self.assertTrue(any(l.startswith("cwd ") and "kv_ext_temp_" in l for l in lines), lines)

    def test_window_without_title_says_loading(self):
        run = Launcher(self, self.untitled, caption="Loading")
        window = wait_for_window("Loading", 120, run.process)
        self.assertIsNotNone(window, "no window named Loading")
        shot("loading_window")
        run.finish()
        self.assertIn("window hidden", run.probe())

    def cancel_with(self, key):
        run = Launcher(self, self.slow, caption="kvsfx Slow Test")
        window = wait_for_window("kvsfx Slow Test", 120, run.process)
        self.assertIsNotNone(window, "the progress window did not appear")
        time.sleep(1.0)
        shot("before_" + key.replace("+", "_"))
        press(window, key)
        self.assertEqual(self.read_box("Status"), "Extraction Cancelled")
        run.finish(code=2)
        self.assertIsNone(run.probe(), "the program was started after a cancel")

    def test_escape_cancels(self):
        self.cancel_with("Escape")

    def test_alt_f4_cancels(self):
        self.cancel_with("alt+F4")

    def test_enter_hides_the_window_and_the_run_completes(self):
        run = Launcher(self, self.slow, caption="kvsfx Slow Test")
        window = wait_for_window("kvsfx Slow Test", 120, run.process)
        self.assertIsNotNone(window, "the progress window did not appear")
        time.sleep(1.0)
        press(window, "Return")
        deadline = time.monotonic() + 10
        while visible_windows("kvsfx Slow Test") and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(visible_windows("kvsfx Slow Test"), [], "Enter did not hide the window")
        self.assertIsNone(run.process.poll(), "the run should still be going on")
        shot("after_enter")
        run.finish()
        lines = run.probe()
        self.assertIsNotNone(lines, "the program did not run")
        self.assertIn("end", lines)

    def test_silent_run_reports_a_file_without_block_in_boxes_named_after_it(self):
        plain = os.path.join(self.root, "nodata.exe")
        shutil.copy(OPTIONS.stub, plain)
        run = Launcher(self, plain, ("/S",))
        self.assertEqual(self.read_box("nodata"), "Data segment not found.")
        self.assertTrue(self.read_box("nodata").startswith("The central directory was not found"))
        run.finish(code=1)
        self.assertIsNone(run.probe())

    def test_failures_are_told_in_boxes_also_with_silent_switch(self):
        with open(OPTIONS.probe, "rb") as f:
            probe = f.read()
        with open(OPTIONS.stub, "rb") as f:
            stub = f.read()
        good = ("gui_probe.exe", probe, {"password": PASSWORD})
        cases = [("badcrc", [good, ("bad.txt", b"x" * 5000, {"password": PASSWORD, "bad_crc": True})],
                  'Could not extract "bad.txt": Crc mismatched'),
                 ("notaprogram", [("gui_probe.exe", b"just text\r\n" * 100, {"password": PASSWORD})],
                  'Could not start "gui_probe.exe": ')]
        for name, entries, text in cases:
            with self.subTest(case=name):
                image = os.path.join(self.root, name + ".exe")
                with open(image, "wb") as f:
                    f.write(assemble(stub, config_text(run="gui_probe.exe", use_pw="1"), make_zip(entries)))
                run = Launcher(self, image, ("/S",))
                self.assertTrue(self.read_box(name).startswith(text))
                run.finish(code=1)
                self.assertIsNone(run.probe(), "the program was started")

    def test_no_window_with_prog_0_or_silent_switch(self):
        for image, args in ((self.no_window, ()), (self.quick, ("/S",))):
            with self.subTest(image=os.path.basename(image), args=args):
                run = Launcher(self, image, args, caption="kvsfx GUI Test", hold_ms=500)
                seen = []
                while run.process.poll() is None:
                    seen += visible_windows("kvsfx GUI Test") + visible_windows("Loading")
                    time.sleep(0.1)
                run.finish()
                self.assertEqual(seen, [], "a window appeared")
                lines = run.probe()
                self.assertIsNotNone(lines, "the program did not run")
                self.assertIn("window absent", lines)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    for name in ("runner", "stub", "pack", "probe", "msgbox"):
        parser.add_argument("--" + name, required=True)
    OPTIONS, rest = parser.parse_known_args()
    # A new Wine prefix is made on first use; making it with a display can
    # stall, so it is made before anything is shown.
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    if subprocess.run(runner() + [OPTIONS.msgbox], env=env, capture_output=True, timeout=300).returncode == 77:
        print("the build's Windows programs cannot run here; skipped")
        sys.exit(77)
    # That Wine session has a desktop without a display: let it end first.
    subprocess.run(["wineserver", "-w"], capture_output=True, timeout=300)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
