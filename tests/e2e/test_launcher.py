#!/usr/bin/env python3
"""End-to-end tests of the launcher: launcher files made by kvsfx-pack and
assembled byte by byte, run the way a user runs them. Every case checks the
exit code (0 ran, 1 failed, 2 cancelled), that the work folder is gone
afterwards and that nothing was written outside it."""

import argparse
import os
import random
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data"))
from ziptools import PASSWORD, assemble, config_text, make_zip  # noqa: E402
from zip_forge import raw_zip  # noqa: E402

OPTIONS = None


class Platform:
    """How a launcher file is started and how its paths look."""

    def __init__(self, options):
        self.windows = options.stub.lower().endswith(".exe")
        self.runner = options.runner.split() if options.runner else []
        self.stub = open(options.stub, "rb").read()
        self.probe = open(options.probe, "rb").read()
        self.probe_path = options.probe
        self.pack = options.pack
        self.program = "probe.exe" if self.windows else "probe"

    def native(self, path):
        return "Z:" + path.replace("/", "\\") if self.windows else path

    def run(self, launcher, args, env):
        return subprocess.run(self.runner + [launcher] + args, env=env, capture_output=True,
                              text=True, errors="replace", timeout=300)


class LauncherCase(unittest.TestCase):
    run_timeout = 300  # seconds for one run of a launcher file

    def setUp(self):
        self.p = PLATFORM
        self.root = tempfile.mkdtemp(prefix="kvsfx-e2e-")
        self.temp = os.path.join(self.root, "temp")      # the launcher's temporary folder
        self.cwd = os.path.join(self.root, "cwd")        # where the launcher is started
        self.dist = os.path.join(self.root, "dist")      # where the launcher file lies
        for d in (self.temp, self.cwd, self.dist):
            os.mkdir(d)
        self.probe_out = os.path.join(self.root, "probe.txt")

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def payload(self, password=PASSWORD, extra=()):
        opts = {"password": password} if password else {}
        return [(self.p.program, self.p.probe, opts),
                ("data/", None, {}),
                ("data/hello.txt", b"hello\n" * 1000, opts)] + list(extra)

    def command(self, image, args=(), name=None, probe_out=None, **probe_env):
        """Writes the launcher file; returns (argv, environment) to start it."""
        name = name or ("setup.exe" if self.p.windows else "launcher")
        path = os.path.join(self.dist, name)
        with open(path, "wb") as f:
            f.write(image)
        os.chmod(path, 0o755)
        env = dict(os.environ, **probe_env)
        if not self.p.windows:  # Wine keeps files of its own in $TMPDIR
            env["TMPDIR"] = self.temp
        env["KVSFX_PROBE_OUT"] = self.p.native(probe_out or self.probe_out)
        args = list(args)
        if self.p.windows and not any(a.upper().startswith("/T:") for a in args):
            args.append("/T:" + self.p.native(self.temp))
        if self.p.windows and "/S" not in args:
            args.append("/S")
        self.path = path
        return self.p.runner + [path] + args, env

    def probe_lines(self, probe_out=None):
        probe_out = probe_out or self.probe_out
        if not os.path.exists(probe_out):
            return []
        with open(probe_out) as f:
            return f.read().splitlines()

    def launch(self, image, args=(), name=None, code=0):
        """Writes the launcher file, runs it, returns (result, probe lines)."""
        name = name or ("setup.exe" if self.p.windows else "launcher")
        argv, env = self.command(image, args, name)
        return self.run_launcher(argv, env, name, code)

    def run_launcher(self, argv, env, name, code=0):
        """Runs the launcher file written by command(), returns (result, probe lines)."""
        result = subprocess.run(argv, env=env, cwd=self.cwd, capture_output=True, text=True,
                                errors="replace", timeout=self.run_timeout)
        lines = self.probe_lines()
        self.assertEqual(result.returncode, code, result.stderr)
        self.assertEqual(os.listdir(self.temp), [], "work folder left behind")
        self.assertEqual(os.listdir(self.cwd), [], "written into the current folder")
        self.assertEqual(sorted(os.listdir(self.dist)), [name], "written beside the launcher file")
        return result, lines

    def image(self, entries=None, **config):
        config.setdefault("run", self.p.program)
        config.setdefault("use_pw", "1")
        entries = self.payload() if entries is None else entries
        return assemble(self.p.stub, config_text(**config), make_zip(entries))


