#!/usr/bin/env bash
# Whether ripping overlaps with encoding: a 40-minute CD image in ten tracks
# of 4:00 of music-like signal (music_image.sh), ripped to FLAC (level 5,
# Verify off) and to MP3 (the default settings: lame -b 128 -m j) in drive
# and in ripper mode,
#   rip --format F --mode M            the rip under test, against
#   (a) rip --format wav --mode M      the same reading alone,
#   (b) convert F --jobs 2             encoding the ten WAVs alone, two at once,
#   (c) cd-paranoia + flac -5 | lame   one track after another, the WAV
#                                      deleted after each (a plain script).
# Targets: rip <= 1.15 x max(a, b) and rip <= 0.65 x (c) in wall time (on two
# processors that takes reading and encoding on both at once). The CPU
# figures (user + system, children included) show whether the work is the
# same: a rip should cost about (a) + (b) and about (c) in CPU.
#
# All cases run in turns (one run of each, then the next round), RUNS rounds;
# each case shows the median of its runs. Every run is sampled
# (proc_timeline.py), which gives an estimate of its wall time alone on the
# machine (its CPU time spread over the threads that wanted a processor), the
# steadier figure when other work shares the machine; for the rips under
# test the script prints, per second, the busy cores of the rip's processes,
# of the whole machine, and the rip's threads that wanted a processor.
#
#   bench/pipeline_compare.sh [BUILD_DIR] [RUNS]   (default: build, 3)
#   FORMATS="flac mp3" MODES="drive ripper" select the rows; LENGTH=0:30
#   makes the ten tracks shorter (a quick check of the script itself).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
RUNS="${2:-3}"
FORMATS="${FORMATS:-flac mp3}"
MODES="${MODES:-drive ripper}"
LENGTH="${LENGTH:-4:00}"
BIN="$BUILD/bin"
for tool in discwright-cli dw-cdimage; do
  [ -x "$BIN/$tool" ] || { echo "missing $BIN/$tool (build it first)" >&2; exit 2; }
done
for tool in cd-paranoia flac lame sox python3; do
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

bench_music_disc "$BIN" "$WORK" "$LENGTH" "$RUNS"
CLI="$BIN/discwright-cli"

# The encoders' switches for the settings above (our MP3 defaults give lame
# -b 128 -m j; see the encoder command lines in src/jobs). $n is the
# generated script's track number.
# shellcheck disable=SC2016
declare -A PEER_ENCODE=(
  [flac]='flac -s -5 "Track$n.wav" -o "Track$n.flac"'
  [mp3]='lame --quiet -b 128 -m j "Track$n.wav" "Track$n.mp3"'
)
for format in $FORMATS; do
  [ -n "${PEER_ENCODE[$format]:-}" ] || { echo "no peer script for $format (flac, mp3)" >&2; exit 2; }
  cat >"$WORK/peer-$format.sh" <<SCRIPT
#!/bin/sh
set -e
cd "\$1"
for t in 1 2 3 4 5 6 7 8 9 10; do
  n=\$(printf '%02d' \$t)
  cd-paranoia -q -d "$WORK/disc.cue" -- "\$t" "Track\$n.wav"
  ${PEER_ENCODE[$format]}
  rm -f "Track\$n.wav"
done
SCRIPT
  chmod +x "$WORK/peer-$format.sh"
done

# The WAVs that (b) encodes, ripped once.
"$CLI" rip --device "$WORK/disc.cue" --output "$WORK/wavs" --format wav --mode drive --quiet >>"$WORK/log" 2>&1

out="$WORK/out"
rip="'$CLI' rip --device '$WORK/disc.cue' --output '$out' --quiet"
# Case names in the order they run in each round, with their commands and
# the file type the output folder must then hold ten of (and nothing else).
# In the first round the FLAC rips must decode to the image's samples and
# the MP3 rips must hold, tags aside, the very frames of the peer script.
cases=()
declare -A COMMAND EXPECT
for format in $FORMATS; do
  for mode in $MODES; do
    cases+=("rip-$format-$mode"); COMMAND["rip-$format-$mode"]="$rip --format $format --mode $mode"
    EXPECT["rip-$format-$mode"]=$format
  done
done
for mode in $MODES; do
  cases+=("wav-$mode"); COMMAND["wav-$mode"]="$rip --format wav --mode $mode"; EXPECT["wav-$mode"]=wav
done
for format in $FORMATS; do
  cases+=("convert-$format")
  COMMAND["convert-$format"]="'$CLI' convert $format '$WORK/wavs/'*.wav --output '$out' --jobs 2 --quiet"
  EXPECT["convert-$format"]=$format
  cases+=("peer-$format"); COMMAND["peer-$format"]="'$WORK/peer-$format.sh' '$out'"; EXPECT["peer-$format"]=$format
done

holds_ten() {
  [ "$(find "$out" -type f | wc -l)" = 10 ] && [ "$(find "$out" -type f -name "*.$1" | wc -l)" = 10 ]
}
# Our FLAC tracks, in name order, must decode to the image's samples.
decodes_to_image() {
  local f
  for f in "$out"/*.flac; do
    flac -s -d -c --force-raw-format --endian=little --sign=signed "$f"
  done | cmp -s - "$WORK/disc.bin"
}

# An MP3 file's frames: without an ID3v2 tag in front or an ID3v1 tag at the end.
mp3_frames() {
  python3 -c '
import sys
data = open(sys.argv[1], "rb").read()
if data[:3] == b"ID3" and len(data) >= 10:
    data = data[10 + ((data[6] & 127) << 21 | (data[7] & 127) << 14 | (data[8] & 127) << 7 | (data[9] & 127)):]
if data[-128:-125] == b"TAG":
    data = data[:-128]
sys.stdout.buffer.write(data)' "$1"
}
# Our MP3 tracks must hold the frames lame writes from cd-paranoia's WAV.
same_frames_as_peer() {
  local f
  for f in "$out"/*.mp3; do
    cmp -s <(mp3_frames "$WORK/rip-mp3-$1/${f##*/}") <(mp3_frames "$f") || return 1
  done
}

