#!/usr/bin/env bash
# The desktop program as a whole process, on the offscreen platform:
#   start-up to a listed disc (dw-gui-bench startup, the main window as the
#   program builds it) against discwright-cli list on the same CD image,
#   median of RUNS runs each; target within 1.5x;
#   the main window's longest event-loop stall while Extract rips the image
#   (dw-gui-bench rip-stall, a 1 ms timer on the main thread) into MP3 and WAV;
#   target under 100 ms.
# Beside the wall times it prints the processor time (user + system), which
# a busy machine disturbs less, and the floor: dw-qt-floor, a bare Qt Widgets
# window with a menu, a toolbar and a filled list, which shows what any Qt
# program pays before doing anything of its own.
# Usage: bench/gui_compare.sh [BUILD_DIR] [RUNS]   (default: build, 15; needs
# discwright-cli, dw-cdimage, dw-gui-bench and dw-qt-floor, i.e.
# -DDISCWRIGHT_BENCH=ON)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
RUNS="${2:-15}"
BIN="$BUILD/bin"
for tool in discwright-cli dw-cdimage dw-gui-bench dw-qt-floor; do
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

# "WALL CPU": median wall and median processor (user + system) time in
# milliseconds of RUNS runs of a command.
median_ms() {
  local walls=() cpus=() line
  for _ in $(seq "$RUNS"); do
    line=$( { TIMEFORMAT='%3R %3U %3S'; time "$@" >>"$WORK/log" 2>&1; } 2>&1) ||
      { echo "failed: $*" >&2; tail -5 "$WORK/log" >&2; exit 1; }
    walls+=($(awk '{printf "%d", $1 * 1000000}' <<<"$line"))
    cpus+=($(awk '{printf "%d", ($2 + $3) * 1000000}' <<<"$line"))
  done
  local wall cpu
  wall=$(printf '%s\n' "${walls[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}')
  cpu=$(printf '%s\n' "${cpus[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}')
  echo "$wall $cpu"
}

export DISCWRIGHT_CD_IMAGES="$WORK/list.cue"
# One run of each first: the settings file and disc cache exist afterwards,
# as on every start but the very first.
"$BIN/discwright-cli" list >/dev/null 2>&1 || true
"$BIN/dw-gui-bench" startup >/dev/null 2>&1 || true
# Where the main window spends its part after main (the rest is loading).
"$BIN/dw-gui-bench" startup 2>&1 | grep "since main" || true
read -r t_cli c_cli < <(median_ms "$BIN/discwright-cli" list)
read -r t_gui c_gui < <(median_ms "$BIN/dw-gui-bench" startup)
read -r t_floor c_floor < <(median_ms "$BIN/dw-qt-floor")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
printf '%-40s %10s %10s\n' "median of $RUNS runs" "wall ms" "cpu ms"
printf '%-40s %10s %10s\n' "discwright-cli list" "$t_cli" "$c_cli"
printf '%-40s %10s %10s   %sx the command line (target <= 1.5), cpu %sx\n' "main window to a listed disc" "$t_gui" \
  "$c_gui" "$(ratio "$t_gui" "$t_cli")" "$(ratio "$c_gui" "$c_cli")"
printf '%-40s %10s %10s   %sx the command line\n' "bare Qt Widgets window (floor)" "$t_floor" "$c_floor" \
  "$(ratio "$t_floor" "$t_cli")"

export DISCWRIGHT_CD_IMAGES="$WORK/rip.cue"
for format in mp3 wav; do
  rm -rf "$WORK/out"
  echo "Extract of 4 x 30 s into ${format^^} (target: worst stall < 100 ms):"
  "$BIN/dw-gui-bench" rip-stall "$WORK/out" "$format" | sed 's/^/  /'
done
