#!/usr/bin/env python3
"""Runs the real tool under strace's fault injection and checks what each run left.

For every system call of a run that writes both outputs, at every occurrence,
each error its row of ROWS names is injected, and the handled signals are
delivered; each run becomes one Run record, which every rule takes. No change
to the binary is needed.

Usage: tests/failure_paths.py PATH/TO/qrv_tools
  The tool: a static Linux build (a dynamic one's loader calls would be
  injected too). Needs strace, root (files of another user) and ACLs in
  ${TMPDIR:-/tmp}; without one of them it says why and exits 77 (skipped),
  or 1 where QRV_FAILURE_PATHS_REQUIRED=1 (CI).
  QRV_KEEP_SCRATCH=1 keeps the scratch directory with every run's files.

Each scenario starts from one state of FIRMWARE.BIN (FIRMWARE.HEX is new) in
a directory of its own, with umask 022 and the input examples/blink.hex; what
a new file gets there is read from a file made with open(0666), never assumed.
The last line is "failure paths: N runs, M broken"; the status is 1 when M is
not 0.
"""

import concurrent.futures
import dataclasses
import os
import re
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

RUN_SECONDS = 5  # a normal run takes well under a second, also on a busy machine
BUDGET_SECONDS = 150  # the whole check; a hanging build ends it early, broken
HANGS_TO_STOP = 3
JOBS = 2
NOT_RUN = f"runs hung or the check took over {BUDGET_SECONDS} s"
ARGS = ["-i../blink.hex", "-l0x200"]
OLD_BIN = b"old firmware, not to be torn\n"
OTHER_USER, OLD_GROUP, NOBODY = 12345, 4242, 65534
ACCESS, DEFAULT = "system.posix_acl_access", "system.posix_acl_default"
# Every catchable signal whose default action ends the process, but 32 and 33, which the C library keeps.
SIGNAL_NAMES = {getattr(signal, "SIG" + n): "SIG" + n for n in "HUP INT QUIT ILL TRAP ABRT BUS FPE USR1 SEGV USR2 PIPE "
                "ALRM TERM STKFLT XCPU VTALRM PROF IO PWR SYS".split()}
SIGNAL_NAMES.update({n: f"SIGRTMIN+{n - signal.SIGRTMIN}" for n in range(signal.SIGRTMIN, signal.SIGRTMAX + 1)})


OUTCOMES = {"ok", "new", "narrow", "held", "fail", "any"}


@dataclasses.dataclass(frozen=True)
class Row:
    """Calls of one kind, each listed occurrence failing with each error.

    calls and line are regular expressions on strace's name and line (to which
    " @NAME" is added when the first argument is a descriptor of NAME, "@dir:NAME"
    for a directory). listings: the runs whose calls the row takes, "plain" or
    "KIND:ERROR" (every call of row KIND failing so). A call taken by two
    rows is a fault of the table; a fallback row takes only what no other row
    takes. errors: ERROR (ERROR+ for every occurrence from that one on) to the
    outcome: ok (as the plain run), new (FIRMWARE.BIN as a new file), narrow
    (status 0, no wider than the scenario's bound), held (status 0, a file
    system without modes: no wider than the old or a new file), fail (status
    255) or any.
    """

    kind: str
    calls: str
    line: str
    errors: dict
    must: bool = True
    fallback: bool = False
    listings: tuple = ("plain",)

    def __post_init__(self):
        unknown = sorted(set(self.errors.values()) - OUTCOMES)
        if unknown:
            raise ValueError(f"row {self.kind}: unknown outcome {', '.join(unknown)}")


