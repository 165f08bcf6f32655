#!/usr/bin/env bash
# Runs the real tool under strace's fault injection: for every system call of
# a run that writes both outputs, at every occurrence, errors and the handled
# signals, then checks what each run left. No change to the binary is needed.
#
# Usage: scripts/failure_paths.sh PATH/TO/qrv_tools
#   The tool: a static Linux x86-64 build (a dynamic one's loader calls would
#   be injected too). Needs strace, getfacl and setfacl (Debian: strace, acl)
#   and root, or a second group of the runner's own. Works in a scratch
#   directory under ${TMPDIR:-/tmp}; QRV_KEEP_SCRATCH=1 keeps it, with every
#   run's directory and strace log.
#
# The scenario: umask 022, input examples/blink.hex, limit 0x200. FIRMWARE.BIN
# already exists: the runner's, old bytes, mode 0640 in a group that is not
# the runner's, with an access ACL whose group entry is narrower than its mask
# (so a lost ACL widens the group). FIRMWARE.HEX is new.
#
# How: one plain run under strace lists the system calls and how often each
# occurs, so the runs follow the code as it changes; it is also the
# reference for the new outputs and has its order of syncs checked. Runs in
# which every rename fails, or every change of group, list the calls only
# those paths make. Each listed occurrence belongs to the first row of the
# table below that matches it, and the row's errors and outcomes make the
# runs. Every run is bounded by a timeout: a loop is a broken run too.
# Signals: every handled signal at every call after which a temporary file
# exists; elsewhere one signal, rotating through the list. Every signal at
# every call would be about 1,700 runs, more than the time budget allows.
#
# Output: one line per broken run (call, occurrence, injection, broken
# rules); the last line is "failure paths: N runs, M broken". The status is
# non-zero when M is not 0 (the plain run counts as one run: an expected call
# missing or the syncs out of order break it) or when a needed program is
# missing.
# shellcheck disable=SC2015 # each "A && B || C" here has tests for A and B
set -uo pipefail
export LC_ALL=C

JOBS=2
# A normal run takes well under a second, also on a busy machine; a broken
# build can loop in many runs, each of which then costs this much.
RUN_SECONDS=5
OLD_BIN_TEXT="old firmware, not to be torn"
ARGS=(-i../blink.hex -l0x200)

