#!/usr/bin/env bash
# The desktop program as a whole process, on the offscreen platform:
#   start-up to a listed disc (dw-gui-bench startup, the main window as the
#   program builds it) against discwright-cli list on the same CD image,
#   median of RUNS runs each; target within 1.5x;
#   the main window's longest event-loop stall while Extract rips the image
#   (dw-gui-bench rip-stall, a 1 ms timer on the main thread) into MP3 and WAV;
#   target under 100 ms.
# Usage: bench/gui_compare.sh [BUILD_DIR] [RUNS]   (default: build, 15; needs
# discwright-cli, dw-cdimage and dw-gui-bench, i.e. -DDISCWRIGHT_BENCH=ON)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
RUNS="${2:-15}"
BIN="$BUILD/bin"
for tool in discwright-cli dw-cdimage dw-gui-bench; do
  [ -x "$BIN/$tool" ] || { echo "missing $BIN/$tool (build it first)" >&2; exit 2; }
done

WORK="$(mktemp -d -t discwright-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config" DISCWRIGHT_PROGRAM_DIR="$WORK/program" QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_CONFIG_HOME" "$DISCWRIGHT_PROGRAM_DIR"

# A 12-track disc to list, and 4 tracks of 30 s to rip.
tracks=()
for _ in $(seq 12); do tracks+=(--track 3:30); done
"$BIN/dw-cdimage" "$WORK/list.cue" "${tracks[@]}" >/dev/null
"$BIN/dw-cdimage" "$WORK/rip.cue" --track 30 --track 30 --track 30 --track 30 >/dev/null

# Median wall time in milliseconds of RUNS runs of a command.
median_ms() {
  local times=() start end
  for _ in $(seq "$RUNS"); do
    start=$(date +%s%N)
    "$@" >>"$WORK/log" 2>&1 || { echo "failed: $*" >&2; tail -5 "$WORK/log" >&2; exit 1; }
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'
}

export DISCWRIGHT_CD_IMAGES="$WORK/list.cue"
# One run of each first: the settings file and disc cache exist afterwards,
# as on every start but the very first.
"$BIN/discwright-cli" list >/dev/null 2>&1 || true
"$BIN/dw-gui-bench" startup >/dev/null 2>&1 || true
# Where the main window spends its part after main (the rest is loading).
"$BIN/dw-gui-bench" startup 2>&1 | grep "since main" || true
t_cli=$(median_ms "$BIN/discwright-cli" list)
t_gui=$(median_ms "$BIN/dw-gui-bench" startup)
printf '%-40s %8s ms\n' "discwright-cli list (median of $RUNS)" "$t_cli"
printf '%-40s %8s ms   %sx the command line (target <= 1.5)\n' "main window to a listed disc" "$t_gui" \
  "$(awk -v g="$t_gui" -v c="$t_cli" 'BEGIN {printf "%.2f", g / c}')"

export DISCWRIGHT_CD_IMAGES="$WORK/rip.cue"
for format in mp3 wav; do
  rm -rf "$WORK/out"
  echo "Extract of 4 x 30 s into ${format^^} (target: worst stall < 100 ms):"
  "$BIN/dw-gui-bench" rip-stall "$WORK/out" "$format" | sed 's/^/  /'
done
