#!/usr/bin/env python3
"""Ctrl+C with the progress bar on a terminal: the program is run with its standard error
on a pseudo-terminal against the simulated FET library slowed down, interrupted twice while
the bar is drawn (the second press ends it at once), and what reached the terminal must end
with the bar erased: nothing after the last carriage return but blanks.
Arguments: pyrola, the simulated FET library, a work folder."""
import os
import pty
import select
import signal
import subprocess
import sys
import time

pyrola, fetlib, work = sys.argv[1:4]
os.makedirs(work, exist_ok=True)
image = os.path.join(work, "big.txt")
with open(image, "w") as f:
    f.write("@1100\n")
    for i in range(0, 0x10000 - 0x1100, 16):
        f.write(" ".join("%02X" % ((i + j) & 0xFF) for j in range(16)) + "\n")
    f.write("q\n")

env = dict(os.environ, PYROLA_SETTINGS=os.path.join(work, "settings.ini"),
           PYROLA_SIM_STATE=os.path.join(work, "chip.state"), PYROLA_FET_LIBRARY=fetlib,
           PYROLA_SIM_FET_DELAY="200")
master, slave = pty.openpty()
out = open(os.path.join(work, "out.txt"), "w")
proc = subprocess.Popen([pyrola, "-fet", "+pv", image], stdout=out, stderr=slave, env=env)
os.close(slave)
seen = b""


def read_for(seconds, until=None):
    global seen
    end = time.time() + seconds
    while time.time() < end:
        ready, _, _ = select.select([master], [], [], 0.05)
        if ready:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                return
            if not chunk:
                return
            seen += chunk
            if until and until in seen:
                return


read_for(30, until=b"[#")
if b"[#" not in seen:
    print("FAIL: no progress bar was drawn on the terminal:", seen[-200:])
    proc.kill()
    sys.exit(1)
proc.send_signal(signal.SIGINT)
time.sleep(0.05)
proc.send_signal(signal.SIGINT)
status = proc.wait(timeout=30)
read_for(0.5)
tail = seen[seen.rfind(b"\r") + 1:] if b"\r" in seen else seen
if status != 1:
    print("FAIL: exit status %d, expected 1" % status)
    sys.exit(1)
if tail.strip(b" ") not in (b"", b"\n"):
    print("FAIL: the terminal was left with %r" % seen[-120:])
    sys.exit(1)
print("clean interrupt test passed")
