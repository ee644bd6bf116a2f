#!/usr/bin/env python3
"""Rate changes of `discwright-cli convert-wav` against `sox rate` (its default,
high quality), both run in one go, in turns.

    bench/resampler_quality.py [BIN_DIR] [--runs N] [--seconds S] [--work DIR]

Quality (32-bit mono in and out, no dither, so that quantisation stays far
below what is measured): single tones at -6 dBFS at 1, 5, 10, 15 and 19 kHz
through 44.1 -> 48, 48 -> 44.1 and 44.1 -> 22.05 kHz. For each: the tone's
level change, the worst single false component (image, alias, distortion;
dB below the tone) and all of them together (everything but the tone). Tones
above the new Nyquist frequency must vanish: their row gives the strongest
component left. Passband ripple: about forty tones at once from 20 Hz to
20 kHz (to 0.45 x the output rate when that is lower); the spread of their
levels. Levels come from a 1 s window of the output in which every tone has
a whole number of cycles, so no window function blurs them.

Speed: a music-like signal (sweeping, beating tones over pink noise, made by
sox), 16-bit at 44.1 kHz, stereo and mono, to 48 and 22.05 kHz; ours and
`sox -D IN OUT rate R` (no dither, as ours) run in turns RUNS times; medians
of wall and CPU time (user + system of the process).

Targets: false components below -100 dB, passband flat within 0.1 dB, CPU
no more than sox's.
"""

import argparse
import array
import cmath
import math
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time


