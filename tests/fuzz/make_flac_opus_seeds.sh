#!/usr/bin/env bash
# Writes seed corpora for fuzz_flac_reader and fuzz_opus_reader into
# DIR/flac and DIR/opus: short files from flac and opusenc (mono and stereo,
# 8, 16 and 24 bits, a seek table, comments, a multichannel Opus file and a
# chain of two Opus links).
set -euo pipefail
dir=${1:?usage: make_flac_opus_seeds.sh DIR}
mkdir -p "$dir/flac" "$dir/opus"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -V1 -n -r 8000 -c 1 -b 16 "$tmp/m.wav" synth 0.1 sine 400
sox -V1 -n -r 11025 -c 2 -b 16 "$tmp/s.wav" synth 0.1 sine 300-900 sine 500
sox -V1 -n -r 44100 -c 2 -b 24 "$tmp/s24.wav" synth 0.03 pinknoise
sox -V1 -n -r 22050 -c 1 -b 8 "$tmp/m8.wav" synth 0.05 square 220
sox -V1 -n -r 48000 -c 6 -b 16 "$tmp/six.wav" synth 0.05 sine 100 sine 200 sine 300 sine 400 sine 500 sine 600

flac -s -0 --no-padding -o "$dir/flac/mono.flac" "$tmp/m.wav"
flac -s -5 -P 64 -T ARTIST=a -T TITLE=t -S 1000s -o "$dir/flac/stereo_tags_seek.flac" "$tmp/s.wav"
flac -s -8 --no-padding --blocksize=576 -o "$dir/flac/s24.flac" "$tmp/s24.wav" 2>/dev/null  # sox's fact chunk
flac -s -3 --no-padding --no-seektable -o "$dir/flac/m8.flac" "$tmp/m8.wav" 2>/dev/null
# Written to a pipe, STREAMINFO states no length: the size is unknown.
sox -V1 "$tmp/m.wav" -t raw - | flac -s -5 --no-padding --no-seektable --force-raw-format --endian=little \
    --sign=signed --channels=1 --bps=16 --sample-rate=8000 -c - 2>/dev/null > "$dir/flac/unknown_length.flac"

opusenc --quiet --bitrate 24 "$tmp/m.wav" "$dir/opus/mono.opus"
opusenc --quiet --bitrate 96 --artist a --title t "$tmp/s.wav" "$dir/opus/stereo_tags.opus"
opusenc --quiet --bitrate 64 --hard-cbr "$tmp/s24.wav" "$dir/opus/cbr.opus" 2>/dev/null
opusenc --quiet --bitrate 128 "$tmp/six.wav" "$dir/opus/six_channels.opus"
cat "$dir/opus/mono.opus" "$dir/opus/stereo_tags.opus" > "$dir/opus/chain.opus"