# The table. kind: the row's name. need: "must" when a missing call is a
# fault. calls: an ERE of strace's names. line: an ERE on strace's line, to
# which " @NAME" is added when the first argument is a descriptor of NAME
# ("@dir:NAME" for a directory, "@stdout"). after: "-" for the plain run's
# calls, or KIND:ERROR for those of a run in which every call of row KIND
# answers ERROR: the removals show where renames fail, the mode and the ACL
# removal where the group cannot be set. errors: ERROR:OUTCOME, where
# ERROR+ fails every occurrence from that one on.
# (EOPNOTSUPP is strace's name for ENOTSUP, the same number on Linux.)
# Outcomes: ok = status 0 with outputs and permissions as the plain run's;
# narrow = status 0, permissions no wider than the rules; fail = status 255;
# any = 0 or 255, the other rules decide. A delivered signal must end the run.
# Each occurrence belongs to the first row that matches it.
read -r -d '' TABLE <<'EOF'
# kind         need calls                                 line                    after        errors
target-status  must newfstatat|lstat|statx|stat|fstatat64 "FIRMWARE\.(BIN|HEX)"   -            EIO:fail EACCES:fail
dir-status     must newfstatat|lstat|statx|stat|fstatat64 "\."                    -            EIO:fail EACCES:fail
other-status   may  newfstatat|fstat|statx|stat|fstatat64 .                       -            EIO:any
acl-read       must lgetxattr|getxattr|fgetxattr          posix_acl_access        -            EIO:any EACCES:any
temp-create    must openat|open|creat                     "[^"]*\.qrv-[^"]*\.tmp" -            EIO:fail ENOSPC:fail EACCES:fail EEXIST:ok
dir-open       must openat|open                           O_DIRECTORY             -            EIO:fail EACCES:any
other-open     may  openat|open                           .                       -            EIO:any
stdout-write   must write|writev                          @stdout$                -            EIO:fail ENOSPC:fail EPIPE:fail
file-write     must write|writev|pwrite64                 @[^@]*\.qrv-            -            EIO:fail ENOSPC:fail EINTR:ok
group          must fchown|fchownat                       .                       -            EPERM:narrow EIO:any
acl-write      must fsetxattr|setxattr|lsetxattr          posix_acl_access        -            EIO:fail EPERM:narrow EOPNOTSUPP:narrow ENOSYS:narrow
acl-remove     must fremovexattr|removexattr              posix_acl_access        group:EPERM  EIO:fail EPERM:narrow EOPNOTSUPP:narrow ENOSYS:narrow
mode           must fchmod|fchmodat                       .                       group:EPERM  EIO:fail EPERM:narrow EOPNOTSUPP:narrow ENOSYS:narrow
data-sync      must fdatasync|fsync                       @[^@]*\.qrv-            -            EIO:fail ENOSPC:fail EINTR:ok
temp-close     must close                                 @[^@]*\.qrv-            -            EIO:fail
dir-sync       must fsync|fdatasync                       @dir:                   -            EIO:fail EINTR:ok EINVAL+:ok
other-close    may  close                                 .                       -            EIO:any
rename         must rename|renameat|renameat2             .                       -            EIO:fail ENOSPC:fail EACCES:fail
remove         must unlink|unlinkat                       .                       rename:EIO   EIO:fail EACCES:fail
EOF

# Every catchable signal whose default action ends the process; SIGXFSZ is
# ignored by the tool, so a write past the file size limit fails instead.
NAMED_SIGNALS=(HUP INT QUIT ILL TRAP ABRT BUS FPE USR1 SEGV USR2 PIPE ALRM TERM STKFLT XCPU VTALRM PROF IO PWR SYS)

die() {
  echo "failure_paths: $*" >&2
  echo "failure paths: 0 runs, 1 broken"
  exit 2
}

tool=${1:-}
[ -n "$tool" ] && [ -x "$tool" ] || die "usage: scripts/failure_paths.sh PATH/TO/qrv_tools"
tool=$(cd "$(dirname "$tool")" && pwd)/$(basename "$tool")
repo=$(cd "$(dirname "$0")/.." && pwd)
for program in strace getfacl setfacl timeout sha1sum; do
  command -v "$program" >/dev/null || die "$program is missing (Debian packages strace, acl, coreutils)"
done

umask 022
ulimit -c 0 # signals such as SIGSEGV would leave core files in the run directories
started=$SECONDS
scratch=$(mktemp -d "${TMPDIR:-/tmp}/qrv-failure-paths.XXXXXX") || die "no scratch directory"
# On the way out, also when interrupted: the runs still going are stopped.
finish() {
  local running_jobs
  running_jobs=$(jobs -p)
  # shellcheck disable=SC2086 # one process id a word
  [ -z "$running_jobs" ] || kill $running_jobs 2>/dev/null
  wait
  if [ "${QRV_KEEP_SCRATCH:-}" = 1 ]; then echo "scratch kept: $scratch"; else rm -rf "$scratch"; fi
}
trap finish EXIT
trap 'exit 130' INT TERM

runner_group=$(id -g)
if [ "$(id -u)" -eq 0 ]; then
  old_group=4242
  [ "$runner_group" = 4242 ] && old_group=4243
else
  old_group=$(id -G | tr ' ' '\n' | grep -vx "$runner_group" | head -n 1)
  [ -n "$old_group" ] || die "needs root or a second group of the runner's"
fi

# The signals delivered, by number as strace takes them, and their names.
signals=()
declare -A signal_names=()
for name in "${NAMED_SIGNALS[@]}"; do
  number=$(kill -l "$name")
  signals+=("$number")
  signal_names[$number]=SIG$name
done
rtmin=$(kill -l RTMIN)
for ((number = rtmin; number <= $(kill -l RTMAX); number++)); do
  signals+=("$number")
  signal_names[$number]=SIGRTMIN+$((number - rtmin))
done

# The template every run copies: the old FIRMWARE.BIN, and the input beside.
cp "$repo/examples/blink.hex" "$scratch/blink.hex" || die "no examples/blink.hex"
mkdir "$scratch/template"
printf '%s\n' "$OLD_BIN_TEXT" >"$scratch/template/FIRMWARE.BIN"
chmod 0640 "$scratch/template/FIRMWARE.BIN"
chgrp "$old_group" "$scratch/template/FIRMWARE.BIN" || die "cannot set group $old_group"
setfacl -m u:nobody:r--,g::--- "$scratch/template/FIRMWARE.BIN" || die "the file system of $scratch holds no ACLs"
old_bin_sum=$(sha1sum <"$scratch/template/FIRMWARE.BIN" | cut -d' ' -f1)

# --- one run -----------------------------------------------------------------

# run_tool ID INJECTION...: runs the tool in a copy of the template under
# strace with the given -e inject options; leaves r.ID/ (the run directory),
# ID.log (strace), ID.out, ID.err and ID.status.
run_tool() {
  local id=$1 dir=$scratch/r.$1 status
  shift
  cp -a "$scratch/template" "$dir"
  (cd "$dir" && timeout -k 2 "$RUN_SECONDS" strace -f -o "$scratch/$id.log" "$@" \
    "$tool" "${ARGS[@]}" >"$scratch/$id.out" 2>"$scratch/$id.err")
  status=$?
  echo "$status" >"$scratch/$id.status"
}

# What the checks read, set by read_run.
status=0 ended=0 injected_calls="" signalled=0 enoent="" stdout="" stderr="" bin_sum="" hex_sum=""
temps=()
# perms[FILE TAG:QUALIFIER] = "rw-", owner_group[FILE], flags[FILE] ("s--"),
# for each output that exists; old_perms[TAG:QUALIFIER] for the old file.
declare -A perms=() owner_group=() flags=() old_perms=()

# read_acls DIR FILE...: `getfacl -n -E` of the files into perms,
# owner_group and flags.
read_acls() {
  local dir=$1 line file=""
  shift
  while IFS= read -r line; do
    case $line in
      "# file: "*) file=${line#\# file: } ;;
      "# group: "*) owner_group[$file]=${line#\# group: } ;;
      "# flags: "*) flags[$file]=${line#\# flags: } ;;
      "#"* | "") ;;
      *) perms[$file ${line%:*}]=${line##*:} ;;
    esac
  done < <(cd "$dir" && getfacl -n -E "$@" 2>/dev/null)
}