for round in $(seq "$RUNS"); do
  for c in "${cases[@]}"; do
    rm -rf "$out" && mkdir -p "$out" && sync
    if ! python3 "$ROOT/bench/proc_timeline.py" "$WORK/$c.t" --timeline "$WORK/$c.timeline.$round" \
      -- sh -c "${COMMAND[$c]}" >>"$WORK/log" 2>&1; then
      echo "failed: ${COMMAND[$c]}" >&2; tail -n 20 "$WORK/log" >&2; exit 1
    fi
    holds_ten "${EXPECT[$c]}" || { echo "$c did not leave ten .${EXPECT[$c]} files alone:" >&2; ls "$out" >&2; exit 1; }
    if [ "$round" = 1 ]; then
      case $c in
        rip-flac-*) decodes_to_image || { echo "$c: the FLAC tracks do not decode to the image's audio" >&2; exit 1; } ;;
        rip-mp3-*) cp -r "$out" "$WORK/$c" ;;
        peer-mp3)
          for mode in $MODES; do
            same_frames_as_peer "$mode" || { echo "rip-mp3-$mode: the MP3 frames differ from lame's" >&2; exit 1; }
            rm -rf "$WORK/rip-mp3-$mode"
          done ;;
      esac
    fi
  done
done

wall() { cut -d' ' -f1 "$WORK/$1.t" | median; }
cpu() { cut -d' ' -f2 "$WORK/$1.t" | median; }
alone() { cut -d' ' -f3 "$WORK/$1.t" | median; }
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }

echo
printf '%-44s %8s %8s %6s %8s\n' case "wall s" "cpu s" cores "alone s"
describe() {
  case $1 in
    rip-*) local f=${1#rip-}; echo "rip --format ${f%-*} --mode ${f#*-}" ;;
    wav-*) echo "(a) rip --format wav --mode ${1#wav-}" ;;
    convert-*) echo "(b) convert ${1#convert-} --jobs 2" ;;
    peer-flac) echo "(c) cd-paranoia + flac -5, per track" ;;
    peer-mp3) echo "(c) cd-paranoia + lame -b 128 -m j, per track" ;;
  esac
}
for c in "${cases[@]}"; do
  printf '%-44s %8.2f %8.2f %6.2f %8.2f\n' "$(describe "$c")" "$(wall "$c")" "$(cpu "$c")" \
    "$(calc "$(cpu "$c") / $(wall "$c")")" "$(alone "$c")"
done

echo
echo "rip against max(a, b) (target <= 1.15) and against (c) (target <= 0.65): wall time, estimated"
echo "wall time alone, and CPU time (against (a) + (b) and (c))"
ratios() {  # FIGURE NUMERATOR DENOMINATORS... : NUMERATOR over the largest of them
  local figure=$1 r=$2 d largest=0
  shift 2
  for d in "$@"; do largest=$(awk "BEGIN { v = $($figure "$d"); print (v > $largest) ? v : $largest }"); done
  calc "$($figure "$r") / $largest"
}
printf '%-13s %26s %26s %26s\n' "" "wall: max(a, b)   (c)" "alone: max(a, b)   (c)" "cpu: (a + b)   (c)"
for format in $FORMATS; do
  for mode in $MODES; do
    r="rip-$format-$mode" a="wav-$mode" b="convert-$format" p="peer-$format"
    printf '%-13s %20s %5s %20s %5s %20s %5s\n' "$format $mode" \
      "$(ratios wall "$r" "$a" "$b")" "$(ratios wall "$r" "$p")" \
      "$(ratios alone "$r" "$a" "$b")" "$(ratios alone "$r" "$p")" \
      "$(calc "$(cpu "$r") / ($(cpu "$a") + $(cpu "$b"))")" "$(ratios cpu "$r" "$p")"
  done
done

echo "per second during the rip, the run of median wall time: busy cores of its processes, of the whole"
echo "machine, and its threads that were running or waiting for a processor"
for format in $FORMATS; do
  for mode in $MODES; do
    r="rip-$format-$mode" median_wall=$(wall "rip-$format-$mode") best="" best_gap=""
    for round in $(seq "$RUNS"); do
      gap=$(awk -v w="$(sed -n "${round}p" "$WORK/$r.t" | cut -d' ' -f1)" -v m="$median_wall" \
        'BEGIN { d = w - m; print (d < 0) ? -d : d }')
      if [ -z "$best" ] || awk "BEGIN { exit !($gap < $best_gap) }"; then best=$round best_gap=$gap; fi
    done
    echo "$(describe "$r"):"
    sed 's/^/  /' "$WORK/$r.timeline.$best"
  done
done

echo
echo "every run, wall, cpu and alone:"
for c in "${cases[@]}"; do echo "  $(describe "$c"): $(tr '\n' ' ' <"$WORK/$c.t")"; done
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
