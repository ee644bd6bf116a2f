# shellcheck shell=bash
# Sourced by the rip benchmarks: a CD image whose audio is a music-like
# signal (sweeping, beating tones over pink noise) instead of the image
# writer's plain tones, which FLAC would find far too easy (it packs this
# signal to about 75 %).
#
#   music_image BIN DIR TRACK_LENGTH COUNT
# writes DIR/disc.cue and DIR/disc.bin: COUNT tracks of TRACK_LENGTH (m:ss)
# laid out by BIN/dw-cdimage, the audio replaced as 16-bit little-endian
# stereo frames. Needs sox; leaves the image in the page cache.

music_image() {
  local bin=$1 dir=$2 length=$3 count=$4 tracks=() bytes frames
  for _ in $(seq "$count"); do tracks+=(--track "$length"); done
  "$bin/dw-cdimage" "$dir/disc.cue" "${tracks[@]}" >/dev/null
  bytes=$(stat -c %s "$dir/disc.bin")
  frames=$((bytes / 4))
  sox -V1 -r 44100 -c 2 -n -b 16 -t raw "$dir/tones.raw" synth "${frames}s" sine 110-1760 sine 165-2640 tremolo 2.5 60
  sox -V1 -r 44100 -c 2 -n -b 16 -t raw "$dir/noise.raw" synth "${frames}s" pinknoise pinknoise
  sox -V1 -m -v 0.55 -r 44100 -c 2 -b 16 -e signed -t raw "$dir/tones.raw" \
    -v 0.2 -r 44100 -c 2 -b 16 -e signed -t raw "$dir/noise.raw" -L -t raw "$dir/disc.bin"
  rm -f "$dir/tones.raw" "$dir/noise.raw"
  [ "$(stat -c %s "$dir/disc.bin")" = "$bytes" ] || { echo "the music-like audio does not fill the image" >&2; return 1; }
  cat "$dir/disc.bin" >/dev/null
}

# The set-up the whole-disc rip benchmarks share: the ten-track image in
# WORK (TRACK_LENGTH each), FLAC at level 5 without Verify, and the header
# line, NOTE appended when given.
#   bench_music_disc BIN WORK TRACK_LENGTH RUNS [NOTE]
bench_music_disc() {
  local bin=$1 work=$2 length=$3 runs=$4 note=${5:-}
  music_image "$bin" "$work" "$length" 10
  "$bin/discwright-cli" config FlacOptions.CompressionLevel=5 >/dev/null
  "$bin/discwright-cli" config FlacOptions.Verify=0 >/dev/null
  echo "image: $(du -h "$work/disc.bin" | cut -f1) in 10 tracks of $length; $runs runs each; $(nproc) processors;" \
    "load average $(cut -d' ' -f1-3 /proc/loadavg) at the start${note:+; $note}"
}
