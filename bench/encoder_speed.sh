#!/usr/bin/env bash
# CPU cost of the in-process encoders against their own command-line tools on
# the same libraries, whole processes, on one MINUTES-minute 44.1 kHz stereo
# 16-bit WAV (a music-like signal: two sweeping, beating tones over pink noise):
#   encode ogg --quality 2                 against  oggenc -q 2
#   convert opus, 160 kbit/s VBR, 1 job    against  opusenc --bitrate 160 --vbr
# Target: our CPU time (user + system) at most 1.02x the tool's, at the same
# bit rate within 1 %. Runs alternate between ours and the tool (see
# interleaved.sh); the medians of RUNS runs of each are shown. Afterwards both
# sides' files are checked with ogginfo / opusinfo and their audio bit rates
# (file bytes x 8 / seconds) and the ratio of ours to the tool's are printed.
#
#   bench/encoder_speed.sh [BUILD_DIR] [RUNS] [MINUTES]   (default: build, 5, 3)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
RUNS="${2:-5}"
MINUTES="${3:-3}"
CLI="$BUILD/bin/discwright-cli"
[ -x "$CLI" ] || { echo "missing $CLI (build it first)" >&2; exit 2; }
for tool in oggenc ogginfo opusenc opusinfo sox soxi /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

WORK="$(mktemp -d -t discwright-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config" DISCWRIGHT_PROGRAM_DIR="$WORK/program"
mkdir -p "$XDG_CONFIG_HOME" "$DISCWRIGHT_PROGRAM_DIR" "$WORK/out"
# shellcheck source=interleaved.sh
. "$ROOT/bench/interleaved.sh"

seconds=$((MINUTES * 60))
wav="$WORK/music.wav"
sox -V1 -r 44100 -c 2 -n -b 16 "$WORK/tones.wav" synth "$seconds" sine 110-1760 sine 165-2640 tremolo 2.5 60
sox -V1 -r 44100 -c 2 -n -b 16 "$WORK/noise.wav" synth "$seconds" pinknoise pinknoise
sox -V1 -m -v 0.55 "$WORK/tones.wav" -v 0.2 "$WORK/noise.wav" "$wav"
rm -f "$WORK/tones.wav" "$WORK/noise.wav"
cat "$wav" >/dev/null
echo "input: $(du -h "$wav" | cut -f1), $(soxi -d "$wav"), 44100 Hz stereo 16-bit; $RUNS runs each; $(nproc) processors"

"$CLI" config OpusOptions.BitRate=160 >/dev/null
"$CLI" config OpusOptions.IsVBR=1 >/dev/null

clear_out="rm -f '$WORK'/out/*"
ours_ogg="'$CLI' encode ogg '$wav' '$WORK/out/music.ogg' --quality 2 --overwrite --quiet"
peer_ogg="oggenc -Q -q 2 -o '$WORK/out/peer.ogg' '$wav'"
ours_opus="'$CLI' convert opus '$wav' --output '$WORK/out' --jobs 1 --overwrite --quiet"
peer_opus="opusenc --quiet --bitrate 160 --vbr '$wav' '$WORK/out/peer.opus'"

table_header
compare "Ogg Vorbis q 2, $MINUTES min (oggenc -q 2)" "<= 1.02" "$clear_out" "$ours_ogg" "$peer_ogg"
compare "Opus 160 kbit/s VBR, $MINUTES min (opusenc)" "<= 1.02" "$clear_out" "$ours_opus" "$peer_opus"

# The outputs: valid streams of the input's length at the tool's bit rate.
sh -c "$clear_out"
for cmd in "$ours_ogg" "$peer_ogg" "$ours_opus" "$peer_opus"; do sh -c "$cmd"; done
ogginfo "$WORK/out/music.ogg" >"$WORK/ours-ogg.info" || { echo "ogginfo refuses our Ogg Vorbis file" >&2; exit 1; }
opusinfo "$WORK/out/music.opus" >"$WORK/ours-opus.info" || { echo "opusinfo refuses our Opus file" >&2; exit 1; }
for info in "$WORK/ours-ogg.info" "$WORK/ours-opus.info"; do
  grep -Eq "Playback length: ${MINUTES}m:0?0\.0" "$info" \
    || { echo "our file is not $MINUTES minutes long: $(grep 'Playback length' "$info")" >&2; exit 1; }
done
kbps() { awk "BEGIN { printf \"%.1f\", $(stat -c %s "$1") * 8 / $seconds / 1000 }"; }
rates() {
  local ours peer
  ours=$(kbps "$2"); peer=$(kbps "$3")
  printf '%s bit rate: ours %s, tool %s kbit/s (%.4fx)\n' "$1" "$ours" "$peer" "$(awk "BEGIN { print $ours / $peer }")"
}
rates "Ogg Vorbis" "$WORK/out/music.ogg" "$WORK/out/peer.ogg"
rates "Opus" "$WORK/out/music.opus" "$WORK/out/peer.opus"
cat "$WORK/runs"
