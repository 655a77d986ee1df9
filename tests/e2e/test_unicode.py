#!/usr/bin/env python3
"""End-to-end tests of names and paths beyond ASCII: one payload stored the
way each producer stores names, non-ASCII arguments, /T: folder and launcher
path. The started program (unicode_probe) lists its folder with the system's
wide API and reports names in UTF-8 with the CRC-32 of each file."""

import io
import os
import shutil
import subprocess
import sys
import unittest
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_launcher  # noqa: E402
from test_launcher import LauncherCase  # noqa: E402
from ziptools import assemble, config_text, make_zip, unicode_path_field  # noqa: E402


class UnicodeCase(LauncherCase):
    def launch(self, image, args=(), name=None, code=0):
        """As LauncherCase.launch, for launcher files under nested, non-ASCII
        names; arguments reach Wine and the probe's report is read as UTF-8."""
        name = name or ("setup.exe" if self.p.windows else "launcher")
        os.makedirs(os.path.dirname(os.path.join(self.dist, name)), exist_ok=True)
        argv, env = self.command(image, args, name, LC_ALL="C.UTF-8")
        result = subprocess.run(argv, env=env, cwd=self.cwd,
                                capture_output=True, text=True, errors="replace", timeout=300)
        lines = []
        if os.path.exists(self.probe_out):
            with open(self.probe_out, encoding="utf-8", errors="surrogateescape") as f:
                lines = f.read().splitlines()
        self.assertEqual(result.returncode, code, result.stderr)
        self.assertEqual(os.listdir(self.temp), [], "work folder left behind")
        self.assertEqual(os.listdir(self.cwd), [], "written into the current folder")
        self.assertEqual(sorted(os.listdir(self.dist)), [name.split("/")[0]], "written beside the launcher file")
        return result, lines


# Names beyond ASCII: Latin-1 range, CJK, an emoji and a musical symbol
# (surrogate pairs in UTF-16) and a combining accent that must stay apart.
UNICODE_FILES = ["r\u00e9sum\u00e9.txt", "\u65e5\u672c\u8a9e/\u30c6\u30b9\u30c8.txt",
                 "emoji \U0001F600.txt", "cafe\u0301.txt", "clef \U0001D11E.txt"]
UNICODE_ARGS = ["\u0141\u00f3d\u017a", "\u65e5\u672c \u8a9e", "\U0001F600 e\u0301"]