STAT = "newfstatat|lstat|statx|stat|fstatat64|fstat"
OPEN = "openat|open|creat"
TEMP = r"@[^@]*\.qrv-[^@]*$"
# EOPNOTSUPP: strace's ENOTSUP. A signal's EINTR is retried.
CANNOT_HOLD = {"EPERM": "narrow", "EOPNOTSUPP": "narrow", "ENOSYS": "narrow", "EINVAL": "narrow", "EINTR": "ok"}
NO_MODES = {error: "ok" if outcome == "ok" else "held" for error, outcome in CANNOT_HOLD.items()}
ROWS = (
    Row("dir-status", STAT, r'\(AT_FDCWD, "\."', {"EIO": "fail", "EACCES": "fail"}),
    Row("target-status", STAT, r'"FIRMWARE\.(BIN|HEX)"', {"EIO": "fail", "EACCES": "fail"}),
    Row("judged-status", STAT, r"@FIRMWARE\.BIN$", {"EIO": "fail"}),
    Row("made-status", STAT, TEMP, {"EIO": "fail"}),
    Row("other-status", STAT, ".", {"EIO": "any"}, must=False, fallback=True),
    Row("target-open", OPEN, r'"FIRMWARE\.BIN", O_RDONLY', {"EACCES": "fail", "EIO": "fail", "ENOENT": "new"}),
    Row("temp-create", OPEN, r'"[^"]*\.qrv-[^"]*\.tmp"',
        {"EIO": "fail", "ENOSPC": "fail", "EACCES": "fail", "EEXIST": "ok"}),
    Row("dir-open", OPEN, "O_DIRECTORY", {"EIO": "fail", "EACCES": "ok"}),
    Row("other-open", OPEN, ".", {"EIO": "any"}, must=False, fallback=True),
    Row("stdout-write", "write|writev", "@stdout$", {"EIO": "fail", "ENOSPC": "fail", "EPIPE": "fail"}),
    Row("file-write", "write|writev|pwrite64", TEMP, {"EIO": "fail", "ENOSPC": "fail", "EINTR": "ok"}),
    Row("group", "fchown|fchownat", ".", {"EIO": "fail", "EACCES": "fail", **CANNOT_HOLD}),
    Row("acl-read", "fgetxattr|getxattr|lgetxattr", "posix_acl_access", {"EIO": "any", **CANNOT_HOLD}),
    Row("acl-write", "fsetxattr|setxattr|lsetxattr", "posix_acl_access", {"EIO": "fail", **CANNOT_HOLD}),
    Row("acl-remove", "fremovexattr|removexattr", "posix_acl_access", {"EIO": "fail", **CANNOT_HOLD},
        listings=("plain", "group:EPERM")),
    Row("mode", "fchmod|fchmodat", ".", {"EIO": "fail", **NO_MODES}, listings=("plain", "group:EPERM")),
    Row("data-sync", "fdatasync|fsync", TEMP, {"EIO": "fail", "ENOSPC": "fail", "EINTR": "ok"}),
    Row("temp-close", "close", TEMP, {"EIO": "fail"}),
    Row("dir-sync", "fsync|fdatasync", "@dir:", {"EIO": "fail", "EINTR": "ok", "EINVAL+": "ok"}),
    Row("other-close", "close", ".", {"EIO": "any"}, must=False, fallback=True),
    Row("rename", "rename|renameat|renameat2", ".", {"EIO": "fail", "ENOSPC": "fail", "EACCES": "fail"}),
    Row("remove", "unlink|unlinkat", ".", {"EIO": "fail", "EACCES": "fail"}, listings=("rename:EIO",)),
)


# --- permissions -----------------------------------------------------------

TAGS = {"u": 1, "U": 2, "g": 4, "G": 8, "m": 0x10, "o": 0x20}  # U, G: named entries


def acl_bytes(text):
    """setfacl's "u::rw-,u:65534:r--,..." as the kernel's attribute."""
    entries = []
    for entry in text.split(","):
        tag, who, bits = entry.split(":")
        perm = sum(bit for bit, char in zip((4, 2, 1), bits) if char != "-")
        entries.append((TAGS[tag.upper() if who else tag], perm, int(who) if who else 0xFFFFFFFF))
    return struct.pack("<I", 2) + b"".join(struct.pack("<HHI", *e) for e in sorted(entries, key=lambda e: (e[0], e[2])))


