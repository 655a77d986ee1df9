#!/usr/bin/env python3
"""The Linux stub runs in an empty root: a folder that holds only the
launcher file and an empty tmp/ (no /proc, no libraries, no /etc). The
launcher then finds its own file from argument 0, extracts, starts the
payload's program (a static probe) and removes its work folder.

usage: empty_root_test.py STUB PACK PROBE    (exit 77: skipped)"""
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77


def enter_root_command(root):
    """How this process may start a program inside root, or None."""
    sbin = os.pathsep.join([os.environ.get("PATH", ""), "/usr/sbin", "/sbin"])
    chroot = shutil.which("chroot", path=sbin)
    if os.geteuid() == 0 and chroot:
        return [chroot, root]
    unshare = shutil.which("unshare", path=sbin)
    if unshare:
        return [unshare, "--user", "--map-root-user", "--root=" + root]
    return None


def main():
    stub, pack, probe = sys.argv[1:4]
    scratch = tempfile.mkdtemp(prefix="kvsfx-root-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    try:
        root = os.path.join(scratch, "root")
        payload = os.path.join(scratch, "payload")
        os.makedirs(os.path.join(root, "tmp"))
        os.chmod(os.path.join(root, "tmp"), 0o1777)
        os.mkdir(payload)
        shutil.copy(probe, os.path.join(payload, "probe"))

        enter = enter_root_command(root)
        if enter is None:
            print("SKIP: neither chroot (as root) nor unshare is available")
            return SKIP
        # Can this process start anything in a new root at all? The static
        # probe answers that, then leaves the root again.
        shutil.copy(probe, os.path.join(root, "check"))
        check = subprocess.run(enter + ["/check"], env={}, capture_output=True, text=True)
        os.remove(os.path.join(root, "check"))
        if check.returncode != 0:
            print("SKIP: this process may not start a program in a new root: " + check.stderr.strip())
            return SKIP

        subprocess.run([pack, "--stub", stub, "-C", payload, "--run", "probe", "--no-progress",
                        "-o", os.path.join(root, "launcher")], check=True, stdout=subprocess.DEVNULL)
        assert sorted(os.listdir(root)) == ["launcher", "tmp"]
        result = subprocess.run(enter + ["/launcher", "one"], env={}, capture_output=True, text=True,
                                timeout=60)
        print(result.stdout + result.stderr)
        assert result.returncode == 0, "launcher exit code %d" % result.returncode
        lines = result.stdout.splitlines()
        assert "cwd=/tmp/kv_ext_temp_0" in lines, "probe did not run in the work folder"
        assert lines[-2:] == ["arg=one", "arg=SFXSOURCE:/launcher"], "arguments: %r" % lines
        assert os.listdir(os.path.join(root, "tmp")) == [], "work folder left behind"
        print("PASS")
        return 0
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
