#!/usr/bin/env bash
# Ripping to MP3 against the same work done by plain peers, on a 40-minute
# CD image in ten tracks:
#   discwright-cli rip --mode ripper --format mp3
#   against a shell script that runs cd-paranoia, then lame, track by track.
# Both encode with lame's defaults for our settings (128 kbit/s CBR, joint
# stereo: the options.ini defaults) and delete nothing but the WAVs. Target: within 1.05x.
# Then peak memory (maximum resident set) of the whole-disc job against a
# one-track job. Target: no more than 1.5x.
# Usage: bench/rip_mp3_compare.sh [BUILD_DIR]   (default: build)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
BIN="$BUILD/bin"
for tool in discwright-cli dw-cdimage; do
  [ -x "$BIN/$tool" ] || { echo "missing $BIN/$tool (build it first)" >&2; exit 2; }
done
for tool in cd-paranoia lame /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

WORK="$(mktemp -d -t discwright-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config" DISCWRIGHT_PROGRAM_DIR="$WORK/program"
mkdir -p "$XDG_CONFIG_HOME" "$DISCWRIGHT_PROGRAM_DIR"

tracks=()
for _ in $(seq 10); do tracks+=(--track 4:00); done
"$BIN/dw-cdimage" "$WORK/disc.cue" "${tracks[@]}" >/dev/null
echo "image: $(du -h "$WORK/disc.bin" | cut -f1) in 10 tracks of 4:00"
cat "$WORK/disc.bin" >/dev/null

# The lame switches our MP3 settings give with the defaults of options.ini.
LAME_ARGS="-b 128 -m j"

cat >"$WORK/peers.sh" <<SCRIPT
#!/bin/sh
set -e
cd "\$1"
for t in 1 2 3 4 5 6 7 8 9 10; do
  n=\$(printf '%02d' \$t)
  cd-paranoia -q -d "$WORK/disc.cue" -- "\$t" "Track\$n.wav"
  lame --quiet $LAME_ARGS "Track\$n.wav" "Track\$n.mp3"
  rm -f "Track\$n.wav"
done
SCRIPT
chmod +x "$WORK/peers.sh"

elapsed() {
  local start end
  start=$(date +%s.%N)
  "$@" >>"$WORK/log" 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }
fresh() { rm -rf "$WORK/out"; mkdir -p "$WORK/out"; sync; }
# Maximum resident set of a command in kilobytes.
peak() { /usr/bin/time -f '%M' -o "$WORK/peak" "$@" >>"$WORK/log" 2>&1; cat "$WORK/peak"; }

best_peers=999999; best_rip=999999
for round in 1 2 3; do
  fresh; t=$(elapsed "$WORK/peers.sh" "$WORK/out")
  best_peers=$(echo "if ($t < $best_peers) $t else $best_peers" | bc -l)
  fresh; t=$(elapsed "$BIN/discwright-cli" rip --device "$WORK/disc.cue" --output "$WORK/out" --mode ripper --format mp3 --quiet)
  best_rip=$(echo "if ($t < $best_rip) $t else $best_rip" | bc -l)
  [ "$(ls "$WORK/out" | grep -c '\.mp3$')" = 10 ] || { echo "the rip did not leave 10 MP3 files" >&2; cat "$WORK/log" >&2; exit 1; }
done

fresh; one=$(peak "$BIN/discwright-cli" rip --device "$WORK/disc.cue" --output "$WORK/out" --mode ripper --format mp3 --tracks 1 --quiet)
fresh; all=$(peak "$BIN/discwright-cli" rip --device "$WORK/disc.cue" --output "$WORK/out" --mode ripper --format mp3 --quiet)

printf '%-44s %8.2f s\n' "cd-paranoia + lame per track (best of 3)" "$best_peers"
printf '%-44s %8.2f s   %sx peers (target <= 1.05)\n' "rip --format mp3 (best of 3)" "$best_rip" "$(ratio "$best_rip" "$best_peers")"
printf '%-44s %8d KiB\n' "peak memory, one track" "$one"
printf '%-44s %8d KiB   %sx one track (target <= 1.5)\n' "peak memory, whole disc" "$all" "$(ratio "$all" "$one")"