@dataclasses.dataclass(frozen=True)
class Perms:
    gid: int
    mode: int  # with set-id and sticky bits
    acl: tuple  # (tag, perm, id), empty for none

    def __str__(self):
        names = {v: k for k, v in TAGS.items()}
        entries = ",".join(f"{names[t].lower()}:{'' if w == 0xFFFFFFFF else w}:{p:o}" for t, p, w in self.acl)
        return f"group {self.gid} mode {self.mode:04o}" + (f" ACL {entries}" if entries else "")

    def access(self):
        """What each class gets: 'owner', ('u', uid), ('g', gid), 'other'."""
        if not self.acl:
            return {"owner": self.mode >> 6 & 7, ("g", self.gid): self.mode >> 3 & 7, "other": self.mode & 7}
        mask = next((perm for tag, perm, _ in self.acl if tag == 0x10), 7)
        got = {}
        for tag, perm, who in self.acl:
            key = {1: "owner", 2: ("u", who), 4: ("g", self.gid), 8: ("g", who), 0x20: "other"}.get(tag)
            if key:
                got[key] = got.get(key, 0) | (perm if tag in (1, 0x20) else perm & mask)
        return got


def perms_of(path):
    info = os.lstat(path)
    try:
        raw = os.getxattr(path, ACCESS, follow_symlinks=False)
    except OSError:
        raw = b""
    acl = tuple(struct.unpack_from("<HHI", raw, at) for at in range(4, len(raw), 8))
    return Perms(info.st_gid, info.st_mode & 0o7777, acl)


def beyond(out, limits, both):
    """What OUT gives beyond every (both) or any of LIMITS: a class not there gets their 'other'."""
    given = [p.access() for p in limits]
    wider = []
    for key, bits in out.access().items():
        allowed = [g.get(key, 0 if key == "owner" else g["other"]) for g in given]
        limit = allowed[0] & allowed[-1] if both else allowed[0] | allowed[-1]
        if bits & ~limit:
            who = key if isinstance(key, str) else f"{'user' if key[0] == 'u' else 'group'} {key[1]}"
            wider.append(f"{who} {bits:o} (at most {limit:o})")
    return wider


def narrowed(new, old):
    """The rule for another user's file, from the two files."""
    group = (old.mode >> 3 if new.gid == old.gid else old.mode) & 7 if not old.acl else 0
    return Perms(new.gid, new.mode & (old.mode & 0o707 | group << 3), ())


# --- scenarios ---------------------------------------------------------------
@dataclasses.dataclass
class Scenario:
    """FIRMWARE.BIN's state; bound: what the BIN may give in narrowed runs,
    within the 'old' file's, the 'new' file's, or 'both'."""

    name: str
    owner: int
    group: int
    mode: int
    acl: str = ""
    directory_acl: str = ""
    second_link: bool = False
    bound: str = "old"
    all_signals: bool = False
    swapped: bool = False  # one more run: a wide file swapped in between the status call and the open

    def prepare(self, directory):
        """The scenario's directory: the old BIN, the input beside it."""
        os.mkdir(directory)
        if self.directory_acl:
            os.setxattr(directory, DEFAULT, acl_bytes(self.directory_acl))
        path = os.path.join(directory, "FIRMWARE.BIN")
        with open(path, "wb") as file:
            file.write(OLD_BIN)
        os.chown(path, self.owner, self.group)
        os.chmod(path, self.mode)
        if self.acl:
            os.setxattr(path, ACCESS, acl_bytes(self.acl))
        elif ACCESS in os.listxattr(path):
            os.removexattr(path, ACCESS)  # inherited from a default ACL
        if self.second_link:
            os.link(path, os.path.join(directory, "FIRMWARE.LINK"))
        os.chmod(path, self.mode)  # chown cleared the set-id bits

    def expectations(self, directory):
        """The old BIN, a new file there, and what the BIN must be as the plain run leaves it."""
        old = perms_of(os.path.join(directory, "FIRMWARE.BIN"))
        made = os.path.join(directory, "made-by-open")
        os.close(os.open(made, os.O_CREAT | os.O_EXCL | os.O_WRONLY, 0o666))
        new = perms_of(made)
        os.unlink(made)
        kept = {"old": dataclasses.replace(old, mode=old.mode & 0o777), "both": narrowed(new, old), "new": new}
        return old, new, kept[self.bound]


