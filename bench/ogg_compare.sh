#!/usr/bin/env bash
# Whole-process comparison of discwright-cli's Ogg Vorbis encoding and
# decoding with the Vorbis tools on the same files: wall time (best of
# RUNS) and peak resident memory, for a 1-minute and a 10-minute stereo
# WAV, at the default quality (options.ini's default, quality 0.2 = oggenc -q 2).
#
#   bench/ogg_compare.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?usage: ogg_compare.sh BUILD_DIR [RUNS]}
runs=${2:-3}
cli="$build/bin/discwright-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"

# best wall seconds and peak KiB of a command, over $runs runs
measure() {
  local best="" peak=0
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$work/t" "$@" >/dev/null 2>&1
    read -r secs kib < "$work/t"
    if [ -z "$best" ] || awk "BEGIN{exit !($secs < $best)}"; then best=$secs; fi
    if [ "$kib" -gt "$peak" ]; then peak=$kib; fi
  done
  echo "$best $peak"
}

printf "%-28s %10s %10s %8s\n" "case" "ours s" "peer s" "ratio"
for minutes in 1 10; do
  wav="$work/in$minutes.wav"
  sox -n -r 44100 -c 2 -b 16 "$wav" synth $((minutes * 60)) pinknoise sine 220-3520 vol 0.5 >/dev/null 2>&1
  read -r ours oursKib < <(measure "$cli" encode ogg "$wav" "$work/ours.ogg" --overwrite --quiet)
  read -r peer peerKib < <(measure oggenc -Q -q 2 -o "$work/peer.ogg" "$wav")
  printf "%-28s %10s %10s %8.3f   peak KiB ours %s peer %s\n" "encode ${minutes} min" "$ours" "$peer" \
    "$(awk "BEGIN{print $ours/$peer}")" "$oursKib" "$peerKib"
  read -r ours oursKib < <(measure "$cli" decode ogg "$work/peer.ogg" "$work/ours.wav" --overwrite --quiet)
  read -r peer peerKib < <(measure oggdec -Q -o "$work/peer.wav" "$work/peer.ogg")
  printf "%-28s %10s %10s %8.3f   peak KiB ours %s peer %s\n" "decode ${minutes} min" "$ours" "$peer" \
    "$(awk "BEGIN{print $ours/$peer}")" "$oursKib" "$peerKib"
done