class Runs(LauncherCase):
    def test_normal_run_forwards_arguments_and_source(self):
        _, lines = self.launch(self.image(), ["plain", "with space", 'quo"te', "trail\\"])
        args = [l[4:] for l in lines if l.startswith("arg ")]
        expected = ["plain", "with space", 'quo"te', "trail\\"]
        if self.p.windows:
            expected += [a for a in args if a.upper().startswith(("/T:", "/S"))]
            expected = [a for a in args if not a.startswith("SFXSOURCE:")]
        self.assertEqual(args[: len(expected)], expected)
        self.assertEqual(args[-1], "SFXSOURCE:" + self.p.native(self.path))
        self.assertIn("file data/hello.txt", lines)
        self.assertTrue(lines[args.__len__()].startswith("cwd "))
        self.assertIn("kv_ext_temp_0", [l for l in lines if l.startswith("cwd ")][0])

    def test_silent_switch_and_prog_zero_still_run(self):
        for args, prog in ((["/S"], "1"), ([], "0"), (["/silent"], "1")):
            with self.subTest(args=args, prog=prog):
                if os.path.exists(self.probe_out):
                    os.remove(self.probe_out)
                _, lines = self.launch(self.image(prog=prog), args)
                self.assertIn("end", lines)

    def test_parent_folder_switch(self):
        parent = os.path.join(self.root, "parent")
        os.mkdir(parent)
        sep = "\\" if self.p.windows else "/"
        _, lines = self.launch(self.image(), ["/T:" + self.p.native(parent) + sep + sep])
        cwd = [l[4:] for l in lines if l.startswith("cwd ")][0]
        self.assertEqual(cwd, self.p.native(parent) + sep + "kv_ext_temp_0")
        self.assertEqual(os.listdir(parent), [])

    def test_missing_parent_falls_back_to_temporary_folder(self):
        if self.p.windows:
            self.skipTest("the Windows runs always pass /T:")
        _, lines = self.launch(self.image(), ["/T:" + os.path.join(self.root, "nowhere")])
        cwd = [l[4:] for l in lines if l.startswith("cwd ")][0]
        self.assertEqual(cwd, os.path.join(self.temp, "kv_ext_temp_0"))

    def test_taken_work_folder_names_are_skipped(self):
        os.mkdir(os.path.join(self.temp, "kv_ext_temp_0"))
        open(os.path.join(self.temp, "kv_ext_temp_1"), "w").close()
        image = self.image()
        path = os.path.join(self.dist, "launcher")
        # The taken names stay; the run uses kv_ext_temp_2 and removes only that.
        env = dict(os.environ, KVSFX_PROBE_OUT=self.p.native(self.probe_out))
        if not self.p.windows:
            env["TMPDIR"] = self.temp
        with open(path, "wb") as f:
            f.write(image)
        os.chmod(path, 0o755)
        args = ["/S", "/T:" + self.p.native(self.temp)] if self.p.windows else []
        result = subprocess.run(self.p.runner + [path] + args, env=env, cwd=self.cwd, capture_output=True)
        self.assertEqual(result.returncode, 0)
        with open(self.probe_out) as f:
            lines = f.read().splitlines()
        self.assertTrue([l for l in lines if l.startswith("cwd ")][0].endswith("kv_ext_temp_2"))
        self.assertEqual(sorted(os.listdir(self.temp)), ["kv_ext_temp_0", "kv_ext_temp_1"])

    def test_keys_in_another_order(self):
        image = assemble(self.p.stub, config_text(run=self.p.program, use_pw="1",
                                                   order=["UsePW", "Prog", "Message", "Run", "Title"]),
                         make_zip(self.payload()))
        _, lines = self.launch(image)
        self.assertIn("end", lines)