SCENARIOS = (
    # The runner's file in a group not the runner's, its group entry narrower than its mask.
    # Swapped: fault: the file opened was not compared with the status checked, so the swapped-in file's ACL passed on.
    Scenario("own", 0, OLD_GROUP, 0o640, acl=f"u::rw-,u:{NOBODY}:r--,g::---,m::r--,o::---", all_signals=True,
             swapped=True),
    Scenario("other-user", OTHER_USER, OLD_GROUP, 0o640, bound="both"),
    # Another user's file in the runner's group: its group bits pass on, the temporary file made again for them.
    Scenario("teammate", OTHER_USER, 0, 0o640, bound="both"),
    # Fault: another user's ACL was not looked at, so the mask's bits went to the runner's group.
    Scenario("other-user-acl", OTHER_USER, 0, 0o660, acl=f"u::rw-,u:{NOBODY}:rw-,g::---,m::rw-,o::---", bound="both"),
    Scenario("second-link", 0, OLD_GROUP, 0o640, acl=f"u::rw-,u:{NOBODY}:r--,g::---,m::r--,o::---", second_link=True,
             bound="new"),
    Scenario("default-acl", 0, OLD_GROUP, 0o640, directory_acl=f"u::rwx,u:{NOBODY}:rw-,g::r-x,m::rwx,o::---"),
    Scenario("set-id", 0, 0, 0o4755),
)


# --- one run -------------------------------------------------------------------
@dataclasses.dataclass
class Run:
    """One run of the tool and all that the rules read of it."""

    id: int
    scenario: Scenario
    what: str  # row, call, occurrence and injection, for the report
    injects: list
    call: str = ""  # the call injected, "" for none
    outcome: str = "ok"  # or "signal"
    signal: int = 0
    status: int = 0
    hung: bool = False
    out: str = ""
    err: str = ""
    log: str = ""
    files: dict = dataclasses.field(default_factory=dict)  # name: (bytes, Perms)
    temps: list = dataclasses.field(default_factory=list)
    swap: bool = False  # FIRMWARE.BIN swapped while its open is delayed
    swapped: bool = False  # and it was, in time


def swap_when_opening(directory, log, process):
    """Puts a file with a wide ACL in FIRMWARE.BIN's place once the delayed open of it has begun."""
    deadline = time.monotonic() + RUN_SECONDS
    while process.poll() is None and time.monotonic() < deadline:
        if os.path.exists(log) and 'openat(AT_FDCWD, "FIRMWARE.BIN", O_RDONLY' in open(log, errors="replace").read():
            swap = os.path.join(directory, "swap")
            with open(swap, "wb") as file:
                file.write(OLD_BIN)
            os.setxattr(swap, ACCESS, acl_bytes(f"u::rw-,u:{NOBODY}:rwx,g::rw-,m::rwx,o::rw-"))
            os.rename(swap, os.path.join(directory, "FIRMWARE.BIN"))
            return True
        time.sleep(0.01)
    return False


class Check:
    def __init__(self, tool, scratch):
        self.tool, self.scratch, self.started, self.hangs = tool, scratch, time.monotonic(), 0

    def run(self, run):
        """Runs the tool in a fresh directory of the run's scenario and reads what it left."""
        directory = os.path.join(self.scratch, f"r{run.id}")
        if self.hangs >= HANGS_TO_STOP or time.monotonic() - self.started > BUDGET_SECONDS:
            run.hung, run.err = True, NOT_RUN
            return run
        run.scenario.prepare(directory)
        log = os.path.join(self.scratch, f"r{run.id}.log")
        command = ["strace", "-f", "-o", log] + [a for i in run.injects for a in ("-e", "inject=" + i)]
        with subprocess.Popen(command + [self.tool] + ARGS, cwd=directory, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, start_new_session=True) as process:
            if run.swap:
                run.swapped = swap_when_opening(directory, log, process)
            try:
                out, err = process.communicate(timeout=RUN_SECONDS)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                out, err = process.communicate()
                run.hung = True
                self.hangs += 1
        # As a shell shows it: 128 + N for an end by signal N.
        run.status = process.returncode if process.returncode >= 0 else 128 - process.returncode
        run.out, run.err = out.decode(errors="replace"), err.decode(errors="replace")
        with open(log, errors="replace") as file:
            run.log = file.read(1 << 22)  # a looping run's log is long
        for name in sorted(os.listdir(directory)):
            path = os.path.join(directory, name)
            if name.startswith(".qrv-"):
                run.temps.append(name)
            elif name.startswith("FIRMWARE."):
                with open(path, "rb") as file:
                    run.files[name] = (file.read(), perms_of(path))
        if os.environ.get("QRV_KEEP_SCRATCH") != "1":
            shutil.rmtree(directory)
            os.unlink(log)
        return run


