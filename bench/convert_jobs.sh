#!/usr/bin/env bash
# Whole-process benchmark of discwright-cli convert: eight 3-minute stereo
# WAVs at 44100 Hz encoded to MP3 with --jobs 1 and --jobs 2 (wall time,
# best of RUNS), and the speed-up of the second over the first. Each item
# runs lame as a child process, so on two cores --jobs 2 should take a
# little over half the time.
#
#   bench/convert_jobs.sh BUILD_DIR [RUNS] [FORMAT]
set -euo pipefail
build=${1:?usage: convert_jobs.sh BUILD_DIR [RUNS] [FORMAT]}
runs=${2:-3}
format=${3:-mp3}
cli="$build/bin/discwright-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
export DISCWRIGHT_PROGRAM_DIR="$build/bin"

mkdir -p "$work/in"
for i in $(seq 1 8); do
  sox -n -r 44100 -c 2 -b 16 "$work/in/track$i.wav" synth 180 pinknoise sine $((200 * i))-3000 vol 0.5 \
    >/dev/null 2>&1
done

best() {
  local jobs=$1 best=""
  for _ in $(seq "$runs"); do
    rm -rf "$work/out" && mkdir -p "$work/out"
    /usr/bin/time -f "%e" -o "$work/t" "$cli" convert "$format" "$work"/in/*.wav --output "$work/out" \
      --jobs "$jobs" --quiet >/dev/null
    secs=$(cat "$work/t")
    if [ -z "$best" ] || awk "BEGIN{exit !($secs < $best)}"; then best=$secs; fi
  done
  echo "$best"
}

one=$(best 1)
two=$(best 2)
printf "convert %s, 8 x 3 min: --jobs 1 %ss, --jobs 2 %ss, speed-up %.2fx (%s cores)\n" \
  "$format" "$one" "$two" "$(awk "BEGIN{print $one/$two}")" "$(nproc)"
