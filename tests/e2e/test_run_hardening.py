#!/usr/bin/env python3
"""End-to-end tests of the launcher's guards around the run: where the work
folder goes, which arguments count as switches, programs that Windows starts
through cmd.exe, and the free-space check. Launcher files are assembled byte
by byte around the build's stub and probe, as in test_launcher.py."""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_launcher  # noqa: E402
from test_launcher import LauncherCase  # noqa: E402


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


if __name__ == "__main__":
    test_launcher.main()
