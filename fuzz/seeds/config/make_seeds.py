#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_config into the folder given as argument.

Each seed is the tail of a launcher file that the fuzz target writes behind
99990 filler bytes, so the marker of a seed at position p lies at file offset
99990 + p. The seeds are made here because they hold binary bytes."""

import os
import struct
import sys

PREFIX = 99990
MARKER = bytes([0x0B, 0x0B, 0xAF, 0xAF, 0x0B, 0x0B])
CONFIG = (b"<KV_ZCD>\r\n<Message/>\r\n"
          b"<Title>Please wait - Generating Installer............</Title>\r\n"
          b"<Run>autorun.exe</Run>\r\n<Prog>1</Prog>\r\n<UsePW>1</UsePW>\r\n</KV_ZCD>\r\n")
ARCHIVE = b"PK\x03\x04" + bytes(26)


def block(text, declared=None, gap=100000 - PREFIX):
    length = len(text) if declared is None else declared
    return b"M" * gap + MARKER + struct.pack("<I", length) + text + ARCHIVE


seeds = {
    "launcher": block(CONFIG),
    "at_99999": block(b"<KV_ZCD><Prog>0</Prog></KV_ZCD>", gap=9),
    "later": block(b"<KV_ZCD><Prog> 2</Prog><Run>a&amp;b</Run></KV_ZCD>", gap=300),
    "zero_byte": block(b"<KV_ZCD><Prog>0</Prog></KV_ZCD>\0<x>"),
    "too_long": block(b"x" * 40, declared=1024),
    "cut_short": block(b"<KV_ZCD/>", declared=500)[:-len(ARCHIVE)],
    "two_markers": block(b"<a/>") + block(b"<KV_ZCD/>", gap=0),
    "cdata": block(b"<KV_ZCD><Title><![CDATA[<&>]]></Title><Prog/></KV_ZCD>"),
    "no_marker": b"M" * 64,
}

out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
os.makedirs(out, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(out, name + ".bin"), "wb") as f:
        f.write(data)
