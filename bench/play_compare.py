#!/usr/bin/env python3
"""Whole-process playback through SDL's disk audio driver: discwright-cli play
against ffplay -nodisp on the same 44.1 kHz stereo Ogg file and the same
driver. Reports CPU use (user + system over wall time, in % of one core) and
the latency from the start of the process to the first sound sample the
device writes (both players open the file and the device in that time).

    bench/play_compare.py BUILD_DIR [SECONDS] [RUNS]
"""
import os
import resource
import subprocess
import sys
import tempfile
import time


def first_sound(path, start, proc):
    """Seconds from start until a non-zero byte reaches path (None: never)."""
    seen = 0
    while True:
        done = proc.poll() is not None
        if os.path.exists(path):
            with open(path, "rb") as f:
                f.seek(seen)
                chunk = f.read()
            for b in chunk:
                if b:
                    return time.monotonic() - start
            seen += len(chunk)
        if done:
            return None
        time.sleep(0.001)


def run(cmd, raw):
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=raw)
    if os.path.exists(raw):
        os.remove(raw)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    latency = first_sound(raw, start, proc)
    proc.wait()
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall, latency


def main():
    build = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    with tempfile.TemporaryDirectory() as work:
        wav, ogg, raw = (os.path.join(work, n) for n in ("in.wav", "in.ogg", "out.raw"))
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", str(seconds),
                        "pinknoise", "vol", "0.3"], check=True)
        subprocess.run(["oggenc", "-Q", "-o", ogg, wav], check=True)
        os.environ["XDG_CONFIG_HOME"] = os.path.join(work, "config")
        players = {
            "discwright-cli play": [os.path.join(build, "bin", "discwright-cli"), "play", ogg, "--quiet"],
            "ffplay -nodisp": ["ffplay", "-nodisp", "-autoexit", "-loglevel", "quiet", ogg],
        }
        print(f"{seconds:g} s of 44.1 kHz stereo Ogg Vorbis, SDL disk driver, best of {runs}")
        print(f"{'player':22} {'CPU % of a core':>16} {'wall s':>8} {'first sound ms':>15}")
        for name, cmd in players.items():
            best = None
            for _ in range(runs):
                cpu, wall, latency = run(cmd, raw)
                if best is None or cpu < best[0]:
                    best = (cpu, wall, latency)
            cpu, wall, latency = best
            lat = f"{latency * 1000:.0f}" if latency is not None else "-"
            print(f"{name:22} {100 * cpu / wall:16.2f} {wall:8.2f} {lat:>15}")


if __name__ == "__main__":
    main()
