#!/usr/bin/env bash
# Encoding speed of discwright-cli against the reference encoders on one
# 10-minute 44.1 kHz stereo 16-bit WAV (a music-like signal: two sweeping,
# beating tones with pink noise under them), whole processes:
#   convert flac, Verify on   against  flac -5 -V   (target: within 1.02x)
#   convert flac, Verify off  against  flac -5      (target: within 1.02x)
#   convert opus, 160 kbit/s VBR  against  opusenc --bitrate 160 --vbr  (target: within 1.02x)
# Our settings are set to match the peer's switches (FlacOptions level 5 and
# Verify, OpusOptions 160 kbit/s VBR; both encoders run one thread). Runs
# alternate between ours and the peer; the medians of RUNS runs are shown,
# with CPU time (user + system). Afterwards the outputs are checked: our FLAC
# decodes to the WAV's samples, our Opus file decodes, and the sizes of both
# sides are printed (equal settings give sizes within a few per cent).
#
#   bench/flac_opus_compare.sh [BUILD_DIR] [RUNS]   (default: build, 5)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
RUNS="${2:-5}"
CLI="$BUILD/bin/discwright-cli"
[ -x "$CLI" ] || { echo "missing $CLI (build it first)" >&2; exit 2; }
for tool in flac opusenc opusdec sox /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

WORK="$(mktemp -d -t discwright-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config" DISCWRIGHT_PROGRAM_DIR="$WORK/program"
mkdir -p "$XDG_CONFIG_HOME" "$DISCWRIGHT_PROGRAM_DIR" "$WORK/out"
# shellcheck source=interleaved.sh
. "$ROOT/bench/interleaved.sh"

wav="$WORK/music.wav"
sox -V1 -r 44100 -c 2 -n -b 16 "$WORK/tones.wav" synth 600 sine 110-1760 sine 165-2640 tremolo 2.5 60
sox -V1 -r 44100 -c 2 -n -b 16 "$WORK/noise.wav" synth 600 pinknoise pinknoise
sox -V1 -m -v 0.55 "$WORK/tones.wav" -v 0.2 "$WORK/noise.wav" "$wav"
rm -f "$WORK/tones.wav" "$WORK/noise.wav"
cat "$wav" >/dev/null
echo "input: $(du -h "$wav" | cut -f1), $(soxi -d "$wav"), 44100 Hz stereo 16-bit; $RUNS runs each; $(nproc) processors"

cli_set() { "$CLI" config "$1" >/dev/null; }
cli_set FlacOptions.CompressionLevel=5
cli_set OpusOptions.BitRate=160
cli_set OpusOptions.IsVBR=1

clear_out="rm -f '$WORK'/out/*"
ours_flac="'$CLI' convert flac '$wav' --output '$WORK/out' --jobs 1 --overwrite --quiet"
ours_opus="'$CLI' convert opus '$wav' --output '$WORK/out' --jobs 1 --overwrite --quiet"

table_header
cli_set FlacOptions.Verify=1
compare "FLAC -5, verify on" "<= 1.02" "$clear_out" "$ours_flac" \
  "flac -s -5 -V -f -o '$WORK/out/peer.flac' '$wav'"
cp "$WORK/out/peer.flac" "$WORK/peer.flac"
cli_set FlacOptions.Verify=0
compare "FLAC -5, verify off" "<= 1.02" "$clear_out" "$ours_flac" \
  "flac -s -5 -f -o '$WORK/out/peer.flac' '$wav'"
sh -c "$ours_flac" >/dev/null
cp "$WORK/out/music.flac" "$WORK/ours.flac"
compare "Opus 160 kbit/s VBR" "<= 1.02" "$clear_out" "$ours_opus" \
  "opusenc --quiet --bitrate 160 --vbr '$wav' '$WORK/out/peer.opus'"
sh -c "$ours_opus" >/dev/null
cp "$WORK/out/music.opus" "$WORK/ours.opus"
opusenc --quiet --bitrate 160 --vbr "$wav" "$WORK/peer.opus"

# The outputs: same samples, comparable sizes.
sox -V1 "$wav" -t raw "$WORK/in.raw"
flac -s -d -c --force-raw-format --endian=little --sign=signed "$WORK/ours.flac" | cmp -s - "$WORK/in.raw" \
  || { echo "our FLAC file does not decode to the input's samples" >&2; exit 1; }
opusdec --quiet "$WORK/ours.opus" "$WORK/ours-opus.wav" \
  || { echo "our Opus file does not decode" >&2; exit 1; }
size() { stat -c %s "$1"; }
printf 'sizes: FLAC ours %d, flac %d bytes (%.4fx); Opus ours %d, opusenc %d bytes (%.4fx)\n' \
  "$(size "$WORK/ours.flac")" "$(size "$WORK/peer.flac")" \
  "$(awk "BEGIN { print $(size "$WORK/ours.flac") / $(size "$WORK/peer.flac") }")" \
  "$(size "$WORK/ours.opus")" "$(size "$WORK/peer.opus")" \
  "$(awk "BEGIN { print $(size "$WORK/ours.opus") / $(size "$WORK/peer.opus") }")"
cat "$WORK/runs"
