#!/usr/bin/env python3
"""Runs one command and measures the peak memory of its process and, apart
from it, of the processes it starts (encoder processes such as lame).

    peak_memory.py RESULTS [--interval SECONDS] -- COMMAND [ARGS...]

COMMAND runs directly (no shell), so the measured process is the program
itself. Every INTERVAL seconds (default 0.02) the process and everything
below it is read from /proc/<pid>/status; when the command ends one line is
appended to RESULTS, all sizes in KiB:

    ours_hwm ours_anon children_hwm children_sum exit_maxrss wall

ours_hwm      the process's peak resident set (VmHWM, the kernel's own
              high-water mark, so a peak between two samples is not missed;
              only a rise after the last sample could be),
ours_anon     the largest anonymous resident memory seen (RssAnon: heap,
              stacks and buffers, without the mapped program and libraries),
children_hwm  the largest VmHWM of any one process below it, counted from
              when it runs a program of its own (between fork and exec a
              child is a copy of the process, sharing its pages),
children_sum  the largest total resident set of the processes below it
              alive at the same sample (two encoders side by side),
exit_maxrss   the exact ru_maxrss the kernel gives when the command is
              reaped: the largest peak of the process and of the children
              it waited for, a check on ours_hwm,
wall          seconds.

When exit_maxrss is above children_hwm by more than 1 MiB, it is the
process's own exact peak, and ours_hwm is raised to it where the sampling
fell short (a note goes to stderr when by more than 1 MiB: the peak rose
after the last sample). The margin keeps a child's last pages after its last
sample from being taken for ours. The
command's output goes where this program's goes; its exit status is this
program's.
"""

import argparse
import os
import subprocess
import sys
import time

# How far the figure at exit may lie above the sampled peaks before it counts
# as a rise of the process's own after the last sample.
MARGIN_KIB = 1024


def status_fields(pid, names):
    """The given "Name: value kB" fields of /proc/<pid>/status (KiB), or None
    when the process is gone or holds no memory any more (a zombie)."""
    try:
        with open(f"/proc/{pid}/status", "rb") as f:
            text = f.read().decode("ascii", "replace")
    except OSError:
        return None
    values = {}
    for line in text.splitlines():
        name, _, rest = line.partition(":")
        if name in names:
            parts = rest.split()
            if parts and parts[0].isdigit():
                values[name] = int(parts[0])
    if any(name not in values for name in names):
        return None
    return values


def parent_of(pid):
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            text = f.read()
    except OSError:
        return None
    # The command name is in parentheses and may hold spaces or ')'.
    fields = text[text.rfind(b")") + 2:].split()
    return int(fields[1]) if len(fields) > 1 else None


def executable(pid):
    try:
        return os.readlink(f"/proc/{pid}/exe")
    except OSError:
        return None


class Tree:
    """The command's process and those below it, with their peaks so far."""

    def __init__(self, root):
        self.root = root
        self.exe = executable(root)
        self.below = set()    # pids known to be below the root
        self.foreign = set()  # pids known not to be
        self.ours_hwm = 0
        self.ours_anon = 0
        self.children_hwm = 0
        self.children_sum = 0

    def sample(self):
        pids = {int(name) for name in os.listdir("/proc") if name.isdigit()}
        self.below &= pids
        self.foreign &= pids
        # New processes, parents (mostly lower numbers) before their children.
        for pid in sorted(pids - self.below - self.foreign - {self.root}):
            ppid = parent_of(pid)
            if ppid is None:
                continue
            (self.below if ppid == self.root or ppid in self.below else self.foreign).add(pid)
        ours = status_fields(self.root, ("VmHWM", "RssAnon"))
        if ours:
            self.ours_hwm = max(self.ours_hwm, ours["VmHWM"])
            self.ours_anon = max(self.ours_anon, ours["RssAnon"])
        together = 0
        for pid in self.below:
            # A child forked but not yet running its program is a copy of
            # the process (its pages are the process's own, shared).
            if self.exe is not None and executable(pid) == self.exe:
                continue
            child = status_fields(pid, ("VmHWM", "VmRSS"))
            if child:
                self.children_hwm = max(self.children_hwm, child["VmHWM"])
                together += child["VmRSS"]
        self.children_sum = max(self.children_sum, together)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("results")
    parser.add_argument("--interval", type=float, default=0.02)
    argv = sys.argv[1:]
    if "--" not in argv or argv.index("--") == len(argv) - 1:
        parser.error("no command after --")
    args = parser.parse_args(argv[:argv.index("--")])
    if not 0 < args.interval <= 10:
        parser.error("the interval must be above 0 and at most 10 seconds")
    command = argv[argv.index("--") + 1:]

    start = time.monotonic()
    child = subprocess.Popen(command)
    tree = Tree(child.pid)
    while True:
        tree.sample()
        pid, status, usage = os.wait4(child.pid, os.WNOHANG)
        if pid:
            break
        time.sleep(args.interval)
    wall = time.monotonic() - start
    maxrss = usage.ru_maxrss  # KiB on Linux
    if maxrss > tree.children_hwm + MARGIN_KIB and maxrss > tree.ours_hwm:
        # Above every child's peak: the figure is the process's own.
        if maxrss > tree.ours_hwm + MARGIN_KIB:
            print(f"peak_memory: the peak rose after the last sample ({tree.ours_hwm} KiB sampled, "
                  f"{maxrss} KiB at exit)", file=sys.stderr)
        tree.ours_hwm = maxrss
    with open(args.results, "a") as f:
        f.write(f"{tree.ours_hwm} {tree.ours_anon} {tree.children_hwm} {tree.children_sum} {maxrss} {wall:.2f}\n")
    return os.waitstatus_to_exitcode(status)


if __name__ == "__main__":
    sys.exit(main())