# read_run ID: fills the variables above from a finished run.
read_run() {
  local id=$1 dir=$scratch/r.$1 file sum files=()
  read -r status <"$scratch/$id.status"
  IFS= read -r -d '' stdout <"$scratch/$id.out"
  IFS= read -r -d '' stderr <"$scratch/$id.err"
  # One pass over the strace log, which a looping run makes long.
  read -r ended injected_calls signalled enoent < <(awk '
    /^[0-9]+ +\+\+\+ (exited|killed)/ { ended = 1 }
    / \(INJECTED\)$/ { name = $2; sub(/\(.*/, "", name); injected[name] = 1 }
    /^[0-9]+ +--- SIG/ { signalled = 1 }
    /^[0-9]+ +unlink(at)?\(.*= -1 ENOENT/ && !/INJECTED/ && enoent == "" { enoent = $0; sub(/^[0-9]+ +/, "", enoent); gsub(/ +/, "_", enoent) }
    END {
      names = ","
      for (name in injected) names = names name ","
      print ended + 0, names, signalled + 0, (enoent == "" ? "-" : enoent)
    }' "$scratch/$id.log")
  [ "$enoent" = - ] && enoent=""
  bin_sum="" hex_sum=""
  while read -r sum file; do
    case $file in
      FIRMWARE.BIN) bin_sum=$sum ;;
      FIRMWARE.HEX) hex_sum=$sum ;;
    esac
  done < <(cd "$dir" && sha1sum FIRMWARE.BIN FIRMWARE.HEX 2>/dev/null)
  temps=()
  for file in "$dir"/.qrv-*.tmp; do [ -e "$file" ] && temps+=("${file##*/}"); done
  perms=() owner_group=() flags=()
  [ -e "$dir/FIRMWARE.BIN" ] && files+=(FIRMWARE.BIN)
  [ -e "$dir/FIRMWARE.HEX" ] && files+=(FIRMWARE.HEX)
  [ ${#files[@]} -eq 0 ] || read_acls "$dir" "${files[@]}"
}

# --- the rules: each notes what broke, through broke ----------------------------

# The run ended by itself, within the time (timeout answers 124, or 137
# after its KILL).
rule_ends() {
  if ((status == 124 || status == 137)); then
    broke "no end within ${RUN_SECONDS} s"
  elif ((!ended)); then
    broke "strace did not run it: ${stderr%%$'\n'*}"
  fi
}

# The injection happened: a run that took another path tests nothing.
rule_injected() { # CALL KIND(error|signal)
  case $2 in
    error) [[ $injected_calls == *",$1,"* ]] || broke "no $1 failed: the run took another path" ;;
    signal) ((signalled)) || broke "no signal delivered: the run took another path" ;;
  esac
}

# The status the row expects.
rule_status() { # OUTCOME [SIGNAL]
  local want
  case $1 in
    ok | narrow) want="0" ;;
    fail) want="255" ;;
    any) want="0 or 255" ;;
    signal) want="death by ${signal_names[$2]}" ;;
  esac
  case $1:$status in
    ok:0 | narrow:0 | fail:255 | any:0 | any:255) return ;;
    signal:*) ((status == 128 + $2)) && return ;;
  esac
  ((ended && status != 124 && status != 137)) && broke "status $status, not $want"
}

