#!/usr/bin/env bash
# The main window's event loop during real jobs, on the offscreen platform:
# dw-gui-bench ticks a 1 ms timer on the main thread and prints the largest
# gap between ticks (the longest stall) per job. Jobs: a rip of a CD image
# (4 tracks of a minute) to WAV, MP3 and FLAC through Extract, and the
# conversion of the ripped WAV files to Ogg Vorbis through the Convert menu.
# Target: no stall above 50 ms. RUNS runs of each; every run's worst stall
# is listed and the largest of them summarised, beside the largest stall
# without the time the main thread was ready but waited for a processor (on
# a machine busy with other work that part is the machine's, not ours).
# Usage: bench/ui_stall.sh [BUILD_DIR] [RUNS]   (default: build, 3; needs
# dw-cdimage and dw-gui-bench, i.e. -DDISCWRIGHT_BENCH=ON, and lame)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
RUNS="${2:-3}"
BIN="$BUILD/bin"
for tool in dw-cdimage dw-gui-bench; do
  [ -x "$BIN/$tool" ] || { echo "missing $BIN/$tool (build it first)" >&2; exit 2; }
done

WORK="$(mktemp -d -t discwright-stall.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config" DISCWRIGHT_PROGRAM_DIR="$WORK/program" QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_CONFIG_HOME" "$DISCWRIGHT_PROGRAM_DIR"
"$BIN/dw-cdimage" "$WORK/disc.cue" --track 1:00 --track 1:00 --track 1:00 --track 1:00 >/dev/null
export DISCWRIGHT_CD_IMAGES="$WORK/disc.cue"

# One job RUNS times; prints each run's summary and collects the worst stalls.
declare -A worst own
larger() { awk -v a="${1:-0}" -v b="$2" 'BEGIN {print (b > a) ? b : a}'; }
run_job() {
  local name="$1"; shift
  local i out
  for i in $(seq "$RUNS"); do
    rm -rf "$WORK/out"
    out=$("$BIN/dw-gui-bench" "$@" 2>"$WORK/err") || { echo "failed: $*" >&2; cat "$WORK/err" >&2; exit 1; }
    echo "$name run $i: $(tr '\n' ';' <<<"$out" | sed 's/;$//; s/;/; /g')"
    worst[$name]=$(larger "${worst[$name]:-}" "$(sed -n 's/^worst stall \([0-9.]*\) ms.*/\1/p' <<<"$out")")
    own[$name]=$(larger "${own[$name]:-}" "$(sed -n 's/^worst stall without[^0-9]*\([0-9.]*\) ms.*/\1/p' <<<"$out")")
  done
}

run_job "rip to WAV" rip-stall "$WORK/out" wav
mkdir -p "$WORK/wavs"
"$BIN/dw-gui-bench" rip-stall "$WORK/wavs" wav >/dev/null 2>&1
run_job "rip to MP3" rip-stall "$WORK/out" mp3
run_job "rip to FLAC" rip-stall "$WORK/out" flac
run_job "WAV to Ogg Vorbis" convert-stall "$WORK/out" ogg "$WORK"/wavs/*.wav

echo
echo "load average before the summary: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"
printf '%-22s %14s %26s   %s\n' "job" "worst stall ms" "without processor wait ms" "target < 50 ms"
for name in "rip to WAV" "rip to MP3" "rip to FLAC" "WAV to Ogg Vorbis"; do
  printf '%-22s %14s %26s   %s\n' "$name" "${worst[$name]}" "${own[$name]}" \
    "$(awk -v w="${worst[$name]}" -v o="${own[$name]}" 'BEGIN {print (w < 50) ? "met" : (o < 50 ? "met without processor wait" : "missed")}')"
done
