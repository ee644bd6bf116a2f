#!/usr/bin/env bash
# Writes a seed corpus for fuzz_vorbis_reader into DIR: short Ogg Vorbis
# files from oggenc (mono and stereo, quality and managed modes, comments,
# a chain of two logical streams).
set -euo pipefail
dir=${1:?usage: make_ogg_seeds.sh DIR}
mkdir -p "$dir"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -n -r 8000 -c 1 -b 16 "$tmp/m.wav" synth 0.3 sine 400
sox -n -r 11025 -c 2 -b 16 "$tmp/s.wav" synth 0.3 sine 300-900 sine 500
oggenc -Q -q -1 -o "$dir/mono.ogg" "$tmp/m.wav"
oggenc -Q -q 4 -c ARTIST=a -c TITLE=t -o "$dir/stereo.ogg" "$tmp/s.wav"
oggenc -Q --managed -b 64 -o "$dir/managed.ogg" "$tmp/s.wav"
cat "$dir/mono.ogg" "$dir/stereo.ogg" > "$dir/chain.ogg"
