#!/usr/bin/env python3
"""End-to-end tests of the optional launch keys: WaitTree (the whole process
tree is waited for before the payload is deleted), PassExitCode (the program's
exit code becomes the launcher's) and, on Linux, a temporary folder on a file
system mounted noexec. Launcher files are assembled byte by byte around the
options_probe program."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_launcher  # noqa: E402
from ziptools import PASSWORD, assemble, make_zip  # noqa: E402

HELLO = b"hello\n" * 1000


def config(program, *extra):
    """The seven lines a launcher file has always carried, then extra lines."""
    lines = ["<KV_ZCD>", "<Message/>", "<Title></Title>", "<Run>%s</Run>" % program,
             "<Prog>1</Prog>", "<UsePW>1</UsePW>"] + list(extra) + ["</KV_ZCD>"]
    return ("\r\n".join(lines) + "\r\n").encode()


class OptionsCase(unittest.TestCase):
    def setUp(self):
        self.p = test_launcher.PLATFORM
        self.root = tempfile.mkdtemp(prefix="kvsfx-options-")
        self.temp = os.path.join(self.root, "temp")
        os.mkdir(self.temp)
        self.report = os.path.join(self.root, "report.txt")
        self.mounts = []

    def tearDown(self):
        for mount in reversed(self.mounts):
            subprocess.run(["umount", mount], check=False)
        shutil.rmtree(self.root, ignore_errors=True)

    def image(self, *extra):
        opts = {"password": PASSWORD}
        entries = [(self.p.program, self.p.probe, opts), ("data/", None, {}),
                   ("data/hello.txt", HELLO, opts)]
        return assemble(self.p.stub, config(self.p.program, *extra), make_zip(entries))

    def launch(self, image, env=None, args=None, parent=None):
        """Runs the launcher file; returns (exit code, stderr, report lines).
        Standard streams go to files: a process left running must not hold
        the test up."""
        path = os.path.join(self.root, "setup.exe" if self.p.windows else "launcher")
        with open(path, "wb") as f:
            f.write(image)
        os.chmod(path, 0o755)
        run_env = dict(os.environ, KVSFX_PROBE_OUT=self.p.native(self.report), **(env or {}))
        if not self.p.windows:
            run_env.setdefault("TMPDIR", self.temp)
        args = list(args or [])
        if self.p.windows:
            args += ["/S", "/T:" + self.p.native(parent or self.temp)]
            # Wine hands only 8 bits of the exit code to Linux: the probe runs
            # the launcher and prints the whole code.
            command = self.p.runner + [self.p.probe_path, "--exit-code-of", self.p.native(path)] + args
        else:
            command = [path] + args
        with open(os.path.join(self.root, "out"), "w+") as out, open(os.path.join(self.root, "err"), "w+") as err:
            code = subprocess.run(command, env=run_env, stdout=out, stderr=err, timeout=300).returncode
            out.seek(0)
            err.seek(0)
            if self.p.windows:
                self.assertEqual(code, 0, err.read())
                code = int(out.read().split()[0])
            stderr = err.read()
        os.remove(path)
        return code, stderr, self.lines()

    def lines(self):
        if not os.path.exists(self.report):
            return []
        with open(self.report) as f:
            return f.read().splitlines()

    def wait_for_line(self, line):
        for _ in range(600):
            if line in self.lines():
                return True
            time.sleep(0.1)
        return False


class PassExitCode(OptionsCase):
    def test_program_exit_code_becomes_the_launchers(self):
        for code in (0, 1, 255, 3010):
            with self.subTest(code=code):
                got, stderr, lines = self.launch(self.image("<PassExitCode>1</PassExitCode>"),
                                                 env={"KVSFX_PROBE_EXIT": str(code)})
                self.assertTrue(lines and lines[0].startswith("started"), stderr)
                # A Linux exit status has 8 bits: exit(3010) arrives as 3010 % 256 = 194.
                self.assertEqual(got, code if self.p.windows else code % 256)
                self.assertEqual(os.listdir(self.temp), [])

    def test_old_configuration_and_unknown_keys_exit_with_zero(self):
        for extra in ((), ("<Future>1</Future>", "<PassExitCode>0</PassExitCode>")):
            with self.subTest(extra=extra):
                got, stderr, lines = self.launch(self.image(*extra), env={"KVSFX_PROBE_EXIT": "3"})
                self.assertTrue(lines and lines[0].startswith("started"), stderr)
                self.assertEqual(got, 0)


class WaitTree(OptionsCase):
    def test_descendant_reads_the_payload_before_it_is_deleted(self):
        got, stderr, lines = self.launch(self.image("<WaitTree>1</WaitTree>"), env={"KVSFX_PROBE_CHILD": "1"})
        self.assertEqual(got, 0, stderr)
        # The child had ended when the launcher returned.
        self.assertEqual(lines[1:], ["child read %d" % len(HELLO), "child end"], stderr)
        self.assertEqual(os.listdir(self.temp), [])

    def test_without_the_key_only_the_program_is_waited_for(self):
        release = os.path.join(self.root, "release")
        got, stderr, lines = self.launch(self.image("<Future>1</Future>"),
                                         env={"KVSFX_PROBE_CHILD": "1", "KVSFX_PROBE_RELEASE": self.p.native(release)})
        self.assertEqual(got, 0, stderr)
        self.assertNotIn("child end", lines, "the launcher waited for the child")
        # The payload is gone while the child still runs (on Windows the
        # running program file itself cannot be deleted and stays).
        work = os.path.join(self.temp, "kv_ext_temp_0")
        self.assertFalse(os.path.exists(os.path.join(work, "data", "hello.txt")))
        if not self.p.windows:
            self.assertFalse(os.path.exists(work))
        open(release, "w").close()
        self.assertTrue(self.wait_for_line("child end"), "the child did not end")
        self.assertIn("child missing", self.lines())


@unittest.skipIf(sys.platform != "linux", "noexec mounts are a Linux matter")
class NoexecTemporaryFolder(OptionsCase):
    def setUp(self):
        super().setUp()
        if self.p.windows:
            self.skipTest("noexec mounts are a Linux matter")
        self.noexec = os.path.join(self.root, "noexec")
        os.mkdir(self.noexec)
        if os.geteuid() != 0:
            self.skipTest("mounting a noexec tmpfs needs root")
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", "noexec,size=8m", "tmpfs", self.noexec],
                                capture_output=True, text=True)
        if result.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: " + result.stderr.strip())
        self.mounts.append(self.noexec)
        self.home = os.path.join(self.root, "home")
        os.mkdir(self.home)

    def started_in(self, lines):
        return [l[len("started "):] for l in lines if l.startswith("started ")]

    def test_falls_back_to_runtime_folder_then_cache(self):
        xdg = os.path.join(self.root, "xdg")
        os.mkdir(xdg, 0o700)
        env = {"TMPDIR": self.noexec, "XDG_RUNTIME_DIR": xdg, "HOME": self.home}
        got, stderr, lines = self.launch(self.image(), env=env)
        self.assertEqual(got, 0, stderr)
        self.assertEqual(self.started_in(lines), [os.path.join(xdg, "kv_ext_temp_0")])
        self.assertEqual(os.listdir(xdg), [])

        # No runtime folder: $HOME/.cache, made when missing.
        os.remove(self.report)
        env["XDG_RUNTIME_DIR"] = ""
        got, stderr, lines = self.launch(self.image(), env=env)
        self.assertEqual(got, 0, stderr)
        cache = os.path.join(self.home, ".cache")
        self.assertEqual(self.started_in(lines), [os.path.join(cache, "kv_ext_temp_0")])
        self.assertEqual(os.listdir(cache), [])
        self.assertEqual(os.listdir(self.noexec), [])

    def test_refused_when_no_folder_allows_programs(self):
        noexec_home = os.path.join(self.noexec, "home")
        os.makedirs(os.path.join(noexec_home, ".cache"))
        cases = (({"TMPDIR": self.noexec, "XDG_RUNTIME_DIR": self.noexec, "HOME": noexec_home}, [], self.noexec),
                 ({"TMPDIR": self.temp, "HOME": self.home}, ["/T:" + self.noexec], self.noexec))
        for env, args, named in cases:
            with self.subTest(args=args):
                got, stderr, lines = self.launch(self.image(), env=env, args=args)
                self.assertEqual(got, 1, stderr)
                self.assertIn(named, stderr)
                self.assertIn("noexec", stderr)
                self.assertEqual(lines, [])
                self.assertEqual(sorted(os.listdir(self.noexec)), ["home"])
                self.assertEqual(os.listdir(self.temp), [])


if __name__ == "__main__":
    test_launcher.main(probe_args=["--exit-code-of"])