# --- the rules: each takes a run and its scenario's expectations, and says what broke -------
def rule_ends(run, _):
    if run.hung or not re.search(r"^\d+ +\+\+\+ (exited|killed)", run.log, re.M):
        return [f"no end within {RUN_SECONDS} s" if run.hung else "strace did not run it: " + run.err[:160]]
    return []


def rule_injected(run, _):
    """A run that took another path tests nothing."""
    if run.swap and not run.swapped:
        return ["nothing swapped in: the delayed open was not seen"]
    if run.outcome == "signal":
        return [] if re.search(r"^\d+ +--- SIG", run.log, re.M) else ["no signal delivered: the run took another path"]
    if run.call and not re.search(rf"^\d+ +{run.call}\(.*\(INJECTED\)$", run.log, re.M):
        return [f"no {run.call} failed: the run took another path"]
    return []


def rule_status(run, _):
    want = {"fail": {255}, "any": {0, 255}, "signal": {128 + run.signal}}.get(run.outcome, {0})
    return [] if run.hung or run.status in want else [f"status {run.status}, not {' or '.join(map(str, sorted(want)))}"]


def rule_done(run, expect):
    """Status 0 only with both outputs new and "done"; no "done" with 255 unless standard output failed."""
    if run.status == 0:
        new = [run.files.get(name, (b"",))[0] for name in ("FIRMWARE.BIN", "FIRMWARE.HEX")] == [expect.bin, expect.hex]
        return [text for text, holds in (("status 0 without both outputs new", new),
                                         ('status 0 without "done"', run.out.endswith("done\n"))) if not holds]
    if run.status == 255 and "\ndone\n" in run.out and "qrv_tools: error: standard output: " not in run.err:
        return ['"done" with status 255']
    return []


def rule_whole(run, expect):
    """Each target old or whole new: never torn, never empty."""
    broken = []
    if run.files.get("FIRMWARE.BIN", (None,))[0] not in (OLD_BIN, expect.bin):
        broken.append("FIRMWARE.BIN gone" if "FIRMWARE.BIN" not in run.files else "FIRMWARE.BIN neither old nor new")
    if run.files.get("FIRMWARE.HEX", (expect.hex,))[0] != expect.hex:
        broken.append("FIRMWARE.HEX neither absent nor new")
    if run.scenario.second_link and run.files.get("FIRMWARE.LINK", (None,))[0] != OLD_BIN:
        broken.append("the second link was written through")
    return broken


def rule_temps(run, _):
    return [f"{t} left and not named" for t in run.temps if not re.search(rf"{re.escape(t)}.*not removed", run.err)]


REASON = re.compile(r"^(qrv_tools: error: standard output|[^:]*(FIRMWARE\.(BIN|HEX)|blink\.hex|\.qrv-\w+\.tmp)[^:]*(:\d+)?: error): .")


def rule_reason(run, _):
    """A failed run names a file it failed on; input warnings are not reasons."""
    lines = [line for line in run.err.splitlines() if ": warning: " not in line]
    if run.status != 255 or any(REASON.match(line) for line in lines):
        return []
    return ["no reason line naming a file (stderr: " + "|".join(lines)[:160] + ")"]


def rule_permissions(run, expect):
    """No output gives more than its bound allows, nor set-id or sticky bits."""
    broken = []
    bound = {"new": ((expect.new,), False), "held": ((expect.old, expect.new), False)}.get(run.outcome, expect.bound)
    for name, (limits, both) in (("FIRMWARE.BIN", bound), ("FIRMWARE.HEX", ((expect.new,), False))):
        if name in run.files and run.files[name][0] != OLD_BIN:
            perms = run.files[name][1]
            if perms.mode & 0o7000:
                broken.append(f"{name} has mode {perms.mode:o}")
            broken += [f"{name} gives {wider}" for wider in beyond(perms, limits, both)]
    return broken


