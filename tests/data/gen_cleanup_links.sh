#!/usr/bin/env bash
# A tree for the folder cleaner's scan that holds links to a folder and a file
# outside it. Made here because a Windows test program under Wine cannot make
# such links itself.
set -euo pipefail
out=$1/cleanup/links
mkdir -p "$out/outside/sub" "$out/tree/a"
echo k >"$out/outside/keep.txt"
echo i >"$out/outside/sub/inner.txt"
echo f >"$out/tree/a/f.txt"
ln -s "$out/outside/sub" "$out/tree/dirlink"
ln -s "$out/outside/keep.txt" "$out/tree/a/filelink.txt"