class BrokenFiles(LauncherCase):
    def assert_box(self, result, text):
        if not self.p.windows:
            self.assertIn(text, result.stderr)

    def test_no_block_at_all(self):
        result, lines = self.launch(self.p.stub, code=1)
        self.assertEqual(lines, [])
        if not self.p.windows:
            # Once for the mode check and once for the run.
            self.assertEqual(result.stderr.count("Data segment not found."), 2, result.stderr)

    def test_declared_length_above_limit_is_refused(self):
        image = assemble(self.p.stub, config_text(run=self.p.program, use_pw="1"),
                         make_zip(self.payload()), declared_length=1024)
        result, lines = self.launch(image, code=1)
        self.assertEqual(lines, [])
        self.assert_box(result, "Data segment not found.")

    def test_marker_window_limits(self):
        # A real stub is longer than 100000 bytes, so the window's far end is
        # where a launcher file can miss: a marker beginning at 1148570 is the
        # last one found. (The near end, 99999 against 100000, is covered by
        # the block reader's own tests on hand-made files.)
        config = config_text(run=self.p.program, use_pw="1")
        archive = make_zip(self.payload())
        _, lines = self.launch(assemble(self.p.stub, config, archive, marker_offset=1148570))
        self.assertIn("end", lines)
        os.remove(self.probe_out)
        os.remove(self.path)
        _, lines = self.launch(assemble(self.p.stub, config, archive, marker_offset=1148571), code=1)
        self.assertEqual(lines, [], "a marker beyond the window must not be found")

    def test_damaged_archive(self):
        image = assemble(self.p.stub, config_text(run=self.p.program, use_pw="1"), b"PK\3\4 this is no archive")
        result, lines = self.launch(image, code=1)
        self.assertEqual(lines, [])
        if not self.p.windows:
            self.assertIn("launcher: ", result.stderr)

    def test_empty_run_and_folders_only_archive(self):
        entries = [("a/", None, {}), ("a/b/", None, {}), ("c/", None, {})]
        for image in (self.image(run=""), self.image(entries=entries, run="")):
            _, lines = self.launch(image)
            self.assertEqual(lines, [])
            os.remove(self.path)