def rule_kept(run, expect):
    """Where the row expects it, the permissions are exactly the plain run's, or a new file's."""
    if run.status != 0 or run.outcome not in ("ok", "new"):
        return []
    want = {"FIRMWARE.BIN": expect.kept if run.outcome == "ok" else expect.new, "FIRMWARE.HEX": expect.new}
    return [f"{name} is {run.files[name][1]}, not {want[name]}" for name in want
            if name in run.files and run.files[name][1] != want[name]]


def rule_removes_own(run, _):
    """Only what the run created and still owns is removed."""
    found = [f.group(1) for f in re.finditer(r"^\d+ +(unlink(at)?\(.*= -1 ENOENT.*)$", run.log, re.M)]
    return [f"removes what is not there: {f}" for f in found if "INJECTED" not in f][:1]


def rule_created_within(run, expect):
    """No temporary file that becomes an output is created wider than that output: a new file's bits within the
    create call's mode."""
    broken = []
    created = r'^\d+ +open(?:at)?\(.*"([^"]*\.qrv-[^"]*\.tmp)", [^)]*O_CREAT[^)]*, (0\d+)\) = \d'
    for found in re.finditer(created, run.log, re.M):
        renamed = re.search(rf'^\d+ +rename(?:at2?)?\(.*"{re.escape(found.group(1))}", (?:AT_FDCWD, )?"([^"]+)"'
                            r'(?:, \w+)?\) = 0$', run.log, re.M)
        final = run.files.get(renamed.group(1), (b"", None))[1] if renamed else None
        wider = int(found.group(2), 8) & expect.new.mode & ~(final.mode if final else 0o7777)
        if wider:
            broken.append(f"{found.group(1)} created with {found.group(2)}, {renamed.group(1)} has {final.mode:04o}")
    return broken


RULES = (rule_ends, rule_injected, rule_status, rule_done, rule_whole, rule_temps, rule_reason, rule_permissions,
         rule_kept, rule_removes_own, rule_created_within)


# --- the listings ----------------------------------------------------------------
def annotate(log):
    """(call, occurrence, temp file exists after it, line with " @NAME") for each call of a log."""
    calls, count, names, temps = [], {}, {}, set()
    for line in log.splitlines():
        found = re.match(r"^\d+ +([a-z_0-9]+)\((.*)$", line)
        if not found:
            continue
        call, args = found.groups()
        result = re.search(r" = (-?\d+)", line)
        result = int(result.group(1)) if result else -1
        path = re.search(r'"([^"]*)"', args)
        path = path.group(1) if path else ""
        note = ""
        fd = re.match(r"^(\d+)[,)]", args)
        if fd:
            note = " @" + names.get(fd.group(1), {"1": "stdout", "2": "stderr"}.get(fd.group(1), "fd" + fd.group(1)))
            if call == "close":
                names.pop(fd.group(1), None)
        if re.fullmatch(OPEN, call) and result >= 0:
            names[str(result)] = ("dir:" if "O_DIRECTORY" in line else "") + path
            if re.search(r"\.qrv-[^/]*\.tmp$", path):
                temps.add(path)
        if re.fullmatch("rename|renameat|renameat2|unlink|unlinkat", call) and result == 0:
            temps.discard(path)
        count[call] = count.get(call, 0) + 1
        calls.append((call, count[call], bool(temps), line + note))
    return calls


