#!/bin/sh
# Rebuilds examples/blink.hex from blink.c with SDCC (8051 target).
# Not part of the CMake build or CI: the HEX file is checked in so the tests
# do not need SDCC. Needs sdcc and packihx (Debian package "sdcc").
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sdcc -mmcs51 --model-small --code-size 0xF400 -o "$work/blink.ihx" blink.c
packihx "$work/blink.ihx" > blink.hex
echo "wrote $(pwd)/blink.hex"