class FailClosed(LauncherCase):
    """An entry that cannot be extracted, a work folder that cannot be made
    or a program that cannot be started ends the run: nothing is started,
    the user is told what and why, exit code 1, nothing is left."""

    def assert_failed(self, result, lines, text):
        self.assertEqual(lines, [], "the program was started")
        if not self.p.windows:
            self.assertIn("launcher: " + text, result.stderr)

    def needs_spawn_errors(self):
        if self.p.runner and not self.p.windows:
            # qemu-user runs a spawn's child as a fork: a failed exec in it
            # never reaches the launcher (on the machine itself it does).
            self.skipTest("spawn failures are not reported under user-mode emulation")

    def test_bad_entry_in_the_middle_stops_the_run(self):
        cases = [("bad-crc.txt", {"password": PASSWORD, "bad_crc": True}, "Crc mismatched"),
                 ("other-password.txt", {"password": b"not the password"},
                  "Incorrect password set for the file being decrypted"),
                 ("../escaped.txt", {"password": PASSWORD}, "Entry path leaves the target folder")]
        for name, opts, why in cases:
            with self.subTest(entry=name):
                extra = [(name, b"x" * 5000, opts), ("late.txt", b"after the failure", {"password": PASSWORD})]
                result, lines = self.launch(self.image(entries=self.payload(extra=extra)), code=1)
                self.assert_failed(result, lines, 'Could not extract "%s": %s' % (name, why))
                self.assertNotIn("escaped.txt", os.listdir(self.root))
                os.remove(self.path)

    def test_missing_program(self):
        self.needs_spawn_errors()
        result, lines = self.launch(self.image(run="nothing-here"), code=1)
        why = "The system cannot find the file specified." if self.p.windows else "No such file or directory"
        self.assert_failed(result, lines, 'Could not start "nothing-here": ' + why)

    def test_work_folder_that_cannot_be_made(self):
        parent = os.path.join(self.root, "plain-file")
        open(parent, "w").close()
        result, lines = self.launch(self.image(), ["/T:" + self.p.native(parent)], code=1)
        why = "The system cannot find the path specified." if self.p.windows else "Not a directory"
        self.assert_failed(result, lines, 'Could not create the work folder "%s": %s'
                           % (self.p.native(os.path.join(parent, "kv_ext_temp_0")), why))

    def small_mount(self, options):
        """A small tmpfs of our own as the work folder's parent (root only)."""
        mount = os.path.join(self.root, "mount")
        os.mkdir(mount)
        if os.geteuid() != 0:
            self.skipTest("mounting a small tmpfs needs root")
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", mount], capture_output=True)
        if done.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: " + done.stderr.decode(errors="replace").strip())
        # Cleanups run after tearDown, last first: unmount, then remove the folder
        # that tearDown could not remove while the file system was mounted on it.
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.addCleanup(subprocess.run, ["umount", "-l", mount], capture_output=True)
        return mount

    def test_disk_full(self):
        mount = self.small_mount("size=2m")
        extra = [("big.bin", os.urandom(3 << 20), {}), ("late.txt", b"after the failure", {})]
        result, lines = self.launch(self.image(entries=self.payload(extra=extra)),
                                    ["/T:" + self.p.native(mount)], code=1)
        # The declared sizes do not fit: refused before anything is written.
        folder = self.p.native(os.path.join(mount, "kv_ext_temp_0"))
        self.assert_failed(result, lines, 'Not enough free space to extract into "%s": the payload needs 4 MB, '
                           '2 MB free.' % folder)
        self.assertEqual(os.listdir(mount), [], "work folder left on the full disk")

    def test_disk_full_while_writing(self):
        # Room for the bytes but for only a few files: the free-space check
        # passes and the file system refuses a file part-way through the run.
        mount = self.small_mount("size=16m,nr_inodes=8")
        extra = [("f%02d.txt" % i, b"small file\n", {}) for i in range(20)]
        result, lines = self.launch(self.image(entries=self.payload(extra=extra)),
                                    ["/T:" + self.p.native(mount)], code=1)
        self.assertEqual(lines, [], "the program was started")
        if not self.p.windows:
            self.assertRegex(result.stderr, r'launcher: Could not extract "f\d\d\.txt": Disk full')
        self.assertEqual(os.listdir(mount), [], "work folder left on the full disk")

    def test_program_the_system_refuses_to_start(self):
        # Not a program at all, under a program's name. (A noexec work-folder
        # parent is refused before anything is extracted: test_options.py.)
        self.needs_spawn_errors()
        entries = [(self.p.program, b"just text\r\n" * 100, {"password": PASSWORD})]
        result, lines = self.launch(self.image(entries=entries), code=1)
        self.assertEqual(lines, [])
        if not self.p.windows:
            self.assert_failed(result, lines, 'Could not start "probe": Exec format error')