def check_order(calls):
    """Each temporary file kept synced, closed and renamed in that order; after the last rename one
    sync of the directory, then "done"."""
    broken = []

    def first(test):
        return next((at for at, (call, _, _, line) in enumerate(calls) if test(call, line)), None)

    for temp in {found.group(1) for call, _, _, line in calls if re.fullmatch(OPEN, call)
                 for found in [re.search(r'"([^"]*\.qrv-[^"]*\.tmp)"', line)] if found}:
        if first(lambda call, line: call.startswith("unlink") and f'"{temp}"' in line) is not None:
            continue  # made again before its first byte
        sync = first(lambda call, line: call in ("fdatasync", "fsync") and line.endswith("@" + temp))
        close = first(lambda call, line: call == "close" and line.endswith("@" + temp))
        rename = first(lambda call, line: call.startswith("rename") and f'"{temp}"' in line)
        if None in (sync, close, rename) or not sync < close < rename:
            broken.append(f"order: {temp} synced at call {sync}, closed at {close}, renamed at {rename}")
    renames = [at for at, c in enumerate(calls) if c[0].startswith("rename")]
    dir_syncs = [at for at, c in enumerate(calls) if c[0] in ("fsync", "fdatasync") and "@dir:" in c[3]]
    done = [at for at, c in enumerate(calls) if c[0] == "write" and 'write(1, "done\\n"' in c[3]]
    if len(dir_syncs) != 1 or not renames or not done or not renames[-1] < dir_syncs[0] < done[-1]:
        broken.append(f"order: directory syncs {dir_syncs}, not one between the last rename and \"done\"")
    return broken


def take(calls, listing, claimed, problems):
    """The occurrences of each row in one listing; a call two rows take is a problem of the table."""
    taken = {row.kind: [] for row in ROWS}
    for call, occurrence, temp, line in calls:
        rows = [row for row in ROWS if not row.fallback and listing in row.listings and re.fullmatch(row.calls, call)
                and re.search(row.line, line)]
        rows = rows or [row for row in ROWS if row.fallback and listing in row.listings
                        and re.fullmatch(row.calls, call) and re.search(row.line, line)]
        if len(rows) > 1:
            problems.append(f"{call} #{occurrence} ({line[:80]}) is taken by rows {', '.join(r.kind for r in rows)}")
        for row in rows[:1]:
            taken[row.kind].append((call, occurrence, temp))
            claimed.add(row.kind)
    return taken


@dataclasses.dataclass
class Expectations:
    bin: bytes
    hex: bytes
    old: Perms
    new: Perms
    kept: Perms
    bound: tuple  # (files, whether within both) for FIRMWARE.BIN


def reason_to_skip(scratch):
    if shutil.which("strace") is None:
        return "strace is missing (Debian package strace)"
    if os.geteuid() != 0:
        return "needs root, to give a file to another user"
    if subprocess.run(["strace", "-o", os.devnull, "true"], capture_output=True).returncode != 0:
        return "strace cannot trace here (ptrace is not permitted)"
    probe = os.path.join(scratch, "probe")
    open(probe, "w").close()
    try:
        os.setxattr(probe, ACCESS, acl_bytes("u::rw-,g::r--,m::r--,o::---"))
    except OSError as error:
        return f"the file system of {scratch} holds no ACLs ({error.strerror})"
    return None


def main():
    if len(sys.argv) != 2 or not os.access(sys.argv[1], os.X_OK):
        print("usage: tests/failure_paths.py PATH/TO/qrv_tools\nfailure paths: 0 runs, 1 broken")
        return 2
    scratch = tempfile.mkdtemp(prefix="qrv-failure-paths.")
    try:
        skip = reason_to_skip(scratch)
        if skip:
            print(f"skipped: {skip}")
            return 1 if os.environ.get("QRV_FAILURE_PATHS_REQUIRED") == "1" else 77
        os.umask(0o022)
        shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "blink.hex"), scratch)
        return check(os.path.abspath(sys.argv[1]), scratch)
    finally:
        if os.environ.get("QRV_KEEP_SCRATCH") == "1":
            print(f"scratch kept: {scratch}")
        else:
            shutil.rmtree(scratch, ignore_errors=True)


def row(kind):
    return next(r for r in ROWS if r.kind == kind)


def jobs_for(scenario, listing, calls, before, claimed, problems, signals, unchanged="ok"):
    """The runs of one listing: each error of each row at each occurrence, and the signals; "ok" is the
    outcome of the listing's own run, UNCHANGED."""
    jobs = []
    for kind, occurrences in take(calls, listing, claimed, problems).items():
        for index, (call, occurrence, temp) in enumerate(occurrences):
            where = f"{scenario.name}: {kind} {call} #{occurrence}" + (f" (every {listing})" if before else "")
            for error, outcome in row(kind).errors.items():
                inject = f"{call}:error={error.rstrip('+')}:when={occurrence}{'+' if error.endswith('+') else ''}"
                jobs.append(Run(0, scenario, f"{where} {error}", before + [inject], call,
                                unchanged if outcome == "ok" else outcome))
            # Every signal where a temporary file exists, in one scenario; elsewhere one, rotating.
            chosen = signals if temp and scenario.all_signals else [signals[(len(jobs) + index) % len(signals)]]
            jobs += [Run(0, scenario, f"{where} {SIGNAL_NAMES[sig]}",
                         before + [f"{call}:signal={sig}:when={occurrence}"], call, "signal", sig) for sig in chosen]
    return jobs


