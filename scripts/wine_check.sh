#!/usr/bin/env bash
# Runs one end-to-end suite against the Linux build and the 32-bit Windows
# build (under wine) and requires both to behave the same: stdout messages
# (after the console's CR LF is turned back into LF), exit statuses, and every
# file left behind, byte for byte.
#
# Usage: scripts/wine_check.sh [PATH_TO_LINUX_qrv_tools]
#   Without a path the Linux tool is built in build-wine-linux/; the .exe is
#   always built in build-win/ with cmake/mingw-i686.cmake.
#   QRV_KEEP_SCRATCH=1 keeps the scratch directory for inspection.
# Installs cmake, ninja, mingw-w64 and wine (wine32) when missing (needs root
# or sudo). Exits non-zero when any check fails.
set -u

repo=$(cd "$(dirname "$0")/.." && pwd)
linux_tool=${1:-}
linux_build=${QRV_LINUX_BUILD:-$repo/build-wine-linux}
win_build=${QRV_WIN_BUILD:-$repo/build-win}

say() { printf '%s\n' "$*"; }
die() { say "wine_check: $*" >&2; exit 2; }

# ---------------------------------------------------------------- tools
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"
  elif command -v sudo >/dev/null; then sudo "$@"
  else die "need root to run: $*"
  fi
}

wine32_missing() {
  command -v dpkg >/dev/null && ! dpkg -s wine32:i386 >/dev/null 2>&1
}

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
command -v perl >/dev/null || need+=(perl)
command -v i686-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-i686)
if ! command -v wine >/dev/null || wine32_missing; then need+=(wine wine32 wine64); fi
if [ ${#need[@]} -gt 0 ]; then
  say "installing: ${need[*]}"
  case " ${need[*]} " in *" wine32 "*) as_root dpkg --add-architecture i386 ;; esac
  as_root apt-get update -qq || die "apt-get update failed"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null \
    || die "apt-get install ${need[*]} failed"
fi

# ---------------------------------------------------------------- builds
if [ -z "$linux_tool" ]; then
  cmake -S "$repo" -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQRV_BUILD_TESTS=OFF >/dev/null || die "configuring the Linux build failed"
  cmake --build "$linux_build" --target qrv_tools >/dev/null || die "the Linux build failed"
  linux_tool=$linux_build/qrv_tools
fi
linux_tool=$(cd "$(dirname "$linux_tool")" && pwd)/$(basename "$linux_tool")
[ -x "$linux_tool" ] || die "no Linux tool at $linux_tool"

# -Werror: the 32-bit Windows build must stay as free of warnings as the
# Linux one (size_t is 32 bits there, which shows other conversions).
cmake -S "$repo" -B "$win_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" \
  -DQRV_BUILD_TESTS=OFF -DCMAKE_CXX_FLAGS=-Werror >/dev/null 2>&1 || die "configuring the Windows build failed"
if ! cmake --build "$win_build" --target qrv_tools >"$win_build/wine_check_build.log" 2>&1; then
  cat "$win_build/wine_check_build.log"
  die "the Windows build failed"
fi
win_tool=$win_build/qrv_tools.exe
[ -f "$win_tool" ] || die "no $win_tool"

# ---------------------------------------------------------------- wine
scratch=$(mktemp -d /tmp/qrv-wine-check.XXXXXX)
export WINEPREFIX=$scratch/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1   # only the server of this run's own prefix
  if [ "${QRV_KEEP_SCRATCH:-0}" = 1 ]; then say "scratch kept in $scratch"
  else chmod -R u+w "$scratch" 2>/dev/null; rm -rf "$scratch"; fi
}
trap cleanup EXIT
say "starting a fresh wine prefix (first start takes a while)"
started=$SECONDS
timeout 600 wineboot -i >/dev/null 2>&1 || die "wineboot -i failed or timed out"
wineserver -w >/dev/null 2>&1 || true
say "wine prefix ready after $((SECONDS - started)) s"

