#!/usr/bin/env python3
"""Checks that peak_memory.py tells a process's memory from its children's.

    python3 bench/peak_memory_test.py

Each case runs a small Python program under peak_memory.py that touches a
known amount of memory itself and in the processes it starts, and checks
which column it lands in. Sizes are large against a Python process's own
(about 10 MiB) so that the bounds hold on any machine.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
import unittest

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "peak_memory.py")
MIB = 1024

# Touches N MiB (every page written) and holds it for HOLD seconds.
HOLD_MEMORY = textwrap.dedent("""
    import sys, time
    block = bytearray(int(sys.argv[1]) << 20)
    for i in range(0, len(block), 4096):
        block[i] = 1
    time.sleep(float(sys.argv[2]))
""")


# The children run a copy of the interpreter: a program of their own, as an
# encoder process is (the tool does not count a child that still runs the
# measured process's program, a copy of it between fork and exec).
CHILD_PYTHON = None


def hold(mib, seconds):
    return [CHILD_PYTHON, "-c", HOLD_MEMORY, str(mib), str(seconds)]


class PeakMemoryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        global CHILD_PYTHON
        cls.folder = tempfile.TemporaryDirectory()
        CHILD_PYTHON = os.path.join(cls.folder.name, "child-python")
        shutil.copy(sys.executable, CHILD_PYTHON)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def measure(self, program, *extra):
        """Runs `python -c program` under the tool; its exit status and the
        result fields in KiB."""
        with tempfile.TemporaryDirectory() as folder:
            results = os.path.join(folder, "results")
            done = subprocess.run([sys.executable, TOOL, results, *extra, "--", sys.executable, "-c", program],
                                  stderr=subprocess.PIPE, timeout=120)
            with open(results) as f:
                lines = f.read().splitlines()
        self.assertEqual(len(lines), 1)
        fields = lines[0].split()
        self.assertEqual(len(fields), 6)
        ours, anon, child, children, maxrss = (int(v) for v in fields[:5])
        return done.returncode, dict(ours=ours, anon=anon, child=child, children=children, maxrss=maxrss)

    def test_own_memory_and_a_larger_child_stay_apart(self):
        # The process holds 40 MiB; its child, started after, 80 MiB. The
        # child's peak (also the kernel's figure at exit) must not be taken
        # for the process's own.
        rc, m = self.measure(textwrap.dedent(f"""
            import subprocess, sys
            block = bytearray(40 << 20)
            for i in range(0, len(block), 4096):
                block[i] = 1
            subprocess.run({hold(80, 0.5)!r}, check=True)
        """))
        self.assertEqual(rc, 0)
        self.assertGreaterEqual(m["ours"], 40 * MIB)
        self.assertLess(m["ours"], 75 * MIB)
        self.assertGreaterEqual(m["anon"], 40 * MIB)
        self.assertLessEqual(m["anon"], m["ours"])
        self.assertGreaterEqual(m["child"], 80 * MIB)
        self.assertLess(m["child"], 115 * MIB)
        self.assertGreaterEqual(m["maxrss"], m["child"] - MIB)

    def test_children_side_by_side_add_up_and_one_alone_does_not(self):
        # Two children of 30 MiB at once, then a third alone: the largest
        # one is about 30 MiB, together they held about 60.
        rc, m = self.measure(textwrap.dedent(f"""
            import subprocess
            pair = [subprocess.Popen({hold(30, 0.6)!r}) for _ in range(2)]
            for p in pair:
                p.wait()
            subprocess.run({hold(30, 0.3)!r}, check=True)
        """))
        self.assertEqual(rc, 0)
        self.assertGreaterEqual(m["child"], 30 * MIB)
        self.assertLess(m["child"], 55 * MIB)
        self.assertGreaterEqual(m["children"], 60 * MIB)
        self.assertLess(m["ours"], 40 * MIB)

    def test_a_forked_copy_of_the_process_is_not_a_child_of_its_own(self):
        # A child that never runs a program of its own shares the process's
        # 60 MiB; counted, it would show as a child as large as the process.
        rc, m = self.measure(textwrap.dedent("""
            import os, time
            block = bytearray(60 << 20)
            for i in range(0, len(block), 4096):
                block[i] = 1
            pid = os.fork()
            if pid == 0:
                time.sleep(0.5)
                os._exit(0)
            os.waitpid(pid, 0)
        """))
        self.assertEqual(rc, 0)
        self.assertGreaterEqual(m["ours"], 60 * MIB)
        self.assertEqual(m["child"], 0)
        self.assertEqual(m["children"], 0)

    def test_a_peak_after_the_last_sample_comes_from_the_exit_figure(self):
        # Sampled every 3 seconds, the process's 64 MiB (touched after the
        # first sample, the process gone within a second) is seen only in
        # the kernel's figure at exit; the exit status is passed on.
        rc, m = self.measure(textwrap.dedent("""
            import sys, time
            time.sleep(0.3)
            block = bytearray(64 << 20)
            for i in range(0, len(block), 4096):
                block[i] = 1
            sys.exit(3)
        """), "--interval", "3")
        self.assertEqual(rc, 3)
        self.assertGreaterEqual(m["ours"], 64 * MIB)
        self.assertEqual(m["ours"], m["maxrss"])
        self.assertEqual(m["child"], 0)


if __name__ == "__main__":
    unittest.main()
