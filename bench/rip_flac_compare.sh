#!/usr/bin/env bash
# Ripping to FLAC against the same work done by the reference tools, on a
# 74-minute CD image in ten tracks of 7:24 whose audio is a music-like
# signal (music_image.sh):
#   discwright-cli rip --format flac --mode ripper   against   cd-paranoia, then
#   discwright-cli rip --format flac --mode drive        flac -5, track by track
#                                                        (the WAV deleted after each)
#   target: within 1.05x
# and the cost of ReplayGain: the rip of four of the tracks with --replaygain
# against the same rip without it, in each mode; target: at most 1.05x.
# FlacOptions are set to the peer's switches: level 5, Verify off (VERIFY=1
# turns Verify on and gives the peer flac -V). Runs alternate between the
# two sides; the medians of RUNS runs are shown, with CPU time (user + system).
#
#   bench/rip_flac_compare.sh [BUILD_DIR] [RUNS]   (default: build, 5)
#   MODES="ripper drive" VERIFY=0 REPLAYGAIN=1 RG_MODES="ripper drive" select the rows.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
RUNS="${2:-5}"
MODES="${MODES:-ripper drive}"
VERIFY="${VERIFY:-0}"
BIN="$BUILD/bin"
for tool in discwright-cli dw-cdimage; do
  [ -x "$BIN/$tool" ] || { echo "missing $BIN/$tool (build it first)" >&2; exit 2; }
done
for tool in cd-paranoia flac metaflac sox /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

WORK="$(mktemp -d -t discwright-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config" DISCWRIGHT_PROGRAM_DIR="$WORK/program"
mkdir -p "$XDG_CONFIG_HOME" "$DISCWRIGHT_PROGRAM_DIR"
# shellcheck source=interleaved.sh
. "$ROOT/bench/interleaved.sh"

# shellcheck source=music_image.sh
. "$ROOT/bench/music_image.sh"
music_image "$BIN" "$WORK" 7:24 10
bytes=$(stat -c %s "$WORK/disc.bin")
echo "image: $(du -h "$WORK/disc.bin" | cut -f1) in 10 tracks of 7:24; $RUNS runs each; $(nproc) processors"

"$BIN/discwright-cli" config FlacOptions.CompressionLevel=5 >/dev/null
"$BIN/discwright-cli" config FlacOptions.Verify="$VERIFY" >/dev/null
peer_verify=""
[ "$VERIFY" = 1 ] && peer_verify="-V"

cat >"$WORK/peers.sh" <<SCRIPT
#!/bin/sh
set -e
cd "\$1"
for t in \$(seq \$2 \$3); do
  n=\$(printf '%02d' \$t)
  cd-paranoia -q -d "$WORK/disc.cue" -- "\$t" "Track\$n.wav"
  flac -s -5 $peer_verify "Track\$n.wav" -o "Track\$n.flac"
  rm -f "Track\$n.wav"
done
SCRIPT
chmod +x "$WORK/peers.sh"

fresh="rm -rf '$WORK/out' && mkdir -p '$WORK/out' && sync"
rip="'$BIN/discwright-cli' rip --device '$WORK/disc.cue' --output '$WORK/out' --format flac --quiet"
CHECK="[ \"\$(ls '$WORK/out' | grep -c '\\.flac\$')\" -ge 4 ] && ! ls '$WORK/out' | grep -q '\\.wav\$'"

table_header
for mode in $MODES; do
  compare "rip --format flac --mode $mode" "<= 1.05" "$fresh" "$rip --mode $mode" "'$WORK/peers.sh' '$WORK/out' 1 10"
done
# Our first track must decode to the image's samples.
sh -c "$fresh"; sh -c "$rip --mode ripper --tracks 1" >/dev/null
flac -s -d -c --force-raw-format --endian=little --sign=signed "$WORK/out/"*.flac \
  | cmp -s - <(head -c $((bytes / 10)) "$WORK/disc.bin") \
  || { echo "our track 1 does not decode to the image's first tenth" >&2; exit 1; }

if [ "${REPLAYGAIN:-1}" = 1 ]; then
  for mode in ${RG_MODES:-ripper drive}; do
    compare "$mode mode, 4 tracks: --replaygain / none" "<= 1.05" "$fresh" \
      "$rip --mode $mode --tracks 1-4 --replaygain" "$rip --mode $mode --tracks 1-4"
    sh -c "$fresh"; sh -c "$rip --mode $mode --tracks 1 --replaygain" >/dev/null
    metaflac --export-tags-to=- "$WORK/out/"*.flac | grep -q '^REPLAYGAIN_TRACK_GAIN=' \
      || { echo "the --replaygain rip wrote no REPLAYGAIN_TRACK_GAIN" >&2; exit 1; }
  done
fi
cat "$WORK/runs"