class StopsAndSweeps(LauncherCase):
    """Signals during the extraction and while the program runs, runs that
    were killed, and many runs at once on one parent."""

    def slow_image(self):
        # The small first entry shows that extraction has begun; the large
        # one keeps it going, encrypted and with enough compressed data
        # (about 480 KB) to be decrypted on a second thread.
        big = bytearray(160 << 20)
        rnd = random.Random(5)
        for at in range(0, len(big), 2048):
            big[at] = rnd.getrandbits(8)
        entries = [("first.txt", b"first", {}), ("big.bin", bytes(big), {"password": PASSWORD})]
        return self.image(entries=entries + self.payload())

    def start(self, image, args=(), name=None, **probe_env):
        argv, env = self.command(image, args, name, **probe_env)
        # No core file from SIGQUIT.
        process = subprocess.Popen(argv, env=env, cwd=self.cwd, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, preexec_fn=lambda: resource.setrlimit(
                                       resource.RLIMIT_CORE, (0, 0)))
        def stop():
            if process.returncode is None:
                process.kill()
                process.communicate()
        self.addCleanup(stop)
        return process

    def wait_until(self, condition, process, what):
        deadline = time.monotonic() + 60
        while not condition():
            self.assertIsNone(process.poll(), "the launcher ended before " + what)
            self.assertLess(time.monotonic(), deadline, "no " + what)
            time.sleep(0.001)

    def pause_mid_extraction(self, process, folder="kv_ext_temp_0"):
        first = os.path.join(self.temp, folder, "first.txt")
        self.wait_until(lambda: os.path.exists(first), process, "extraction")
        process.send_signal(signal.SIGSTOP)
        self.assertFalse(os.path.exists(self.probe_out), "extraction ended before the signal")

    def test_signals_during_a_silent_extraction(self):
        if self.p.windows:
            self.skipTest("Linux signals")
        image = self.slow_image()
        for number, code in ((signal.SIGTERM, -signal.SIGTERM), (signal.SIGHUP, -signal.SIGHUP),
                             (signal.SIGQUIT, -signal.SIGQUIT), (signal.SIGINT, 2)):
            with self.subTest(signal=number.name):
                process = self.start(image, ["/S"])
                self.pause_mid_extraction(process)
                process.send_signal(number)
                process.send_signal(signal.SIGCONT)
                _, err = process.communicate(timeout=120)
                self.assertEqual(process.returncode, code, err)
                self.assertEqual(os.listdir(self.temp), [], "work folder left behind")
                self.assertFalse(os.path.exists(self.probe_out), "the program was started")
                self.assertEqual(b"Status: Extraction Cancelled" in err, number == signal.SIGINT, err)

    def test_sigterm_while_the_program_runs_reaches_it(self):
        if self.p.windows:
            self.skipTest("Linux signals")
        process = self.start(self.image(), ["/S"], KVSFX_PROBE_AWAIT_SIGNAL="1")
        self.wait_until(lambda: "waiting" in self.probe_lines(), process, "program start")
        process.send_signal(signal.SIGTERM)
        process.communicate(timeout=120)
        self.assertEqual(process.returncode, -signal.SIGTERM)
        self.assertIn("signal %d" % signal.SIGTERM, self.probe_lines())
        self.assertIn("end", self.probe_lines())
        self.assertEqual(os.listdir(self.temp), [], "work folder left behind")

    def test_killed_run_is_swept_by_the_next_while_a_live_one_is_left(self):
        # A live run holds kv_ext_temp_0 while its program runs.
        live_out = os.path.join(self.root, "live.txt")
        release = os.path.join(self.root, "release")
        live = self.start(self.image(), name="live" + (".exe" if self.p.windows else ""),
                          probe_out=live_out, KVSFX_PROBE_HOLD_UNTIL=self.p.native(release))
        self.wait_until(lambda: "waiting" in self.probe_lines(live_out), live, "the live run's program")
        # A run killed mid-extraction leaves kv_ext_temp_1.
        killed = self.start(self.slow_image(), name="killed" + (".exe" if self.p.windows else ""))
        self.wait_until(lambda: os.path.exists(os.path.join(self.temp, "kv_ext_temp_1", "first.txt")),
                        killed, "extraction")
        killed.kill()
        killed.communicate()
        self.assertIn("kv_ext_temp_1", os.listdir(self.temp))
        # Names the sweep must never touch.
        keep = ["kv_ext_temp_x", "kv_ext_temp_08x", "other"]
        for name in keep:
            os.makedirs(os.path.join(self.temp, name, "inside"))
        if not self.p.windows:
            os.makedirs(os.path.join(self.root, "target", "inside"))
            os.symlink(os.path.join(self.root, "target"), os.path.join(self.temp, "kv_ext_temp_7"))
            keep.append("kv_ext_temp_7")
            if os.geteuid() == 0:
                os.makedirs(os.path.join(self.temp, "kv_ext_temp_8", "inside"))
                os.chown(os.path.join(self.temp, "kv_ext_temp_8"), 4321, 4321)
                keep.append("kv_ext_temp_8")
        argv, env = self.command(self.image())
        result = subprocess.run(argv, env=env, cwd=self.cwd, capture_output=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(self.temp)), sorted(keep + ["kv_ext_temp_0"]))
        if not self.p.windows:
            self.assertTrue(os.path.isdir(os.path.join(self.root, "target", "inside")))
        self.assertTrue(os.path.isdir(os.path.join(self.temp, "kv_ext_temp_0", "data")),
                        "the live run's folder was touched")
        open(release, "w").close()
        live.communicate(timeout=120)
        self.assertEqual(live.returncode, 0)
        self.assertIn("file data/hello.txt", self.probe_lines(live_out))
        for name in keep:
            path = os.path.join(self.temp, name)
            os.remove(path) if os.path.islink(path) else shutil.rmtree(path)

    def test_many_runs_at_once_on_one_parent(self):
        count = 8 if self.p.windows else 32
        argv, env = self.command(self.image())
        runs = []
        for i in range(count):
            out = os.path.join(self.root, "probe-%d.txt" % i)
            env = dict(env, KVSFX_PROBE_OUT=self.p.native(out))
            runs.append((out, subprocess.Popen(argv, env=env, cwd=self.cwd, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.PIPE)))
        for out, process in runs:
            _, err = process.communicate(timeout=300)
            self.assertEqual(process.returncode, 0, err)
            lines = self.probe_lines(out)
            self.assertIn("file data/hello.txt", lines)
            self.assertIn("file " + self.p.program, lines)
        self.assertEqual(os.listdir(self.temp), [], "work folders left behind")


