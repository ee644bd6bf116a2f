#!/usr/bin/env python3
"""Runs one shell command, times it and optionally samples its CPU use.

    proc_timeline.py TIMES [--timeline FILE] [--interval SECONDS] -- COMMAND

appends "wall cpu alone" to TIMES: wall-clock seconds and user + system
seconds of the command and all its children (what /usr/bin/time -f
'%e %U %S' gives, summed), and an estimate of its wall time on this machine
with nothing else running (see idle_estimate; the wall time again without
--timeline). With --timeline the command's process tree is sampled every
INTERVAL seconds (default 0.15) from /proc/<pid>/stat, and FILE gets four
lines: the busy cores of the tree per second of wall time, those of the
whole machine (/proc/stat; on a shared machine other work shows there), the
mean number of the tree's threads running or waiting for a processor (what
the command would use of an idle machine; load from others does not lower
it), and a summary. The command's output goes where this program's goes; its exit
status is this program's.

The timeline counts the user + system time of the processes alive at each
sample and, through their parents, of those that ended between samples (the
summary compares the sampled total with the exact one).
"""

import argparse
import os
import subprocess
import sys
import time

TICK = os.sysconf("SC_CLK_TCK")
CORES = os.cpu_count() or 1


def read_stat(pid):
    """(ppid, utime + stime, cutime + cstime) of a process in ticks, None
    when it is gone."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            text = f.read()
    except OSError:
        return None
    # The command name is in parentheses and may hold spaces or ')'.
    fields = text[text.rfind(b")") + 2:].split()
    if len(fields) < 15:
        return None
    return int(fields[1]), int(fields[11]) + int(fields[12]), int(fields[13]) + int(fields[14])


def machine_ticks():
    """(busy, total) ticks of all processors since boot."""
    with open("/proc/stat") as f:
        values = [int(v) for v in f.readline().split()[1:]]
    idle = values[3] + (values[4] if len(values) > 4 else 0)
    return sum(values) - idle, sum(values)


class TreeSampler:
    """Follows the processes below one root and sums their CPU time.

    Each live process adds the growth of its own time and of its children's
    (the time of those it has waited for). A process that is gone took its
    last counted time into its parent's children's time, so that much is
    taken off again; what it used after the last sample is then counted
    once, through its parent."""

    def __init__(self, root):
        self.tree = {root}
        self.foreign = set()
        self.last = {}  # pid -> (own, children's) ticks at the previous sample
        self.total = 0  # ticks counted so far

    def sample(self):
        pids = [int(name) for name in os.listdir("/proc") if name.isdigit()]
        alive = set(pids)
        # New processes, parents (mostly lower numbers) before their children.
        for pid in sorted(p for p in pids if p not in self.tree and p not in self.foreign):
            stat = read_stat(pid)
            if stat is None:
                continue
            (self.tree if stat[0] in self.tree else self.foreign).add(pid)
        for pid in list(self.tree):
            stat = read_stat(pid) if pid in alive else None
            own, children = self.last.get(pid, (0, 0))
            if stat is None:
                self.tree.discard(pid)
                self.last.pop(pid, None)
                self.total -= own + children
                continue
            self.total += stat[1] - own + stat[2] - children
            self.last[pid] = stat[1:]
        self.foreign &= alive
        return self.total

    def running(self):
        """Threads of the tree that are running or waiting for a processor."""
        count = 0
        for pid in self.tree:
            try:
                tasks = os.listdir(f"/proc/{pid}/task")
            except OSError:
                continue
            for task in tasks:
                try:
                    with open(f"/proc/{pid}/task/{task}/stat", "rb") as f:
                        text = f.read()
                except OSError:
                    continue
                count += text[text.rfind(b")") + 2:][:1] == b"R"
        return count


def per_second(samples):
    """Cuts (time, own ticks, machine busy, machine total, running threads)
    samples into bins of about one second of wall time; yields each bin's
    length in seconds, the growth of the three counters and the mean number
    of running threads in it."""
    first = samples[0]
    second = 1
    running = []
    for sample in samples[1:]:
        running.append(sample[4])
        if sample[0] - samples[0][0] >= second or sample is samples[-1]:
            span = sample[0] - first[0]
            if span > 0.05:
                yield (span, sample[1] - first[1], sample[2] - first[2], sample[3] - first[3],
                       sum(running) / len(running))
            first = sample
            running = []
            second += 1


def idle_estimate(samples):
    """The wall time the command would take alone on this machine: each
    interval's CPU time spread over the threads that wanted a processor at
    its ends (at most as many as there are processors); an interval in which
    none wanted one (waiting for the disk or a timer) counts whole. Load from
    other work stretches the wall time but neither the CPU time nor the
    number of threads that want to run, so this stays near what an idle
    machine shows."""
    total = 0.0
    for before, after in zip(samples, samples[1:]):
        wanting = (before[4] + after[4]) / 2
        if wanting == 0:
            total += after[0] - before[0]
        else:
            total += (after[1] - before[1]) / TICK / min(max(wanting, 1), CORES)
    return total


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("times")
    parser.add_argument("--timeline")
    parser.add_argument("--interval", type=float, default=0.15)
    argv = sys.argv[1:]
    if "--" not in argv or argv.index("--") == len(argv) - 1:
        parser.error("no command after --")
    args = parser.parse_args(argv[:argv.index("--")])
    command = argv[argv.index("--") + 1:]

    start = time.monotonic()
    child = subprocess.Popen(command)
    samples = []
    sampler = TreeSampler(child.pid) if args.timeline else None
    while True:
        if sampler:
            ticks = sampler.sample()
            samples.append((time.monotonic(), ticks, *machine_ticks(), sampler.running()))
        pid, status, usage = os.wait4(child.pid, os.WNOHANG)
        if pid:
            break
        if not sampler:
            pid, status, usage = os.wait4(child.pid, 0)
            break
        time.sleep(max(0.0, args.interval - (time.monotonic() - samples[-1][0])))
    wall = time.monotonic() - start
    cpu = usage.ru_utime + usage.ru_stime
    estimate = idle_estimate(samples) if len(samples) >= 2 else wall
    with open(args.times, "a") as f:
        f.write(f"{wall:.2f} {cpu:.2f} {estimate:.2f}\n")

    if sampler and len(samples) >= 2:
        bins = list(per_second(samples))
        own = [ticks / TICK / span for span, ticks, _, _, _ in bins]
        # The machine's busy share of all its processors, as busy cores.
        machine = [CORES * busy / total for _, _, busy, total, _ in bins if total > 0]
        running = [threads for *_, threads in bins]
        sampled = samples[-1][1] / TICK
        with open(args.timeline, "w") as f:
            f.write("ours:    " + " ".join(f"{v:.1f}" for v in own) + "\n")
            f.write("machine: " + " ".join(f"{v:.1f}" for v in machine) + "\n")
            f.write("running: " + " ".join(f"{v:.1f}" for v in running) + "\n")
            f.write(f"{wall:.1f} s wall, {cpu:.1f} s CPU ({cpu / wall:.2f} cores on average; "
                    f"sampled {sampled:.1f} s of it), {CORES} processors; alone about {estimate:.1f} s\n")
    return os.waitstatus_to_exitcode(status)


if __name__ == "__main__":
    sys.exit(main())