class UnicodeNames(UnicodeCase):
    """The same payload from every producer's way of storing names arrives
    with exactly its names and bytes, as the started program sees them."""

    def content(self, name):
        return ("contents of " + name + "\n").encode() * 7

    def write_tree(self, root):
        os.makedirs(root)
        with open(os.path.join(root, self.p.program), "wb") as f:
            f.write(self.p.probe)
        os.chmod(os.path.join(root, self.p.program), 0o755)
        for name in UNICODE_FILES:
            path = os.path.join(root, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(self.content(name))
        return root

    def assert_payload(self, lines, names=UNICODE_FILES):
        self.assertIn("end", lines)
        for name in names:
            crc = "%08x" % zlib.crc32(self.content(name))
            self.assertIn("file " + name, lines)
            self.assertIn("crc %s %s" % (crc, name), lines)
        self.assertEqual(lines.count("file \u65e5\u672c\u8a9e/"), 1)
        files = [l[5:] for l in lines if l.startswith("file ") and not l.endswith("/")]
        self.assertEqual(sorted(files), sorted(list(names) + [self.p.program]))

    def run_archive(self, archive, **config):
        config.setdefault("use_pw", "0")
        _, lines = self.launch(assemble(self.p.stub, config_text(run=self.p.program, **config), archive),
                               UNICODE_ARGS)
        self.assertEqual([l[4:] for l in lines if l.startswith("arg ")][:3], UNICODE_ARGS)
        return lines

    def tool_archive(self, command):
        tree = self.write_tree(os.path.join(self.root, "tree"))
        out = os.path.join(self.root, "payload.zip")
        subprocess.run(command + [out, "."], cwd=tree, check=True, capture_output=True,
                       env=dict(os.environ, LC_ALL="C.UTF-8"))
        with open(out, "rb") as f:
            data = f.read()
        shutil.rmtree(tree)
        os.remove(out)
        return data

    def test_kvsfx_pack(self):
        # kvsfx-pack finds the stub beside itself in a folder whose path is
        # longer than 260 bytes in UTF-8 (but not in characters).
        tools = os.path.join(self.root, "\u65e5\u672c" * 40, "\u8a9e" * 40)
        os.makedirs(tools)
        pack = shutil.copy(self.p.pack, tools)
        shutil.copy(test_launcher.OPTIONS.stub, os.path.join(tools, "kvsfx.exe" if self.p.windows else "kvsfx"))
        tree = self.write_tree(os.path.join(self.root, "tree"))
        out = os.path.join(self.root, "packed")
        subprocess.run(self.p.runner + [pack, "--target", "windows" if self.p.windows else "linux",
                                        "-C", self.p.native(tree), "--run", self.p.program, "--no-progress",
                                        "-o", self.p.native(out)],
                       check=True, capture_output=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
        shutil.rmtree(os.path.dirname(tools))
        shutil.rmtree(tree)
        with open(out, "rb") as f:
            image = f.read()
        os.remove(out)
        _, lines = self.launch(image, UNICODE_ARGS)
        self.assert_payload(lines)

    def test_python_zipfile(self):
        buffer = io.BytesIO()
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
            info = zipfile.ZipInfo(self.p.program)
            info.external_attr = 0o100755 << 16
            z.writestr(info, self.p.probe)
            for name in UNICODE_FILES:
                z.writestr(name, self.content(name))
        self.assert_payload(self.run_archive(buffer.getvalue()))

    def test_7z(self):
        self.assert_payload(self.run_archive(self.tool_archive(["7z", "a", "-bd", "-tzip"])))

    def test_info_zip_raw_utf8(self):
        # Info-ZIP zip on Linux: raw UTF-8 names from host 3, no flag, no field.
        self.assert_payload(self.run_archive(self.tool_archive(["zip", "-q", "-r", "-X"])))

    def test_oem_names_with_unicode_path_fields(self):
        # As Info-ZIP zip writes on Windows: host 0, the name in the OEM code
        # page ('?' where it has no character), the real name in a 0x7075
        # field. One more name has no field: code page 437 alone.
        entries = [(self.p.program, self.p.probe, {})]
        for name in UNICODE_FILES:
            raw = name.encode("cp437", "replace")
            entries.append((name, self.content(name),
                            {"raw_name": raw, "host": 0, "extra": unicode_path_field(raw, name)}))
        cp437_name = "Gr\u00f6\u00dfe \u00bd \u2554.txt"
        entries.append((cp437_name, self.content(cp437_name), {"raw_name": cp437_name.encode("cp437"), "host": 0}))
        lines = self.run_archive(make_zip(entries))
        self.assert_payload(lines, UNICODE_FILES + [cp437_name])

    def test_paths_beyond_ascii(self):
        # The launcher file under a non-ASCII folder and name, its work folder
        # under a non-ASCII parent: arguments, SFXSOURCE and the work folder
        # arrive exactly, and the work folder is gone afterwards.
        parent = os.path.join(self.root, "temp \u0141\u00f3d\u017a \U0001F600")
        os.mkdir(parent)
        name = "\u65e5\u672c \u0141\u00f3d\u017a/setup \U0001F600" + (".exe" if self.p.windows else "")
        entries = [(self.p.program, self.p.probe, {})] + [(n, self.content(n), {}) for n in UNICODE_FILES]
        image = assemble(self.p.stub, config_text(run=self.p.program, use_pw="0"), make_zip(entries))
        _, lines = self.launch(image, UNICODE_ARGS + ["/T:" + self.p.native(parent)], name=name)
        args = [l[4:] for l in lines if l.startswith("arg ")]
        self.assertEqual(args[:3], UNICODE_ARGS)
        self.assertEqual(args[-1], "SFXSOURCE:" + self.p.native(os.path.join(self.dist, name)))
        sep = "\\" if self.p.windows else "/"
        self.assertIn("cwd " + self.p.native(parent) + sep + "kv_ext_temp_0", lines)
        self.assert_payload(lines)
        self.assertEqual(os.listdir(parent), [], "work folder left behind")


if __name__ == "__main__":
    test_launcher.main()