# Status 0 only with both outputs new and "done"; no "done" with 255, unless
# standard output is what failed: an error injected once lets later lines,
# "done" among them, through.
rule_done() {
  if [ "$status" = 0 ]; then
    [ "$bin_sum" = "$new_bin_sum" ] && [ "$hex_sum" = "$new_hex_sum" ] || broke "status 0 without both outputs new"
    [[ $stdout == *$'done\n' ]] || broke "status 0 without \"done\""
  elif [ "$status" = 255 ] && [[ $stdout == *$'\ndone\n'* && $stderr != *"qrv_tools: standard output: "* ]]; then
    broke "\"done\" with status 255"
  fi
}

# Each target old or whole new: never torn, never empty.
rule_whole() {
  case $bin_sum in
    "$old_bin_sum" | "$new_bin_sum") ;;
    "") broke "FIRMWARE.BIN gone" ;;
    *) broke "FIRMWARE.BIN neither old nor new" ;;
  esac
  case $hex_sum in
    "" | "$new_hex_sum") ;;
    *) broke "FIRMWARE.HEX neither absent nor new" ;;
  esac
}

# A temporary file left is named on standard error as not removed.
rule_temps() {
  local temp line named
  for temp in "${temps[@]}"; do
    named=0
    while IFS= read -r line; do
      [[ $line == *"$temp"*"not removed"* ]] && named=1
    done <<<"$stderr"
    ((named)) || broke "$temp left and not named"
  done
}

