#!/usr/bin/env python3
"""WAV to MP3 through the lame wrapper against lame run directly.

The wrapper is exercised through `discwright-cli encode mp3`, which runs
TMp3EncodeProcess (child on pipes, reading thread, output parsing, events)
with the default settings (-b 128 -m j); lame is run with the same switches.

    bench/encode_compare.py [--build DIR] [--seconds N] [--runs N]

Runs the two alternately, prints median wall time and median CPU time
(user + system of the child processes, which machine load does not inflate)
and their ratios, and the command's start-up time (paid once per program
run, not per encode). Exits 1 when the wall-time ratio exceeds 1.05.
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def timed(cmd, env):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.monotonic()
    subprocess.run(cmd, env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.monotonic() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--seconds", type=int, default=180)
    ap.add_argument("--runs", type=int, default=5)
    a = ap.parse_args()

    cli = os.path.join(a.build, "bin", "discwright-cli")
    for tool in (cli,):
        if not os.access(tool, os.X_OK):
            sys.exit(f"encode_compare: {tool} not built")
    for tool in ("lame", "sox"):
        if not shutil.which(tool):
            sys.exit(f"encode_compare: {tool} not installed")

    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"))
        os.makedirs(env["XDG_CONFIG_HOME"])
        wav = os.path.join(work, "in.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", str(a.seconds),
                        "pinknoise", "vol", "0.3"], check=True)
        direct = os.path.join(work, "direct.mp3")
        wrapped = os.path.join(work, "wrapped.mp3")
        lame_cmd = ["lame", "-b", "128", "-m", "j", wav, direct]
        wrap_cmd = [cli, "encode", "mp3", wav, wrapped, "--overwrite", "--quiet"]
        lame, wrap, start = [], [], []
        for _ in range(a.runs):  # alternate, so load hits both alike
            lame.append(timed(lame_cmd, env))
            wrap.append(timed(wrap_cmd, env))
            # The command's own start-up (loading Qt and FFmpeg), which the
            # program pays once, not per encode.
            start.append(timed([cli, "help"], env))
        with open(direct, "rb") as f1, open(wrapped, "rb") as f2:
            same = f1.read() == f2.read()

    lw, lc = statistics.median(w for w, _ in lame), statistics.median(c for _, c in lame)
    ww, wc = statistics.median(w for w, _ in wrap), statistics.median(c for _, c in wrap)
    print(f"input: {a.seconds} s of 44.1 kHz stereo, {a.runs} runs each")
    print(f"lame directly  : wall {lw:.3f} s, cpu {lc:.3f} s (medians)")
    print(f"through wrapper: wall {ww:.3f} s, cpu {wc:.3f} s (medians)")
    sw = statistics.median(w for w, _ in start)
    print(f"cli start-up   : wall {sw:.3f} s (median, included above)")
    print(f"ratio          : wall {ww / lw:.3f}, cpu {wc / lc:.3f} (limit 1.05); "
          f"without start-up: wall {(ww - sw) / lw:.3f}")
    print("outputs identical" if same else "outputs differ")
    return 0 if ww / lw <= 1.05 else 1


if __name__ == "__main__":
    sys.exit(main())