class PackedFiles(LauncherCase):
    def test_file_made_by_kvsfx_pack(self):
        if not self.p.pack or self.p.windows:
            self.skipTest("kvsfx-pack runs natively")
        # Sizes around the reader's buffers and one of many chunks on a
        # worker; random bytes, so deflate cannot hide a slip.
        rnd = random.Random(28)
        files = {"docs/a b.txt": b"text", "empty.bin": b"", "one.bin": b"\0",
                 "docs/deeper/64k+1.bin": rnd.randbytes(65537),
                 "large.bin": rnd.randbytes(3 << 20) + b"z" * (2 << 20)}
        src = os.path.join(self.root, "payload")
        for name, data in list(files.items()) + [(self.p.program, self.p.probe)]:
            os.makedirs(os.path.dirname(os.path.join(src, name)), exist_ok=True)
            with open(os.path.join(src, name), "wb") as f:
                f.write(data)
        out = os.path.join(self.root, "packed")
        subprocess.run(self.p.runner + [self.p.pack, "--stub", OPTIONS.stub, "-C", src, "--run", self.p.program,
                                        "--no-progress", "-o", out], check=True, capture_output=True)
        with open(out, "rb") as f:
            image = f.read()
        _, lines = self.launch(image, ["x y"])
        self.assertIn("arg x y", lines)
        self.assertIn("file docs/a b.txt", lines)
        # The probes that report CRCs (unicode_probe, probe.sh) show every byte arrived.
        if any(l.startswith("crc ") for l in lines):
            for name, data in files.items():
                self.assertIn("crc %08x %s" % (zlib.crc32(data), name), lines)