# A failed run names a file it failed on: not only the directory.
REASON='^qrv_tools: [^:]*(FIRMWARE\.(BIN|HEX)|blink\.hex|standard output|\.qrv-[A-Za-z0-9]+\.tmp)[^:]*: .'
rule_reason() {
  local line
  [ "$status" = 255 ] || return
  while IFS= read -r line; do
    [[ $line =~ $REASON ]] && return
  done <<<"$stderr"
  line=${stderr:0:160}
  broke "no reason line naming a file (stderr: ${line//$'\n'/|})"
}

# within NEW OLD: every permission in NEW ("r-x") is also in OLD.
within() {
  local i
  for i in 0 1 2; do
    [ "${1:i:1}" = - ] || [ "${2:i:1}" != - ] || return 1
  done
}

# is_extended FILE: the ACL has entries beyond owner, group and others.
is_extended() {
  local key
  for key in "${!perms[@]}"; do
    [[ $key == "$1 "* && $key != "$1 user:" && $key != "$1 group:" && $key != "$1 other:" ]] && return 0
  done
  return 1
}

# No mode, group or ACL wider than the rules. The replaced FIRMWARE.BIN: each
# entry within the old ACL's; in another group, no group access and no ACL
# entries. The new FIRMWARE.HEX: within 0666 & ~umask, in the runner's group,
# no ACL entries. Neither has set-id or sticky bits.
rule_permissions() {
  local key
  if [ -n "${owner_group[FIRMWARE.BIN]:-}" ]; then
    [ -z "${flags[FIRMWARE.BIN]:-}" ] || broke "FIRMWARE.BIN has flags ${flags[FIRMWARE.BIN]}"
    if [ "${owner_group[FIRMWARE.BIN]}" = "$old_group" ]; then
      for key in "${!perms[@]}"; do
        [[ $key == "FIRMWARE.BIN "* ]] || continue
        within "${perms[$key]}" "${old_perms[${key#* }]:----}" ||
          broke "FIRMWARE.BIN: ${key#* }:${perms[$key]} wider than the old ACL"
      done
    else
      is_extended FIRMWARE.BIN && broke "FIRMWARE.BIN in another group with ACL entries"
      [ "${perms[FIRMWARE.BIN group:]}" = --- ] || broke "FIRMWARE.BIN in another group with group access"
      [ "${perms[FIRMWARE.BIN other:]}" = --- ] || broke "FIRMWARE.BIN in another group with access for others"
    fi
  fi
  if [ -n "${owner_group[FIRMWARE.HEX]:-}" ]; then
    [ -z "${flags[FIRMWARE.HEX]:-}" ] || broke "FIRMWARE.HEX has flags ${flags[FIRMWARE.HEX]}"
    [ "${owner_group[FIRMWARE.HEX]}" = "$runner_group" ] || broke "FIRMWARE.HEX not in the runner's group"
    is_extended FIRMWARE.HEX && broke "FIRMWARE.HEX has ACL entries"
    within "${perms[FIRMWARE.HEX group:]}" r-- && within "${perms[FIRMWARE.HEX other:]}" r-- ||
      broke "FIRMWARE.HEX wider than 0644"
  fi
}

