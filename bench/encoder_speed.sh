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
# Below each row the lowest CPU time of each side is shown too: load from other
# processes only ever adds to a run, so the lowest is the least disturbed.
# With COUNT_INSTRUCTIONS=1 (needs valgrind) both sides also encode a
# 20-second excerpt under callgrind, which counts the instructions each
# process runs (all its threads): a figure no load on the machine changes.
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

# The four commands (shell text) for an input WAV named music.wav or excerpt.wav.
ours_ogg_of() { echo "'$CLI' encode ogg '$1' '$WORK/out/music.ogg' --quality 2 --overwrite --quiet"; }
peer_ogg_of() { echo "oggenc -Q -q 2 -o '$WORK/out/peer.ogg' '$1'"; }
ours_opus_of() { echo "'$CLI' convert opus '$1' --output '$WORK/out' --jobs 1 --overwrite --quiet"; }
peer_opus_of() { echo "opusenc --quiet --bitrate 160 --vbr '$1' '$WORK/out/peer.opus'"; }
clear_out="rm -f '$WORK'/out/*"
ours_ogg=$(ours_ogg_of "$wav"); peer_ogg=$(peer_ogg_of "$wav")
ours_opus=$(ours_opus_of "$wav"); peer_opus=$(peer_opus_of "$wav")

# The lowest CPU time of each side in the last comparison.
lowest() {
  local ours peer
  ours=$(cut -d' ' -f2 "$WORK/ours.t" | sort -g | head -n1)
  peer=$(cut -d' ' -f2 "$WORK/peer.t" | sort -g | head -n1)
  printf '  lowest cpu: ours %.2f, tool %.2f (%.3fx)\n' "$ours" "$peer" "$(awk "BEGIN { print $ours / $peer }")"
}

table_header
compare "Ogg Vorbis q 2, $MINUTES min (oggenc -q 2)" "<= 1.02" "$clear_out" "$ours_ogg" "$peer_ogg"
lowest
compare "Opus 160 kbit/s VBR, $MINUTES min (opusenc)" "<= 1.02" "$clear_out" "$ours_opus" "$peer_opus"
lowest

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

if [ "${COUNT_INSTRUCTIONS:-0}" = 1 ]; then
  command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 2; }
  sox -V1 "$wav" "$WORK/excerpt.wav" trim 0 20
  # Instructions of one command (run directly, not through a shell) under
  # callgrind, from its closing summary.
  instructions() {
    eval "valgrind --tool=callgrind --callgrind-out-file='$WORK/callgrind.out' $1" 2>"$WORK/callgrind.log" >/dev/null \
      || { echo "failed under valgrind: $1" >&2; tail -n 20 "$WORK/callgrind.log" >&2; exit 1; }
    grep -E 'I +refs:' "$WORK/callgrind.log" | tail -n1 | awk '{ gsub(",", "", $NF); print $NF }'
  }
  counted() {
    local ours peer
    ours=$(instructions "$2"); peer=$(instructions "$3")
    [ -n "$ours" ] && [ -n "$peer" ] || exit 1
    printf '%s, 20 s excerpt, instructions: ours %d, tool %d (%.4fx)\n' "$1" "$ours" "$peer" \
      "$(awk "BEGIN { print $ours / $peer }")"
  }
  excerpt="$WORK/excerpt.wav"
  sh -c "$clear_out"
  counted "Ogg Vorbis q 2" "$(ours_ogg_of "$excerpt")" "$(peer_ogg_of "$excerpt")"
  counted "Opus 160 kbit/s VBR" "$(ours_opus_of "$excerpt")" "$(peer_opus_of "$excerpt")"
fi
cat "$WORK/runs"
