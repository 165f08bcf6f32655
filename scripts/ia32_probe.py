#!/usr/bin/env python3
"""Says whether this host starts 32-bit x86 programs (IA32 emulation).

Writes a static 32-bit ELF of 96 bytes that does nothing but exit with
status 7 through the i386 system call, and runs it: a kernel without IA32
emulation, or with it switched off, refuses it ("Exec format error"). Needs
no 32-bit compiler or library, so it answers before anything is installed.

    scripts/ia32_probe.py    # status 0: it can; 1: it cannot, and why, on one line

Standard library only.
"""

import os
import struct
import subprocess
import sys
import tempfile

STATUS = 7  # not 0, so that only the probe's own code can have produced it
BASE = 0x08048000
EHDR_SIZE = 52
PHDR_SIZE = 32
# mov ebx, STATUS; mov eax, 1 (exit); int 0x80
CODE = bytes([0xBB, STATUS, 0, 0, 0, 0xB8, 1, 0, 0, 0, 0xCD, 0x80])


def program():
    size = EHDR_SIZE + PHDR_SIZE + len(CODE)
    ident = b"\x7fELF" + bytes([1, 1, 1]) + bytes(9)  # 32-bit, little-endian, version 1
    ehdr = ident + struct.pack(
        "<HHIIIIIHHHHHH",
        2,  # ET_EXEC
        3,  # EM_386
        1,  # EV_CURRENT
        BASE + EHDR_SIZE + PHDR_SIZE,  # entry: the code right after the headers
        EHDR_SIZE,  # program headers follow the ELF header
        0, 0, EHDR_SIZE, PHDR_SIZE, 1, 0, 0, 0)
    # One PT_LOAD segment, readable and executable, mapping the whole file.
    phdr = struct.pack("<IIIIIIII", 1, 0, BASE, BASE, size, size, 5, 0x1000)
    return ehdr + phdr + CODE


def main():
    with tempfile.TemporaryDirectory(prefix="qrv-ia32-probe.") as scratch:
        path = os.path.join(scratch, "probe")
        with open(path, "wb") as f:
            f.write(program())
        os.chmod(path, 0o700)
        try:
            status = subprocess.run([path], check=False).returncode
        except OSError as error:
            print("this host cannot start 32-bit programs (%s)" % (error.strerror or error))
            return 1
    if status != STATUS:
        print("this host cannot start 32-bit programs (the probe ended with status %d)" % status)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
