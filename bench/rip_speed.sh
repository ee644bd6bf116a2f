#!/usr/bin/env bash
# A drive-mode rip to WAV of a CD image against cp of the image's .bin, in
# turns in one run: medians of wall and CPU time (user + system), the ratios
# to cp, and the idle share of the rip (wall - CPU) per track. The image is
# 74 minutes in ten tracks of music-like audio (music_image.sh), read from
# the page cache; every run writes into an empty folder after a sync.
# Targets: rip <= 1.5x cp; idle per track well under the previous figure.
#
# Usage: bench/rip_speed.sh [BUILD_DIR] [PREVIOUS_CLI] [RUNS]
#   BUILD_DIR     holds bin/discwright-cli and bin/dw-cdimage (default: build)
#   PREVIOUS_CLI  an earlier discwright-cli, measured in the same turns
#   RUNS          turns (default 7)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
PREVIOUS="${2:-}"
RUNS="${3:-7}"
BIN="$BUILD/bin"
for tool in discwright-cli dw-cdimage; do
  [ -x "$BIN/$tool" ] || { echo "missing $BIN/$tool (build it first)" >&2; exit 2; }
done
[ -z "$PREVIOUS" ] || [ -x "$PREVIOUS" ] || { echo "missing $PREVIOUS" >&2; exit 2; }
command -v sox >/dev/null || { echo "sox is not installed" >&2; exit 2; }

WORK="$(mktemp -d -t discwright-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" DISCWRIGHT_PROGRAM_DIR="$WORK/program"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$DISCWRIGHT_PROGRAM_DIR"

# shellcheck source=bench/music_image.sh
. "$ROOT/bench/music_image.sh"
music_image "$BIN" "$WORK" 7:24 10
TRACKS=10

# One measured run: "<wall> <user> <sys>" appended to $WORK/<name>.times.
measure() {
  local name=$1
  shift
  rm -rf "$WORK/out"
  mkdir -p "$WORK/out"
  sync
  /usr/bin/time -f '%e %U %S' -a -o "$WORK/$name.times" "$@" >/dev/null 2>>"$WORK/log"
}

for _ in $(seq "$RUNS"); do
  measure cp cp "$WORK/disc.bin" "$WORK/out/copy.bin"
  measure rip "$BIN/discwright-cli" rip --device "$WORK/disc.cue" --output "$WORK/out" --mode drive --format wav --quiet
  [ -z "$PREVIOUS" ] || measure previous "$PREVIOUS" rip --device "$WORK/disc.cue" --output "$WORK/out" --mode drive --format wav --quiet
done
# The last rip's files are whole: the track lengths and the audio bytes.
cmp -s <(tail -c +45 "$WORK/out/Track10.wav") <(tail -c $((33300 * 2352)) "$WORK/disc.bin") ||
  { echo "the ripped track 10 differs from the image" >&2; exit 1; }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
wall() { awk '{ print $1 }' "$WORK/$1.times" | median; }
cpu() { awk '{ print $2 + $3 }' "$WORK/$1.times" | median; }
idle() { awk -v n="$TRACKS" '{ print ($1 - $2 - $3) / n }' "$WORK/$1.times" | median; }

cp_wall=$(wall cp)
cp_cpu=$(cpu cp)
printf '%-34s %8s %8s %8s %8s %14s\n' case "wall s" "CPU s" "x cp" "CPU x cp" "idle/track s"
row() {
  local name=$1 label=$2 w c
  w=$(wall "$name")
  c=$(cpu "$name")
  printf '%-34s %8.2f %8.2f %8.2f %8.2f %14.3f\n' "$label" "$w" "$c" "$(echo "$w / $cp_wall" | bc -l)" \
    "$(echo "$c / $cp_cpu" | bc -l)" "$(idle "$name")"
}
printf '%-34s %8.2f %8.2f %8s %8s %14s\n' "cp of the .bin" "$cp_wall" "$cp_cpu" 1 1 -
row rip "rip --mode drive --format wav"
[ -z "$PREVIOUS" ] || row previous "the same, previous build"
echo "($RUNS turns, medians; idle = wall - CPU over $TRACKS tracks)"