# ---------------------------------------------------------------- inputs
inputs=$scratch/inputs
mkdir -p "$inputs"
# Real toolchains' files: the examples, and the test files that come with an
# expected image (so they are meant to convert without error).
real_files=()
for f in "$repo"/examples/*.hex "$repo"/tests/data/*.hex; do
  [ -f "$f" ] || continue
  cp "$f" "$inputs/"
  case $f in
    "$repo"/tests/data/*) [ -f "${f%.hex}.expected.bin" ] || continue ;;
  esac
  real_files+=("$(basename "$f")")
done
real_hex=""
[ -f "$inputs/blink.hex" ] && real_hex=blink.hex

# Deterministic generated files: an extended linear address record, 16- and
# 32-byte data records, data up to 0x3820 (beyond chips 0x51/0x52), and
# variants that must read the same (CR LF, lower case, Ctrl-Z, text after EOF).
(cd "$inputs" && perl -e '
  sub rec { my ($type, $addr, @d) = @_;
    my $s = scalar(@d) + ($addr >> 8) + ($addr & 0xFF) + $type; $s += $_ for @d;
    sprintf(":%02X%04X%02X%s%02X", scalar(@d), $addr, $type,
            join("", map { sprintf "%02X", $_ } @d), (0x100 - ($s & 0xFF)) & 0xFF) }
  my $x = 12345; sub rnd { $x = ($x * 1103515245 + 12345) % 2147483648; ($x >> 16) & 0xFF }
  my @l = (rec(4, 0, 0, 0));
  for (my $a = 0; $a < 0x600; $a += 16) { push @l, rec(0, $a, map { rnd() } 1..16) }
  for (my $a = 0x37E0; $a < 0x3820; $a += 32) { push @l, rec(0, $a, map { rnd() } 1..32) }
  push @l, rec(0, 0xF3F8, map { rnd() } 1..16);
  my $eof = ":00000001FF";
  sub put { my $n = shift; open my $f, ">", $n or die; binmode $f; print $f @_; close $f }
  put("gen.hex", map { "$_\n" } @l, $eof);
  put("gencrlf.hex", map { "$_\r\n" } @l, $eof);
  put("genlow.hex", map { lc($_) . "\n" } @l, $eof);
  put("genctrlz.hex", (map { "$_\n" } @l), "\x1a:garbage after Ctrl-Z\n");
  put("gentail.hex", map { "$_\n" } @l, $eof, "not a record");
  put("noeof.hex", map { "$_\n" } @l);
  put("over_a.hex", rec(0, 0x100, (0xAA) x 16) . "\n");
  put("over_b.hex", rec(0, 0x108, (0xBB) x 16) . "\n");
  my $bad = rec(0, 0x20, 1..16); substr($bad, -2) = "00";
  put("badsum.hex", "$l[1]\r\n$bad\r\n$eof\n");
  put("badtype.hex", rec(6, 0, 1) . "\n");
  put("short.hex", ":10000000FF\n");
  put("nothex.hex", "this is text\n");
  put("blank.hex", "$l[1]\n\n$eof\n");
  put("long.hex", ":" . ("0" x 1100) . "\n");
') || die "generating input files failed"
mkdir "$inputs/adir.hex" "$inputs/sub"
[ -n "$real_hex" ] || real_hex=gen.hex

# ---------------------------------------------------------------- checks
results=$scratch/results
mkdir -p "$results"
passed=0
failed=0
fail() { failed=$((failed + 1)); say "FAIL $1: $2"; }

# Runs one build in a fresh copy of the inputs; leaves stdout, status and the
# directory in $results/CASE/PLATFORM.
run_one() {
  local case=$1 platform=$2
  shift 2
  local out=$results/$case/$platform
  mkdir -p "$out"
  cp -R "$inputs" "$out/dir"
  if [ -n "${PRE:-}" ]; then (cd "$out/dir" && eval "$PRE"); fi
  (cd "$out/dir" && find . -type f -exec md5sum {} + | sort -k2) >"$out/before"
  if [ "$platform" = linux ]; then
    (cd "$out/dir" && "$linux_tool" "$@" </dev/null >"$out/stdout" 2>"$out/stderr")
  else
    (cd "$out/dir" && wine "$win_tool" "$@" </dev/null >"$out/stdout" 2>"$out/stderr")
  fi
  echo $? >"$out/status"
  (cd "$out/dir" && find . -type f -exec md5sum {} + | sort -k2) >"$out/after"
}

# check CASE STATUS REGEX ARGS...: both builds must end with STATUS, the Linux
# stdout must match the perl REGEX (so the case reaches the path it names),
# and the two runs must agree. SIZES_ONLY=1 compares file sizes only.
check() {
  local case=$1 want=$2 regex=$3
  shift 3
  run_one "$case" linux "$@"
  run_one "$case" windows "$@"
  local l=$results/$case/linux w=$results/$case/windows ok=1 st
  for st in "$l" "$w"; do
    if [ "$(cat "$st/status")" != "$want" ]; then
      fail "$case" "$(basename "$st") exit status $(cat "$st/status"), expected $want"; ok=0
    fi
  done
  if ! REGEX=$regex perl -0777 -ne 'exit(/$ENV{REGEX}/s ? 0 : 1)' "$l/stdout"; then
    fail "$case" "Linux stdout does not match /$regex/"; ok=0
  fi
  # The console stream is in text mode on Windows: each LF goes out as CR LF,
  # exactly once.
  if ! perl -0777 -ne 'exit((/\r\r/ || /(?<!\r)\n/) ? 1 : 0)' "$w/stdout"; then
    fail "$case" "Windows stdout has a bare LF or CR CR LF"; ok=0
  fi
  perl -0777 -pe 's/\r\n/\n/g' "$w/stdout" >"$w/stdout.lf"
  if ! cmp -s "$l/stdout" "$w/stdout.lf"; then
    fail "$case" "stdout differs: $(cmp "$l/stdout" "$w/stdout.lf" 2>&1 | head -1)"; ok=0
  fi
  if [ -n "$(find "$l/dir" "$w/dir" -name '.qrv-*.tmp')" ]; then
    fail "$case" "temporary file left behind"; ok=0
  fi
  if [ -n "${POST:-}" ]; then
    for st in "$l" "$w"; do
      if ! (cd "$st/dir" && eval "$POST"); then
        fail "$case" "$(basename "$st"): $POST does not hold"; ok=0
      fi
    done
  elif [ "$want" != 0 ]; then
    for st in "$l" "$w"; do
      if ! cmp -s "$st/before" "$st/after"; then
        fail "$case" "$(basename "$st") changed files after a failure"; ok=0
      fi
    done
  fi
  if [ "${SIZES_ONLY:-0}" = 1 ]; then
    if [ "$(cd "$l/dir" && find . -type f -printf '%p %s\n' | sort)" != \
         "$(cd "$w/dir" && find . -type f -printf '%p %s\n' | sort)" ]; then
      fail "$case" "output files or sizes differ"; ok=0
    fi
  elif ! diff -r "$l/dir" "$w/dir" >/dev/null; then
    fail "$case" "files differ: $(diff -rq "$l/dir" "$w/dir" 2>&1 | head -2 | tr '\n' ' ')"; ok=0
  fi
  if [ $ok = 1 ]; then passed=$((passed + 1)); fi
}

# same_file CASE_A CASE_B FILE: one output of two cases must be identical
# (on both platforms), for inputs that must read the same.
same_file() {
  local p
  for p in linux windows; do
    if cmp -s "$results/$1/$p/dir/$3" "$results/$2/$p/dir/$3"; then passed=$((passed + 1))
    else fail "$1=$2" "$p $3 differs"; fi
  done
}

long=$(printf 'n%.0s' $(seq 252))
ok251=$(printf 'k%.0s' $(seq 251))
done_end='done\n$'
say "running the suite: $linux_tool vs $win_tool"
started=$SECONDS

# Messages that end a run, and the help paths.
check usage           0   'qrv auto hex tools \n\noptions :\n.*example:\n'
check help_q          0   'options :'                          '-?'
check help_h          0   'example:'                           -h
check help_slash_H    0   'example:'                           /H -e+
check not_a_switch    255 'one or more params wrong!\n\noptions'  app.hex
check blank_value     255 'one or more params wrong!'          -i "$real_hex"
check bare_dash       255 'unknown option -\0\n$'              -
check bare_slash      255 'unknown option -\0\n$'              /
check unknown_letter  255 'unknown option -Q\n$'               -q
check bad_e           255 'unknown option -eE\0\n$'            -e
check bad_x           255 'unknown option -xXq\n$'             -e+ -xq -inothere
check bad_s           255 'unknown option -sSq\n$'             -sq
check bad_m           255 'unknown option -mM0\n$'             -m0
check bad_f           255 'unknown option -fz\n$'              -fz
check bad_f_empty     255 'unknown option -f\0\n$'             -F
check bad_a           255 'unknown option -aA1\n$'             -a1
check unknown_cpu     255 'unknown cpu -c83\n$'                -c0x53
check cpu_whole       255 'unknown cpu -c345\n$'               -c0x159
check cpu_saturates   255 'unknown cpu -c2147483647\n$'        -c4294967385
check cpu_negative    255 'unknown cpu -c-2147483648\n$'       -c-99999999999
check long_i          255 'Error:  value of -I too long\n$'    "-i$long"
check long_o          255 'Error:  value of -O too long\n$'    "-o$long"
check long_k          255 'Error:  value of -K too long\n$'    "-k${long}"
check limit_too_large 255 'Error:  limit 0xF401 above flashbuf size 0xF400\n$' -l0xF401
check limit_huge      255 'Error:  limit 0x7FFFFFFF above'     -l99999999999
check too_many        255 'with 0xFF\ntoo many hexfiles$'      -ia,b,c,d,e
check too_many_empty  255 'too many hexfiles$'                 -ia,,b,c,d
check missing_input   255 'reading hex file nothere.hex\nerror in file nothere.hex\n$' -inothere
check dir_input       255 'error in file adir.hex\n$'          -iadir.hex
check not_hex         255 'Error:  not a Intel Hex file\nerror in file nothex.hex\n$' -inothex.hex
check blank_line      255 'Error:  not a Intel Hex file\n'     -iblank.hex
check checksum        255 'Error:  Checksum wrong :1000200001[0-9A-F]+00\n\nerror in file badsum.hex\n$' -ibadsum.hex
check bad_type        255 'Error:  bad record :01000006'       -ibadtype.hex
check short_record    255 'Error:  bad record :10000000FF\n\n' -ishort.hex
check line_too_long   255 'Error:  line too long\n'            -ilong.hex
check second_fails    255 'reading hex file gen.hex\n.*  \.\.\. reading hex file nothex.hex\nError:  not a Intel Hex file\nerror in file nothex.hex\n$' -inothex.hex,gen.hex
check no_glob         255 'error in file \*.hex\n$'            '-i*.hex'

# Outputs that cannot be written.
check missing_dir     255 'creating binary file failed!\ncreating hexfile failed!\n$' -onodir/fw -i"$real_hex"
# An existing read-only target stays as it was; the other output is still
# written, so these runs leave files behind.
PRE='printf old >FIRMWARE.BIN; chmod 444 FIRMWARE.BIN' POST='[ "$(cat FIRMWARE.BIN)" = old ] && [ -s FIRMWARE.HEX ]' \
check readonly_bin    255 'limit set to 0xF400\ncreating binary file failed!\nWarning:  Autoflash option ignored at this time\n$' -i"$real_hex" -a+
PRE='printf old >FIRMWARE.HEX; chmod 444 FIRMWARE.HEX' POST='[ "$(cat FIRMWARE.HEX)" = old ] && [ -s FIRMWARE.BIN ]' \
check readonly_hex    255 'limit set to 0xF400\ncreating hexfile failed!\n$' -i"$real_hex"

# A real HEX file in every cipher and mode, and the other settings.
check plain           0   "reading hex file $real_hex\n.*$done_end"  -i"$real_hex"
check tea             0   'TEA fast'                           -i"$real_hex" -e+
check xtea            0   'XTEA fast'                          -i"$real_hex" -x+
check tea_strong      0   'TEA strong'                         -i"$real_hex" -e+ -s+
check xtea_strong     0   'XTEA strong'                        -i"$real_hex" -x+ -s+
check tea_msb         0   'msb first using TEA'                -i"$real_hex" -e+ -m+
check xtea_msb        0   'msb first using XTEA'               -i"$real_hex" -X+ -M+
check tea_msb_strong  0   'msb first using TEA strong'         -i"$real_hex" /e+ /s+ /m+
check xtea_all        0   'XTEA strong'                        -i"$real_hex" -e+ -x+ -s+ -m+ -c0x52
check key_tea         0   "$done_end"                          -i"$real_hex" -e+ -kSecretKey0123456
check key_short_xtea  0   "$done_end"                          -i"$real_hex" -x+ -s+ -kabc
check key_twice       0   "$done_end"                          -i"$real_hex" -x+ -kLongerKeyThanSixteen -kab
check key_empty_msb   0   "$done_end"                          -i"$real_hex" -e+ -m+ -k
check key_quotes      0   "$done_end"                          -i"$real_hex" -e+ '-ka "b\c\'
check key_251         0   "$done_end"                          -i"$real_hex" -x+ "-k$ok251"
check no_input_tea    0   "$done_end"                          -e+ -s+ -l0x40
check cpu_51          0   'limit set to 0x2800\n'              -igen.hex -c0x51
check cpu_52_warns    0   'Warning:  HexFile too large for the selected CPU\n  \.\.\. creating' -igen.hex -c0x52
check cpu_58          0   'limit set to 0x8000\n'              -igen.hex -c88
check cpu_59_octal    0   'limit set to 0xF400\n'              -igen.hex -c0131 -x+
check limit_after_cpu 0   'limit set to 0x1000\n'              -igen.hex -c0x52 -l0x1000
check cpu_after_limit 0   'limit set to 0x3800\n'              -igen.hex -l0x1000 -c0x52
check limit_21        0   'limit set to 0x21\n'                -igen.hex -l0x21 -e+
check limit_zero      0   'limit set to 0x0\n'                 -igen.hex -l
check limit_negative  0   'limit set to 0xFFFFFFFB\n'          -igen.hex -l-5
check autoflash       0   "Autoflash option ignored at this time\n$done_end" -igen.hex -a+
check out_names       0   "$done_end"                          -igen.hex -ofw.old.bin
check out_dotdot      0   "$done_end"                          -igen.hex -o../out/fw.bin
check out_subdir      0   "$done_end"                          -igen.hex -osub/fw -l0x100
check overlap         0   'reading hex file over_b.hex\n.*reading hex file over_a.hex\n' -iover_a,over_b.hex
check four_files      0   "$done_end"                          -iover_a.hex,gen,over_b,"$real_hex"
check gen_lf          0   "$done_end"                          -igen.hex -x+ -s+
check gen_crlf        0   "$done_end"                          -igencrlf.hex -x+ -s+
check gen_lower       0   "$done_end"                          -igenlow.hex -x+ -s+
check gen_ctrlz       0   "$done_end"                          -igenctrlz.hex -x+ -s+
check gen_tail        0   "$done_end"                          -igentail.hex -x+ -s+
check gen_noeof       0   "$done_end"                          -inoeof.hex -x+ -s+
for f in "${real_files[@]}"; do
  [ "$f" = "$real_hex" ] && continue
  check "real_${f%.hex}"      0 "reading hex file $f\n.*$done_end" -i"$f"
  check "real_${f%.hex}_tea"  0 'TEA strong'                       -i"$f" -e+ -s+ -c0x58
  check "real_${f%.hex}_xtea" 0 'msb first using XTEA fast'        -i"$f" -x+ -m+ -l0x1001
done
SIZES_ONLY=1 \
check random_fill     0   'buffer filled with random data\n'   -f+ -igen.hex -l0x1234
for variant in gen_crlf gen_lower gen_ctrlz gen_tail gen_noeof; do
  same_file gen_lf "$variant" FIRMWARE.BIN
  same_file gen_lf "$variant" FIRMWARE.HEX
done

say "suite took $((SECONDS - started)) s, $((passed + failed)) checks"
say "wine_check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