# As the plain run: the replaced file keeps its mode, group and ACL; the new
# one gets what the umask gives.
rule_kept() {
  local key lost=""
  [ "$status" = 0 ] || return
  for key in "${!old_perms[@]}"; do
    [ "${perms[FIRMWARE.BIN $key]:-none}" = "${old_perms[$key]}" ] || lost+=" $key:${old_perms[$key]}"
  done
  for key in "${!perms[@]}"; do
    [[ $key == "FIRMWARE.BIN "* && -z ${old_perms[${key#* }]:-} ]] && lost+=" (gained ${key#* }:${perms[$key]})"
  done
  [ "${owner_group[FIRMWARE.BIN]:-}" = "$old_group" ] || lost+=" group $old_group"
  [ -z "$lost" ] || broke "FIRMWARE.BIN lost$lost"
  [ "${perms[FIRMWARE.HEX group:]:-}${perms[FIRMWARE.HEX other:]:-}" = r--r-- ] || broke "FIRMWARE.HEX not 0644 as the umask gives"
}

# Only what the run created and still owns is removed.
rule_removes_own() {
  [ -z "$enoent" ] || broke "removes what is not there: ${enoent//_/ }"
}

# broke TEXT: notes a broken rule of the run being checked.
broken_rules=()
broke() { broken_rules+=("$1"); }

# check_run ID CALL OUTCOME [SIGNAL]: all rules; sets broken to the broken
# ones on one line. CALL is "-" for a run without injection.
check_run() {
  local id=$1 call=$2 outcome=$3 signal=${4:-}
  read_run "$id"
  broken_rules=()
  rule_ends
  if [ "$outcome" = signal ]; then rule_injected "$call" signal; elif [ "$call" != - ]; then rule_injected "$call" error; fi
  rule_status "$outcome" "$signal"
  rule_done
  rule_whole
  rule_temps
  rule_reason
  rule_permissions
  [ "$outcome" = ok ] && rule_kept
  rule_removes_own
  broken=""
  local rule
  for rule in "${broken_rules[@]}"; do broken+="${broken:+; }$rule"; done
}

# --- the listings -------------------------------------------------------------

# annotate LOG: one line per system call: NAME, its occurrence, whether a
# temporary file exists after it, and the strace line with " @NAME" added when
# its first argument is a descriptor ("@dir:NAME" for a directory).
annotate() {
  awk '
    function quoted(s) { if (!sub(/^[^"]*"/, "", s)) return ""; sub(/".*/, "", s); return s }
    /^[0-9]+ +[a-z_0-9]+\(/ {
      line = $0
      name = line; sub(/^[0-9]+ +/, "", name); sub(/\(.*/, "", name)
      args = line; sub(/^[0-9]+ +[a-z_0-9]+\(/, "", args)
      ret = line; sub(/.* = /, "", ret); ret = ret + 0
      note = ""
      if (match(args, /^[0-9]+[,)]/)) {
        fd = substr(args, 1, RLENGTH - 1)
        note = (fd in open) ? open[fd] : (fd == 1 ? "stdout" : fd == 2 ? "stderr" : "fd" fd)
        if (name == "close") delete open[fd]
      }
      path = quoted(args)
      if (name ~ /^(openat|open|creat)$/ && ret >= 0) {
        open[ret] = (line ~ /O_DIRECTORY/ ? "dir:" : "") path
        if (path ~ /\.qrv-[^\/]*\.tmp$/) { temp[path] = 1; temps++ }
      }
      if (name ~ /^(rename|renameat|renameat2|unlink|unlinkat)$/ && ret == 0 && (path in temp)) { delete temp[path]; temps-- }
      count[name]++
      printf "%s\t%d\t%d\t%s%s\n", name, count[name], (temps > 0), line, (note == "" ? "" : " @" note)
    }' "$1"
}

# check_order ANNOTATED: each temporary file synced before it is closed and
# renamed; after the last rename one sync of the output directory, then "done".
check_order() {
  local file=$1 temp sync close rename last_rename dir_syncs dir_sync done_line
  while read -r temp; do
    sync=$(grep -nP "^(fdatasync|fsync)\t.* @\Q$temp\E$" "$file" | head -n 1 | cut -d: -f1)
    close=$(grep -nP "^close\t.* @\Q$temp\E$" "$file" | head -n 1 | cut -d: -f1)
    rename=$(grep -nP "^(rename|renameat|renameat2)\t.*\(([A-Z_]+, )?\"\Q$temp\E\"" "$file" | head -n 1 | cut -d: -f1)
    [ -n "$sync" ] || { echo "order: $temp never synced"; continue; }
    [ -n "$close" ] && [ -n "$rename" ] || { echo "order: $temp not closed and renamed"; continue; }
    ((sync < close && close < rename)) || echo "order: $temp synced at call $sync, closed at $close, renamed at $rename"
  done < <(grep -oP '^(openat|open|creat)\t.*"\K[^"]*\.qrv-[^"]*\.tmp(?=")' "$file")
  last_rename=$(grep -nE '^(rename|renameat|renameat2)'$'\t' "$file" | tail -n 1 | cut -d: -f1)
  dir_syncs=$(grep -cE '^(fsync|fdatasync)'$'\t''.* @dir:' "$file")
  dir_sync=$(grep -nE '^(fsync|fdatasync)'$'\t''.* @dir:' "$file" | tail -n 1 | cut -d: -f1)
  done_line=$(grep -nF 'write(1, "done\n"' "$file" | tail -n 1 | cut -d: -f1)
  [ "$dir_syncs" = 1 ] || echo "order: $dir_syncs syncs of the output directory, not one"
  [ -n "$dir_sync" ] && [ -n "$last_rename" ] && [ -n "$done_line" ] && ((last_rename < dir_sync && dir_sync < done_line)) ||
    echo "order: the directory sync (call ${dir_sync:-none}) is not between the last rename (${last_rename:-none}) and \"done\" (${done_line:-none})"
}

# --- the plain run, the table and the runs ------------------------------------------

broken_lines=()
runs=0

read_acls "$scratch/template" FIRMWARE.BIN
for key in "${!perms[@]}"; do old_perms[${key#* }]=${perms[$key]}; done

# The plain run is the reference: its outputs are the new ones.
run_tool plain
new_bin_sum=$(sha1sum <"$scratch/r.plain/FIRMWARE.BIN" 2>/dev/null | cut -d' ' -f1)
new_hex_sum=$(sha1sum <"$scratch/r.plain/FIRMWARE.HEX" 2>/dev/null | cut -d' ' -f1)
[ "$(cat "$scratch/plain.status")" = 0 ] && [ -n "$new_bin_sum" ] && [ -n "$new_hex_sum" ] ||
  die "the plain run failed (status $(cat "$scratch/plain.status")): $(cat "$scratch/plain.err")"
annotate "$scratch/plain.log" >"$scratch/plain.calls"
runs=1
check_run plain - ok
plain_broken=$(
  [ -z "$broken" ] || echo "$broken"
  check_order "$scratch/plain.calls"
)

# row_calls KIND, row_errors KIND: that table row's calls, and its errors
# one a line.
row_calls() { awk -v kind="$1" '$1 == kind { print $3; exit }' <<<"$TABLE"; }
row_errors() { awk -v kind="$1" '$1 == kind { for (i = 6; i <= NF; i++) print $i; exit }' <<<"$TABLE"; }

# The listings for rows with "after" (KIND:ERROR): every call of that kind
# fails with that error; the run itself is checked with the outcome its row
# gives the error.
declare -A listing=([-]="$scratch/plain.calls") after_injects=()
while read -r kind need calls pattern after errors; do
  [[ $kind == \#* || $after == - || -n ${listing[$after]:-} ]] && continue
  after_kind=${after%%:*} after_error=${after#*:} id=after-${after//:/-}
  injects="" after_call=""
  while read -r call; do
    injects+=" -e inject=$call:error=$after_error"
    after_call=$call
  done < <(grep -oE "^($(row_calls "$after_kind"))"$'\t' "$scratch/plain.calls" | sort -u)
  [ -n "$injects" ] || die "no $after_kind call in the plain run, for the rows after $after"
  after_injects[$after]=$injects
  # shellcheck disable=SC2086 # the injections are single words
  run_tool "$id" $injects
  ((runs++))
  outcome=$(row_errors "$after_kind" | sed -n "s/^$after_error://p")
  check_run "$id" "$after_call" "${outcome:-any}"
  [ -z "$broken" ] || broken_lines+=("broken: every $after_kind call failing with $after_error: $broken")
  annotate "$scratch/$id.log" >"$scratch/$id.calls"
  listing[$after]="$scratch/$id.calls"
done <<<"$TABLE"

# Each occurrence goes to the first row whose calls and line it matches; a
# must row that matches nothing is a call missing from the run.
declare -A claimed=()
jobs_file=$scratch/jobs
: >"$jobs_file"
job=0
rotation=0
while read -r kind need calls pattern after errors; do
  [[ $kind == \#* ]] && continue
  matched=0
  while IFS=$'\t' read -r call occurrence temp_exists line; do
    [[ $call =~ ^($calls)$ && $line =~ $pattern ]] || continue
    [ -z "${claimed[$after:$call:$occurrence]:-}" ] || continue
    claimed[$after:$call:$occurrence]=$kind
    matched=1
    for entry in $errors; do
      error=${entry%%:*} outcome=${entry#*:} when=$occurrence
      [[ $error == *+ ]] && error=${error%+} when=$occurrence+
      echo "$((++job)) $kind $call $occurrence error=$error:when=$when $outcome $after -" >>"$jobs_file"
    done
    if ((temp_exists)); then
      chosen=("${signals[@]}")
    else
      chosen=("${signals[rotation++ % ${#signals[@]}]}")
    fi
    for signal in "${chosen[@]}"; do
      echo "$((++job)) $kind $call $occurrence signal=$signal:when=$occurrence signal $after $signal" >>"$jobs_file"
    done
  done <"${listing[$after]}"
  if ((!matched)) && [ "$need" = must ]; then
    plain_broken+=$'\n'"expected call missing: $kind ($calls${pattern:+ matching $pattern}) never occurs"
  fi
done <<<"$TABLE"

# run_job ID KIND CALL OCCURRENCE INJECTION OUTCOME AFTER SIGNAL: one run and
# its checks; prints a line only when the run is broken.
run_job() {
  local id=$1 kind=$2 call=$3 occurrence=$4 injection=$5 outcome=$6 after=$7 signal=$8 what
  # shellcheck disable=SC2086 # the injections are single words
  run_tool "$id" ${after_injects[$after]:-} -e "inject=$call:$injection"
  check_run "$id" "$call" "$outcome" "$signal"
  # Removed as the runs go: a looping run's log is tens of megabytes.
  [ "${QRV_KEEP_SCRATCH:-}" = 1 ] || rm -rf "$scratch/r.$id" "$scratch/$id".*
  [ -z "$broken" ] && return
  what=${injection%%:when=*}
  [ "$signal" = - ] || what="signal=${signal_names[$signal]}"
  [ "$after" = - ] || what+=" (every ${after%%:*} call failing with ${after#*:})"
  echo "$id broken: $kind $call #$occurrence $what: $broken"
}

# Each job appends its one line, in one write, to the results.
running=0
while read -r id rest; do
  if ((running >= JOBS)); then
    wait -n
    ((running--))
  fi
  # The shell's own notes ("Terminated") go to one file.
  # shellcheck disable=SC2086 # the job's fields are single words
  run_job "$id" $rest >>"$scratch/results" 2>>"$scratch/job-notes" &
  ((running++))
done <"$jobs_file"
wait
runs=$((runs + job))

while IFS= read -r line; do
  [ -n "$line" ] && echo "plain run: $line"
done <<<"$plain_broken"
while read -r id line; do
  broken_lines+=("$line")
done < <(sort -n "$scratch/results" 2>/dev/null)

broken_runs=0
for line in "${broken_lines[@]}"; do
  echo "$line"
  ((broken_runs++))
done
[ -n "$plain_broken" ] && ((broken_runs++))
echo "time: $((SECONDS - started)) s"
echo "failure paths: $runs runs, $broken_runs broken"
[ "$broken_runs" = 0 ]
