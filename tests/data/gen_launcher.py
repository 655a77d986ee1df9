"""Launcher files for the run's unit tests: a zero-filled image in place of
a stub, the data block, and an archive made byte by byte."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ziptools import PASSWORD, assemble, config_text, make_zip  # noqa: E402

out = os.path.join(sys.argv[1], "launcher")
os.makedirs(out, exist_ok=True)
image = bytes(4096)
enc = {"password": PASSWORD}


def write(name, config, entries=None, archive=None):
    data = assemble(image, config, archive if archive is not None else make_zip(entries))
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


three_files = [("a.txt", b"a" * 1000, enc), ("d/", None, {}), ("d/b.txt", bytes(range(256)) * 300, enc),
               ("empty.txt", b"", enc)]
write("titled.bin", config_text(title="Unit &amp; title", use_pw="1"), three_files)
write("untitled.bin", config_text(use_pw="1"), three_files)
write("no_password.bin", config_text(title="x"), three_files)
write("folders_only.bin", config_text(title="x"), [("a/", None, {}), ("a/b/", None, {})])
write("damaged.bin", config_text(title="x"), archive=b"PK\3\4 no archive follows")