def check(tool, scratch):
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))  # signals such as SIGSEGV would leave core files
    runner, signals = Check(tool, scratch), list(SIGNAL_NAMES)
    broken, claimed, problems, runs = [], set(), [], []
    for scenario in SCENARIOS:
        directory = os.path.join(scratch, scenario.name)
        scenario.prepare(directory)
        old, new, kept = scenario.expectations(directory)
        plain = runner.run(Run(len(runs) + 1, scenario, f"{scenario.name}: plain run", []))
        if plain.err == NOT_RUN:
            runs.append((plain, None))
            break
        if plain.status != 0 or len(plain.files) < 2:
            print(f"{scenario.name}: the plain run failed (status {plain.status}): {plain.err.strip()}")
            print(f"failure paths: {len(runs) + 1} runs, 1 broken")
            return 1
        bounds = {"old": (old,), "new": (new,), "both": (old, new)}[scenario.bound]
        expect = Expectations(plain.files["FIRMWARE.BIN"][0], plain.files["FIRMWARE.HEX"][0], old, new, kept,
                              (bounds, scenario.bound == "both"))
        broken += [f"{scenario.name}: plain run: {b}" for b in check_order(annotate(plain.log))]
        made = [plain]
        jobs = jobs_for(scenario, "plain", annotate(plain.log), [], claimed, problems, signals)
        # Runs in which every call of a row fails, for the calls only those paths make.
        for after in sorted({a for r in ROWS for a in r.listings if a != "plain"}):
            kind, error = after.split(":")
            names = sorted({c for c, _, _, line in annotate(plain.log)
                            if re.fullmatch(row(kind).calls, c) and re.search(row(kind).line, line)})
            if names:  # else this scenario never makes that call
                before = [f"{c}:error={error}" for c in names]
                made.append(runner.run(Run(len(runs) + len(made) + 1, scenario, f"{scenario.name}: every {kind} call "
                                           f"failing with {error}", before, names[-1], row(kind).errors[error])))
                jobs += jobs_for(scenario, after, annotate(made[-1].log), before, claimed, problems, signals,
                                 row(kind).errors[error])
        if scenario.swapped:
            call, occurrence = next((c, o) for c, o, _, line in annotate(plain.log)
                                    if re.fullmatch(OPEN, c) and re.search(row("target-open").line, line))
            made.append(runner.run(Run(len(runs) + len(made) + 1, scenario, f"{scenario.name}: swapped between the "
                                       "status and the open", [f"{call}:delay_enter=1000000:when={occurrence}"],
                                       outcome="new", swap=True)))
        for number, job in enumerate(jobs, len(runs) + len(made) + 1):
            job.id = number
        with concurrent.futures.ThreadPoolExecutor(JOBS) as pool:
            runs += [(run, expect) for run in made + list(pool.map(runner.run, jobs))]
    made = [(run, expect) for run, expect in runs if run.err != NOT_RUN]
    for r in ROWS:
        if r.must and r.kind not in claimed and len(made) == len(runs):
            problems.append(f"expected call missing: {r.kind} ({r.calls} matching {r.line}) never occurs")
    for run, expect in made:
        found = [text for rule in RULES for text in rule(run, expect)]
        if found:
            broken.append(f"{run.what}: {'; '.join(found)}")
    if len(made) < len(runs):
        broken.append(f"stopped early, {len(runs) - len(made)} runs not made: {NOT_RUN}")
    broken += [f"table: {p}" for p in sorted(set(problems))]
    print("\n".join(broken + [f"time: {time.monotonic() - runner.started:.0f} s",
                              f"failure paths: {len(made)} runs, {len(broken)} broken"]))
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
