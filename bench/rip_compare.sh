#!/usr/bin/env bash
# Ripping speed against plain peers, on a 74-minute CD image:
#   drive mode  (discwright-cli rip --mode drive)  against  cp of the .bin
#   ripper mode (discwright-cli rip --mode ripper) against  cd-paranoia on the image
# Targets: drive mode within 2x of cp, ripper mode within 1.5x of cd-paranoia.
# Usage: bench/rip_compare.sh [BUILD_DIR]   (default: build; needs discwright-cli and dw-cdimage)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
BIN="$BUILD/bin"
for tool in discwright-cli dw-cdimage; do
  [ -x "$BIN/$tool" ] || { echo "missing $BIN/$tool (build it first)" >&2; exit 2; }
done
command -v cd-paranoia >/dev/null || { echo "cd-paranoia is not installed" >&2; exit 2; }

WORK="$(mktemp -d -t discwright-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config" DISCWRIGHT_PROGRAM_DIR="$WORK/program"
mkdir -p "$XDG_CONFIG_HOME" "$DISCWRIGHT_PROGRAM_DIR"

# 74 minutes in ten tracks of 7:24.
tracks=()
for _ in $(seq 10); do tracks+=(--track 7:24); done
"$BIN/dw-cdimage" "$WORK/disc.cue" "${tracks[@]}" >/dev/null
echo "image: $(du -h "$WORK/disc.bin" | cut -f1) in 10 tracks"

# Seconds (with fractions) a command takes; its output goes to the log.
elapsed() {
  local start end
  start=$(date +%s.%N)
  "$@" >>"$WORK/log" 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }
fresh() { rm -rf "$WORK/out"; mkdir -p "$WORK/out"; sync; }

# Warm the page cache once so every run reads the image from memory.
cat "$WORK/disc.bin" >/dev/null

fresh; t_cp=$(elapsed cp "$WORK/disc.bin" "$WORK/out/copy.bin")
fresh; t_drive=$(elapsed "$BIN/discwright-cli" rip --device "$WORK/disc.cue" --output "$WORK/out" --mode drive --format wav --quiet)
fresh; t_par=$(elapsed sh -c "cd '$WORK/out' && cd-paranoia -q -B -d '$WORK/disc.cue' -- 1-")
fresh; t_ripper=$(elapsed "$BIN/discwright-cli" rip --device "$WORK/disc.cue" --output "$WORK/out" --mode ripper --format wav --quiet)

printf '%-34s %8.2f s\n' "cp of the .bin" "$t_cp"
printf '%-34s %8.2f s   %sx cp          (target <= 2)\n' "rip, drive mode" "$t_drive" "$(ratio "$t_drive" "$t_cp")"
printf '%-34s %8.2f s\n' "cd-paranoia -B on the image" "$t_par"
printf '%-34s %8.2f s   %sx cd-paranoia (target <= 1.5)\n' "rip, ripper mode" "$t_ripper" "$(ratio "$t_ripper" "$t_par")"
