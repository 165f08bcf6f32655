#!/bin/sh
# Regenerates the Intel HEX files in this directory with real toolchains
# (binutils objcopy, srecord srec_cat) and, for every input the tests use,
# its expected flash image made by srec_cat alone, never by qrv_tools.
#
# Expected images: the full image is 0xF400 bytes, 0xFF where no data lies.
# To keep the repo small only a window [start, end) of it is stored as
# NAME.expected.bin; this script checks that every byte outside the window
# is 0xFF, so the tests rebuild the full image as 0xFF with the window laid
# in at `start` (the same start values are in tests/real_files_support.h).
#
# Needs: binutils, srecord, awk, dd, cmp. Run from anywhere.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
examples=$(cd "$here/../../examples" && pwd)
cd "$here"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

IMAGE=0xF400

# blob FILE COUNT MUL ADD: COUNT bytes (i * MUL + ADD) mod 256, a pattern
# with no runs, so a shifted or dropped byte shows.
blob() {
  LC_ALL=C awk -v n="$2" -v m="$3" -v a="$4" \
    'BEGIN { for (i = 0; i < n; i++) printf "%c", (i * m + a) % 256 }' > "$1"
}

# expect HEXFILE NAME START END: NAME.expected.bin = image bytes [START, END).
expect() {
  srec_cat "$1" -intel -crop 0 $IMAGE -fill 0xFF 0 $IMAGE -o "$work/full.bin" -binary
  window "$work/full.bin" "$2" "$3" "$4"
}

# window FULL NAME START END: cuts the window and checks the rest is 0xFF.
window() {
  size=$(wc -c < "$1")
  [ "$size" -eq $((IMAGE)) ] || { echo "$1: $size bytes, not a full image" >&2; exit 1; }
  start=$(($3)); end=$(($4))
  dd if="$1" of="$2.expected.bin" bs=1 skip=$start count=$((end - start)) status=none
  srec_cat -generate 0 $IMAGE -constant 0xFF -o "$work/ff.bin" -binary
  dd if="$1" bs=1 count=$start status=none | cmp -s - "$work/ff.bin" -n $start \
    || { echo "$2: data below the window" >&2; exit 1; }
  dd if="$1" bs=1 skip=$end status=none | cmp -s - "$work/ff.bin" -n $((IMAGE - end)) \
    || { echo "$2: data above the window" >&2; exit 1; }
  tail_bytes=$(dd if="$1" bs=1 skip=$end status=none | wc -c)
  [ "$tail_bytes" -eq $((IMAGE - end)) ] || { echo "$2: bad window" >&2; exit 1; }
}

# 1. objcopy from an ELF with three sections and an entry point. Data at
#    0x1F000 makes objcopy emit an extended segment address record (type 02);
#    the entry point below 1 MiB gives a start segment address record (03).
blob "$work/a.bin" 700 37 11
blob "$work/b.bin" 100 5 200
blob "$work/c.bin" 64 3 1
objcopy -I binary -O elf32-little \
  --rename-section .data=.text,alloc,load,readonly,code,contents \
  --change-section-address .data=0x2345 \
  --add-section .rodata="$work/b.bin" \
  --set-section-flags .rodata=alloc,load,readonly,data,contents \
  --change-section-address .rodata=0x0100 \
  --add-section .far="$work/c.bin" \
  --set-section-flags .far=alloc,load,readonly,data,contents \
  --change-section-address .far=0x1F000 \
  --set-start 0x2345 \
  "$work/a.bin" "$work/segment.elf"
objcopy -O ihex "$work/segment.elf" objcopy_segment.hex
expect objcopy_segment.hex objcopy_segment 0x0100 0x2610

# 2. objcopy again, data above 1 MiB: an extended linear address record (04)
#    and a start linear address record (05). The in-image data ends exactly
#    at 0x8000, the flash size of chip 0x58.
blob "$work/d.bin" 300 101 7
blob "$work/e.bin" 128 13 90
blob "$work/f.bin" 32 1 0
objcopy -I binary -O elf32-little \
  --rename-section .data=.text,alloc,load,readonly,code,contents \
  --change-section-address .data=0x7E00 \
  --add-section .tail="$work/e.bin" \
  --set-section-flags .tail=alloc,load,readonly,data,contents \
  --change-section-address .tail=0x7F80 \
  --add-section .far="$work/f.bin" \
  --set-section-flags .far=alloc,load,readonly,data,contents \
  --change-section-address .far=0x00ABC000 \
  --set-start 0x00ABC000 \
  "$work/d.bin" "$work/linear.elf"
objcopy -O ihex "$work/linear.elf" objcopy_linear.hex
expect objcopy_linear.hex objcopy_linear 0x7E00 0x8000

# 3. srec_cat, 255-byte records (521-character lines), a type 04 record on top.
blob "$work/g.bin" 3000 59 3
srec_cat "$work/g.bin" -binary -offset 0x1000 -o srec_255.hex -intel -output_block_size=255
expect srec_255.hex srec_255 0x1000 0x1BC0

# 4. srec_cat, 32-byte records, CR LF line ends; its first 0x40 bytes overlap
#    the example program.
blob "$work/h.bin" 64 17 33
blob "$work/i.bin" 256 29 77
srec_cat "$work/h.bin" -binary "$work/i.bin" -binary -offset 0x0700 \
  -o srec_32_crlf.hex -intel -output_block_size=32 -line-termination=crlf
expect srec_32_crlf.hex srec_32_crlf 0x0000 0x0800

# 5. srec_cat with 20-bit segmented addresses (type 02 records): data across
#    the end of the image, and across the 64 KiB boundary; only the part below
#    0xF400 is in the image.
blob "$work/j.bin" 256 43 19
srec_cat "$work/a.bin" -binary -offset 0xF2C8 "$work/j.bin" -binary -offset 0xFFC0 \
  -o srec_segment.hex -intel -address-length=3
expect srec_segment.hex srec_segment 0xF2C8 0xF400

# 6. srec_cat with 16-bit addresses only (no address records), 16-byte
#    records, digits turned to lower case; the data ends exactly at 0x3800,
#    the flash size of chips 0x52 and 0x54.
blob "$work/k.bin" 128 71 5
srec_cat "$work/k.bin" -binary -offset 0x3780 -o - -intel -address-length=2 -output_block_size=16 \
  | tr 'A-F' 'a-f' > srec_i8hex_lower.hex
expect srec_i8hex_lower.hex srec_i8hex_lower 0x3780 0x3800

# The SDCC example program (examples/blink.hex, see examples/README.md).
expect "$examples/blink.hex" blink 0x0000 0x0190

# Two overlapping files: the one named first on the command line wins where
# both hold data; elsewhere each keeps its own bytes. srec_cat: the winner,
# plus the other file less every address the winner holds data at.
over() {
  srec_cat '(' "$1" -intel '(' "$2" -intel -exclude -within "$1" -intel ')' ')' \
    -crop 0 $IMAGE -fill 0xFF 0 $IMAGE -o "$work/full.bin" -binary
  window "$work/full.bin" "$3" 0x0000 0x0800
}
over "$examples/blink.hex" srec_32_crlf.hex blink_over_srec_32
over srec_32_crlf.hex "$examples/blink.hex" srec_32_over_blink

for f in *.hex "$examples/blink.hex"; do srec_info "$f" -intel 2>/dev/null; done