def write_wav32(path, rate, samples):
    """Mono 32-bit PCM WAV of floats in -1 ... 1."""
    data = array.array('i', (max(-2**31, min(2**31 - 1, round(v * 2**31))) for v in samples))
    if sys.byteorder != 'little':
        data.byteswap()
    raw = data.tobytes()
    with open(path, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', 36 + len(raw)) + b'WAVE')
        f.write(b'fmt ' + struct.pack('<IHHIIHH', 16, 1, 1, rate, rate * 4, 4, 32))
        f.write(b'data' + struct.pack('<I', len(raw)) + raw)


def read_wav32(path):
    """(rate, samples) of a mono 32-bit PCM WAV (plain or extensible)."""
    with open(path, 'rb') as f:
        blob = f.read()
    if blob[:4] != b'RIFF' or blob[8:12] != b'WAVE':
        raise ValueError(f'{path}: not a WAV file')
    pos, rate, bits, channels, data = 12, None, None, None, None
    while pos + 8 <= len(blob):
        cid, size = blob[pos:pos + 4], struct.unpack('<I', blob[pos + 4:pos + 8])[0]
        body = blob[pos + 8:pos + 8 + size]
        if cid == b'fmt ':
            _tag, channels, rate, _bps, _align, bits = struct.unpack('<HHIIHH', body[:16])
        elif cid == b'data':
            data = body
        pos += 8 + size + (size & 1)
    if bits != 32 or channels != 1 or data is None:
        raise ValueError(f'{path}: expected mono 32-bit PCM, got {channels} channels, {bits} bits')
    a = array.array('i')
    a.frombytes(data[:len(data) // 4 * 4])
    if sys.byteorder != 'little':
        a.byteswap()
    return rate, [v / 2**31 for v in a]


def tone_signal(freqs, amps, phases, rate, seconds):
    n = int(rate * seconds)
    w = [2 * math.pi * f / rate for f in freqs]
    return [sum(a * math.sin(wk * i + p) for wk, a, p in zip(w, amps, phases)) for i in range(n)]


def project(x, freq, rate):
    """Sine and cosine parts of the component at freq over all of x (a whole
    number of cycles: exact, with no leakage from the other such tones)."""
    w = 2 * math.pi * freq / rate
    step = cmath.exp(-1j * w)
    z, acc = 1 + 0j, 0j
    for v in x:
        acc += v * z
        z *= step
    acc *= 2 / len(x)
    return -acc.imag, acc.real  # x ~ s sin(wn) + c cos(wn)


def fft(x):
    n = len(x)
    a = [complex(v) for v in x]
    j = 0
    for i in range(1, n):
        bit = n >> 1
        while j & bit:
            j ^= bit
            bit >>= 1
        j |= bit
        if i < j:
            a[i], a[j] = a[j], a[i]
    size = 2
    while size <= n:
        half = size // 2
        tw = [cmath.exp(-2j * math.pi * k / size) for k in range(half)]
        for start in range(0, n, size):
            for k in range(half):
                u, t = a[start + k], a[start + k + half] * tw[k]
                a[start + k], a[start + k + half] = u + t, u - t
        size *= 2
    return a


def worst_peak(x):
    """Amplitude of the strongest component of x (Blackman-Harris window over
    the largest power of two of samples it holds, at most 32768; within about
    1 dB)."""
    n = 1 << min(15, len(x).bit_length() - 1)
    x = x[:n]
    c = (0.35875, 0.48829, 0.14128, 0.01168)
    win = [c[0] - c[1] * math.cos(2 * math.pi * i / n) + c[2] * math.cos(4 * math.pi * i / n)
           - c[3] * math.cos(6 * math.pi * i / n) for i in range(n)]
    spec = fft([v * w for v, w in zip(x, win)])
    gain = sum(win) / 2
    return max(abs(spec[k]) for k in range(1, n // 2)) / gain


def db(v):
    return 20 * math.log10(v) if v > 0 else -math.inf


def window(y, rate):
    """One second of output starting half a second in."""
    return y[rate // 2: rate // 2 + rate]


class Tools:
    def __init__(self, cli, work):
        self.cli, self.work = cli, work

    def ours(self, src, dst, rate, extra=()):
        return [self.cli, 'convert-wav', src, dst, '--rate', str(rate), '--overwrite', *extra]

    def sox(self, src, dst, rate, extra=()):
        return ['sox', '-V1', '-D', src, *extra, dst, 'rate', str(rate)]

    def convert(self, which, src, rate):
        dst = os.path.join(self.work, f'{which}.wav')
        remove(dst)
        cmd = self.ours(src, dst, rate) if which == 'ours' else self.sox(src, dst, rate, ('-b', '32'))
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        return read_wav32(dst)[1]


def quality(tools, cases):
    print('Quality (dB; level = tone out / tone in; worst / all = the strongest false component / all of '
          'them together, below the tone)')
    print(f'{"case":<18} {"tone Hz":>8} {"ours level":>10} {"sox level":>10} {"ours worst":>10} '
          f'{"sox worst":>10} {"ours all":>9} {"sox all":>9}')
    summary = {'ours': [-math.inf, 0.0], 'sox': [-math.inf, 0.0]}  # worst false, worst |level|
    for rin, rout, tones in cases:
        for f in tones:
            src = os.path.join(tools.work, 'tone.wav')
            write_wav32(src, rin, tone_signal([f], [0.5], [0.0], rin, 2.0))
            row = {}
            for which in ('ours', 'sox'):
                y = window(tools.convert(which, src, rout), rout)
                if f < rout / 2:
                    s, c = project(y, f, rout)
                    level = math.hypot(s, c)
                    w = 2 * math.pi * f / rout
                    resid = [v - s * math.sin(w * i) - c * math.cos(w * i) for i, v in enumerate(y)]
                    worst = db(worst_peak(resid) / level)
                    total = db(math.sqrt(2 * sum(v * v for v in resid) / len(resid)) / level)
                    lv = db(level / 0.5)
                    row[which] = (f'{lv:+10.3f}', f'{worst:10.1f}', f'{total:9.1f}')
                    summary[which][1] = max(summary[which][1], abs(lv))
                else:  # above the new Nyquist frequency: nothing may come out
                    worst = db(worst_peak(y) / 0.5)
                    total = db(math.sqrt(2 * sum(v * v for v in y) / len(y)) / 0.5)
                    row[which] = (f'{"removed":>10}', f'{worst:10.1f}', f'{total:9.1f}')
                summary[which][0] = max(summary[which][0], worst)
            print(f'{rin / 1000:g} -> {rout / 1000:g} kHz'.ljust(18), f'{f:8d}', row['ours'][0], row['sox'][0],
                  row['ours'][1], row['sox'][1], row['ours'][2], row['sox'][2])
    for which in ('ours', 'sox'):
        print(f'  {which}: worst false component {summary[which][0]:.1f} dB; '
              f'largest level change {summary[which][1]:.3f} dB')
    print()


def ripple(tools, cases):
    print('Passband ripple (about forty tones at once, -40 dBFS each; max - min of their levels, dB)')
    print(f'{"case":<18} {"band Hz":>12} {"ours":>8} {"sox":>8}')
    for rin, rout in cases:
        edge = min(20000, 0.45 * rout)
        freqs = sorted({round(20 * (edge / 20) ** (k / 39)) for k in range(40)})
        phases = [2 * math.pi * ((k * 0.618034) % 1) for k in range(len(freqs))]
        src = os.path.join(tools.work, 'multi.wav')
        write_wav32(src, rin, tone_signal(freqs, [0.01] * len(freqs), phases, rin, 2.0))
        out = {}
        for which in ('ours', 'sox'):
            y = window(tools.convert(which, src, rout), rout)
            levels = [db(math.hypot(*project(y, f, rout)) / 0.01) for f in freqs]
            out[which] = max(levels) - min(levels)
        print(f'{rin / 1000:g} -> {rout / 1000:g} kHz'.ljust(18), f'{freqs[0]}-{freqs[-1]:>6}',
              f'{out["ours"]:8.4f}', f'{out["sox"]:8.4f}')
    print()


def remove(path):
    if os.path.exists(path):
        os.remove(path)


def timed(cmd):
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    err = proc.stderr.read()
    proc.stderr.close()
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise SystemExit(f'failed ({proc.returncode}): {" ".join(cmd)}\n{err.decode(errors="replace")}')
    return wall, usage.ru_utime + usage.ru_stime


def speed(tools, seconds, runs):
    print(f'Speed ({seconds} s of music-like 16-bit audio at 44.1 kHz; medians of {runs} runs in turns; '
          f'CPU = user + system)')
    print(f'{"case":<26} {"ours s":>7} {"sox s":>7} {"ratio":>6} {"ours cpu":>8} {"sox cpu":>8} {"ratio":>6}')
    for channels in (2, 1):
        src = os.path.join(tools.work, f'music{channels}.wav')
        if not os.path.exists(src):
            tones, noise = src + '.tones.wav', src + '.noise.wav'
            base = ['sox', '-V1', '-n', '-r', '44100', '-b', '16', '-c', str(channels)]
            subprocess.run(base + [tones, 'synth', str(seconds), 'sine', '110-1760', 'sine', '165-2640',
                                   'tremolo', '2.5', '60'], check=True)
            subprocess.run(base + [noise, 'synth', str(seconds), 'pinknoise'], check=True)
            subprocess.run(['sox', '-V1', '-m', '-v', '0.55', tones, '-v', '0.2', noise, src], check=True)
            os.remove(tones)
            os.remove(noise)
        for rate in (48000, 22050):
            dst = os.path.join(tools.work, 'speed.wav')
            times = {'ours': [], 'sox': []}
            for _ in range(runs):
                remove(dst)
                times['ours'].append(timed(tools.ours(src, dst, rate)))
                remove(dst)
                times['sox'].append(timed(tools.sox(src, dst, rate)))
            ow = statistics.median(t[0] for t in times['ours'])
            oc = statistics.median(t[1] for t in times['ours'])
            pw = statistics.median(t[0] for t in times['sox'])
            pc = statistics.median(t[1] for t in times['sox'])
            label = f'{"stereo" if channels == 2 else "mono"} 44.1 -> {rate / 1000:g} kHz'
            print(f'{label:<26} {ow:7.2f} {pw:7.2f} {ow / pw:6.3f} {oc:8.2f} {pc:8.2f} {oc / pc:6.3f}')
            print('    runs (wall cpu): ours ' + ' '.join(f'{w:.2f}/{c:.2f}' for w, c in times['ours'])
                  + ' | sox ' + ' '.join(f'{w:.2f}/{c:.2f}' for w, c in times['sox']))
    print()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('bin', nargs='?', default=os.path.join(here, '..', 'build-bench', 'bin'))
    ap.add_argument('--runs', type=int, default=5)
    ap.add_argument('--seconds', type=int, default=300, help='length of the speed signal')
    ap.add_argument('--work', help='folder for the files (default: a temporary one)')
    ap.add_argument('--skip-quality', action='store_true')
    ap.add_argument('--skip-speed', action='store_true')
    args = ap.parse_args()

    cli = os.path.join(args.bin, 'discwright-cli')
    if not os.access(cli, os.X_OK) or not shutil.which('sox'):
        raise SystemExit(f'needs {cli} and sox')
    work = args.work or tempfile.mkdtemp(prefix='resampler-')
    os.makedirs(work, exist_ok=True)
    try:
        print(f'discwright-cli: {cli}')
        print(f'sox: {subprocess.run(["sox", "--version"], capture_output=True, text=True).stdout.strip()}')
        print(f'load: {open("/proc/loadavg").read().split()[:3]}\n')
        tools = Tools(cli, work)
        if not args.skip_quality:
            tones = [1000, 5000, 10000, 15000, 19000]
            quality(tools, [(44100, 48000, tones), (48000, 44100, tones), (44100, 22050, tones)])
            ripple(tools, [(44100, 48000), (48000, 44100), (44100, 22050)])
        if not args.skip_speed:
            speed(tools, args.seconds, args.runs)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
