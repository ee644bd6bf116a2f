#!/usr/bin/env bash
# Whether a whole-disc rip keeps its memory bounded: the peak memory of
# `rip` of the whole 40-minute image (ten tracks of 4:00 of music-like
# signal, music_image.sh) against the rip of its first track alone, to FLAC
# (level 5, Verify off) and to MP3 (the default settings, lame -b 128 -m j),
# in drive and in ripper mode. Target: the whole disc at most 1.5x one
# track's peak, for our own process.
#
# Each run goes through peak_memory.py, which reads our process's peak
# resident set (VmHWM) and its largest anonymous memory (RssAnon: heap and
# buffers without the mapped program and libraries), and apart from them the
# peaks of the processes it starts (lame): the largest one alone and all of
# them together at one moment. For scale, `list` of the same image gives the
# program's floor (libraries mapped, the table of contents read, nothing
# ripped). All cases run in turns, RUNS rounds; each shows the median of its
# runs. Memory does not depend on the machine's load the way time does, but
# the rip's pace does (how far the reader gets ahead of the encoders), so the
# load average is printed at the start and the end.
#
#   bench/rip_memory.sh [BUILD_DIR] [RUNS]   (default: build, 3)
#   FORMATS="flac mp3" MODES="drive ripper" select the rows; OPTIONS="..."
#   adds options to every rip (e.g. --replaygain); LENGTH=0:30 makes the ten
#   tracks shorter (a quick check of the script itself).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
RUNS="${2:-3}"
FORMATS="${FORMATS:-flac mp3}"
MODES="${MODES:-drive ripper}"
OPTIONS="${OPTIONS:-}"
LENGTH="${LENGTH:-4:00}"
BIN="$BUILD/bin"
for tool in discwright-cli dw-cdimage; do
  [ -x "$BIN/$tool" ] || { echo "missing $BIN/$tool (build it first)" >&2; exit 2; }
done
for tool in sox python3; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
case "$RUNS" in '' | *[!0-9]* | 0) echo "RUNS must be a positive number" >&2; exit 2 ;; esac

WORK="$(mktemp -d -t discwright-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" DISCWRIGHT_PROGRAM_DIR="$WORK/program"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$DISCWRIGHT_PROGRAM_DIR"
# shellcheck source=interleaved.sh
. "$ROOT/bench/interleaved.sh"
# shellcheck source=music_image.sh
. "$ROOT/bench/music_image.sh"

bench_music_disc "$BIN" "$WORK" "$LENGTH" "$RUNS" "${OPTIONS:+rips with $OPTIONS}"
CLI="$BIN/discwright-cli"

out="$WORK/out"
# Case names in the order they run in each round, their arguments (one per
# line, no shell between) and how many files the output folder must then hold.
cases=(floor)
declare -A ARGS COUNT
ARGS[floor]="list
--device
$WORK/disc.cue"
COUNT[floor]=0
for format in $FORMATS; do
  for mode in $MODES; do
    for tracks in 1 all; do
      c="$format-$mode-$tracks"
      cases+=("$c")
      ARGS[$c]="rip
--device
$WORK/disc.cue
--output
$out
--quiet
--format
$format
--mode
$mode
--tracks
$tracks"
      for option in $OPTIONS; do ARGS[$c]+=$'\n'"$option"; done
      COUNT[$c]=$([ "$tracks" = 1 ] && echo 1 || echo 10)
    done
  done
done

holds() {  # COUNT FORMAT: the output folder holds COUNT files of FORMAT and nothing else
  [ "$(find "$out" -type f | wc -l)" = "$1" ] && [ "$(find "$out" -type f -name "*.$2" | wc -l)" = "$1" ]
}

for _ in $(seq "$RUNS"); do
  for c in "${cases[@]}"; do
    rm -rf "$out" && mkdir -p "$out" && sync
    mapfile -t argv <<<"${ARGS[$c]}"
    if ! python3 "$ROOT/bench/peak_memory.py" "$WORK/$c.m" -- "$CLI" "${argv[@]}" >>"$WORK/log" 2>&1; then
      echo "failed: $CLI ${argv[*]}" >&2; tail -n 20 "$WORK/log" >&2; exit 1
    fi
    holds "${COUNT[$c]}" "${c%%-*}" || { echo "$c did not leave ${COUNT[$c]} .${c%%-*} files alone:" >&2; ls "$out" >&2; exit 1; }
  done
done
grep '^peak_memory:' "$WORK/log" >&2 || true

# Column N of a case's runs, median, in MiB.
mib() { cut -d' ' -f"$2" "$WORK/$1.m" | median | awk '{ printf "%.1f", $1 / 1024 }'; }
# The same less the floor's.
less() { awk -v a="$(mib "$1" "$2")" -v f="$(mib floor "$2")" 'BEGIN { printf "%.1f", a - f }'; }
ratio() { awk -v n="$1" -v d="$2" 'BEGIN { if (d > 0) printf "%.2f", n / d; else printf "-" }'; }

echo
echo "peak memory in MiB (medians): our process's resident peak and anonymous peak; the processes it"
echo "starts, the largest alone and all at one moment"
printf '%-28s %9s %9s %11s %11s %7s\n' case "ours" "ours anon" "child peak" "children" "wall s"
describe() {
  case $1 in
    floor) echo "list (the program's floor)" ;;
    *) local f=${1%%-*} rest=${1#*-}; echo "rip $f ${rest%-*}, tracks ${rest#*-}" ;;
  esac
}
for c in "${cases[@]}"; do
  printf '%-28s %9s %9s %11s %11s %7s\n' "$(describe "$c")" "$(mib "$c" 1)" "$(mib "$c" 2)" \
    "$(mib "$c" 3)" "$(mib "$c" 4)" "$(cut -d' ' -f6 "$WORK/$c.m" | median)"
done

echo
echo "whole disc / one track, our process (target <= 1.5): resident peak, anonymous peak; and"
echo "both less the floor (what the rip itself adds)"
printf '%-16s %9s %9s %14s %14s\n' "" resident anon "resident-floor" "anon-floor"
for format in $FORMATS; do
  for mode in $MODES; do
    one="$format-$mode-1" all="$format-$mode-all"
    printf '%-16s %9s %9s %14s %14s\n' "$format $mode" \
      "$(ratio "$(mib "$all" 1)" "$(mib "$one" 1)")" "$(ratio "$(mib "$all" 2)" "$(mib "$one" 2)")" \
      "$(ratio "$(less "$all" 1)" "$(less "$one" 1)")" "$(ratio "$(less "$all" 2)" "$(less "$one" 2)")"
  done
done

echo
echo "every run (KiB: ours, ours anon, child peak, children, exit maxrss; wall s):"
for c in "${cases[@]}"; do echo "  $(describe "$c"): $(paste -sd'|' "$WORK/$c.m" | sed 's/|/ | /g')"; done
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