class OneAndSeveralProcessors(LauncherCase):
    """On several processors entries are extracted by workers, on one
    (taskset -c 0) by the one-thread path: the same files reach the program,
    and a failing run reports the same entry, with the same message, the first
    failure in archive order whichever entry fails first in time."""

    def setUp(self):
        super().setUp()
        if not shutil.which("taskset") or len(os.sched_getaffinity(0)) < 2:
            self.skipTest("needs taskset and two processors")

    def on_both(self, entries, code, file_size_limit=None):
        def limits():
            if file_size_limit:
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))
        seen = []
        image = self.image(entries=self.payload(extra=entries))
        for one in (["taskset", "-c", "0"], []):
            argv, env = self.command(image)
            result = subprocess.run(one + argv, env=env, cwd=self.cwd, capture_output=True, text=True,
                                    errors="replace", timeout=self.run_timeout, preexec_fn=limits)
            self.assertEqual(result.returncode, code, result.stderr)
            self.assertEqual(os.listdir(self.temp), [], "work folder left behind")
            seen.append((result.stderr, self.probe_lines()))
            if os.path.exists(self.probe_out):
                os.remove(self.probe_out)
            os.remove(self.path)
        self.assertEqual(seen[0], seen[1])
        return seen[1]

    def test_same_outcome(self):
        # Encrypted in Python: slow, so a large entry of 1 MiB.
        large = os.urandom(1 << 20)
        text = b"".join(b"line %d of the text\n" % i for i in range(150000))
        pw = {"password": PASSWORD}
        good = [("a/large.bin", large, pw), ("a/text.txt", text, pw)] + \
               [("b/s%03d.txt" % i, b"small %d\n" % i * (i + 1), pw) for i in range(60)]
        stderr, lines = self.on_both(good, 0)
        self.assertTrue(lines, "the program did not run")
        cases = [
            ([("a/large.bin", text, pw), ("z.txt", b"small" * 900, dict(pw, bad_crc=True))], "z.txt", "Crc mismatched"),
            ([("a/large.bin", text, dict(pw, bad_crc=True)), ("z.txt", b"small" * 900, dict(pw, bad_crc=True))],
             "a/large.bin", "Crc mismatched"),
            ([("a/large.bin", text, pw), ("z.txt", b"small" * 900, {"password": b"other"})], "z.txt",
             "Incorrect password set for the file being decrypted"),
        ]
        for entries, name, why in cases:
            with self.subTest(entry=name, why=why):
                stderr, lines = self.on_both(entries, 1)
                self.assertEqual(lines, [], "the program was started")
                if not self.p.windows:
                    self.assertIn('launcher: Could not extract "%s": %s' % (name, why), stderr)

    def test_write_failure(self):
        # Files may grow to 1 MiB only: the large entry's write fails.
        if self.p.windows:
            self.skipTest("a file size limit is a POSIX resource limit")
        entries = [("a/large.bin", os.urandom(2 << 20), {}), ("z.txt", b"late", {})]
        stderr, lines = self.on_both(entries, 1, file_size_limit=1 << 20)
        self.assertEqual(lines, [])
        self.assertIn('launcher: Could not extract "a/large.bin": Disk full while accessing', stderr)


class HostileArchives(LauncherCase):
    """Archives that once crashed, hung or reached outside the work folder:
    each is a failed run (message, nothing started, exit 1, nothing left)."""

    def hostile(self, entries, this_disk=0):
        program = (self.p.program.encode(), self.p.probe, {"attributes": 0o100755 << 16})
        archive = raw_zip([program] + entries, this_disk=this_disk)
        return assemble(self.p.stub, config_text(run=self.p.program), archive)

    def assert_refused(self, image, text):
        result, lines = self.launch(image, code=1)
        self.assertEqual(lines, [], "the program was started")
        if not self.p.windows:
            self.assertIn(text, result.stderr)

    def test_descriptor_that_disagrees_with_the_record(self):
        text = b"descriptor\n" * 20
        co = zlib.compressobj(6, zlib.DEFLATED, -15)
        packed = co.compress(text) + co.flush()
        crc = zlib.crc32(text)
        zip64_descriptor = struct.pack("<IIQQ", 0x08074B50, crc, len(packed), len(text))
        entry = (b"d.txt", packed, {"method": 8, "flags": 8, "crc": crc, "csize": len(packed),
                                    "usize": len(text), "descriptor": zip64_descriptor})
        self.assert_refused(self.hostile([entry]), 'Could not extract "d.txt": Damaged or not a zip file')

    def test_name_declared_utf8_that_is_not(self):
        image = self.hostile([(b"bad \xff.txt", b"x", {"flags": 0x800})])
        self.assert_refused(image, "Entry name cannot be decoded on this system")

    def test_stored_entry_longer_than_its_size(self):
        image = self.hostile([(b"z.bin", bytes(70000), {"usize": 0, "crc": 0})])
        self.assert_refused(image, 'Could not extract "z.bin": Damaged or not a zip file')
        if self.p.pack and not self.p.windows:
            checked = subprocess.run(self.p.runner + [self.p.pack, "--test", self.path], capture_output=True,
                                     text=True, timeout=60)
            self.assertNotEqual(checked.returncode, 0)
            self.assertIn("FAILED  z.bin: ", checked.stdout)

    def test_names_of_the_work_folder_and_its_parent(self):
        wide_open = (0o40777 << 16) | 0x10
        if not self.p.windows:
            os.chmod(self.temp, 0o1777)
        # "./" is the work folder itself: nothing to do, its mode stays.
        _, lines = self.launch(self.hostile([(b"./", b"", {"attributes": wide_open})]))
        self.assertIn("end", lines)
        if not self.p.windows:
            self.assertIn("cwdmode 700", lines)
        os.remove(self.probe_out)
        os.remove(self.path)
        # ".." with a zero byte behind it once reached the temporary folder.
        image = self.hostile([(b"..\0/", b"", {"attributes": wide_open})])
        self.assert_refused(image, 'Could not extract "..?/": Entry path leaves the target folder')
        if not self.p.windows:
            self.assertEqual(os.stat(self.temp).st_mode & 0o7777, 0o1777)

    def test_split_archive(self):
        # The end record names volume 1: the launcher never looks for volume files.
        self.assert_refused(self.hostile([], this_disk=1), "Damaged or not a zip file")

    def test_names_windows_would_not_keep(self):
        if not self.p.windows:
            self.skipTest("ordinary names on Linux")
        for name in (b"con", b"docs/aux.txt", b"a.txt:stream", b"dot.", b"blank "):
            with self.subTest(name=name):
                try:
                    self.assert_refused(self.hostile([(name, b"x", {"host": 0, "attributes": 0x20})]), "")
                finally:
                    for left in (self.probe_out, os.path.join(self.dist, "setup.exe")):
                        if os.path.exists(left):
                            os.remove(left)


def can_start(program):
    """Whether the kernel starts PROGRAM (an ELF file of another machine needs binfmt support)."""
    try:
        subprocess.run([program], env={}, capture_output=True, timeout=60)
        return True
    except OSError:
        return False


def main(probe_args=()):
    """Runs the test cases of the calling script; probe_args: what the probe
    is started with to see whether this machine can run it."""
    global OPTIONS, PLATFORM
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--stub", required=True)
    parser.add_argument("--pack", default="")
    parser.add_argument("--probe", required=True)
    parser.add_argument("--runner", default="")
    parser.add_argument("--script-probe", default="",
                        help="probe script to start instead where this machine cannot start --probe itself")
    OPTIONS, rest = parser.parse_known_args()
    if OPTIONS.script_probe and not can_start(OPTIONS.probe):
        # A launcher under emulation starts its program through the kernel,
        # which runs a script but (without binfmt support) no foreign program.
        print("this machine cannot start %s directly; the payload program is %s"
              % (OPTIONS.probe, OPTIONS.script_probe))
        OPTIONS.probe = OPTIONS.script_probe
    PLATFORM = Platform(OPTIONS)
    if PLATFORM.runner:
        # The runner answers 77 when this machine cannot run such programs.
        env = {k: v for k, v in os.environ.items() if k != "KVSFX_PROBE_OUT"}
        if subprocess.run(PLATFORM.runner + [OPTIONS.probe] + list(probe_args), env=env, capture_output=True).returncode == 77:
            print("the Windows programs of this build cannot run here; skipped")
            sys.exit(77)
    if len(PLATFORM.stub) > 1148570:
        # Sanitizer builds make stubs too long to carry a data block.
        print(f"stub of {len(PLATFORM.stub)} bytes cannot carry a data block; skipped")
        sys.exit(77)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
