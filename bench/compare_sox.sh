#!/usr/bin/env bash
# Times `discwright-cli convert-wav` against sox (and cp for a plain copy) on
# the same generated files, and reports peak memory at two file lengths.
#
#   bench/compare_sox.sh [BIN_DIR] [WORK_DIR]
#
# BIN_DIR holds discwright-cli (default: build-bench/bin next to this script's
# tree; build it in Release). WORK_DIR receives the generated files (default: a
# temporary folder, removed afterwards). RUNS sets the repetitions (default 5);
# SHORT and LONG the two lengths in seconds (default 60 and 600).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build-bench/bin}
cli=$bin/discwright-cli
runs=${RUNS:-5}
short=${SHORT:-60}
long=${LONG:-600}

for tool in sox /usr/bin/time "$cli"; do
    if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
        echo "compare_sox: $tool not found" >&2
        exit 1
    fi
done

if [ -n "${2:-}" ]; then
    work=$2
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi

# 44.1 kHz 16-bit stereo: pink noise under two tones, so that every encoder
# and filter does real work.
make_input() {
    local seconds=$1 file=$2
    [ -f "$file" ] && return
    sox -n -r 44100 -b 16 -c 2 "$file" synth "$seconds" pinknoise synth "$seconds" sine mix 440 \
        synth "$seconds" sine mix 3520 gain -6
}

# measure LABEL COMMAND...: runs the command $runs times; prints the median
# wall time, the median user+system time and the largest resident set.
measure() {
    local label=$1
    shift
    local walls=() cpus=() rss=0 line
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -o "$work/time.txt" -f '%e %U %S %M' "$@" >/dev/null 2>&1 || {
            echo "compare_sox: failed: $*" >&2
            exit 1
        }
        line=$(tail -n 1 "$work/time.txt")
        read -r wall user sys kb <<<"$line"
        walls+=("$wall")
        cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')")
        ((kb > rss)) && rss=$kb
    done
    local mw mc
    mw=$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    mc=$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    printf '%-44s wall %6.2f s   cpu %6.2f s   peak %7d KB\n' "$label" "$mw" "$mc" "$rss"
}

in_short=$work/in_${short}s.wav
in_long=$work/in_${long}s.wav
make_input "$short" "$in_short"
make_input "$long" "$in_long"
out=$work/out.wav

echo "discwright-cli: $cli"
echo "sox:            $(sox --version 2>&1 | head -n 1)"
echo "runs: $runs (median shown); machine load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

for len in "$short" "$long"; do
    in=$work/in_${len}s.wav
    echo "== ${len} s of 44.1 kHz 16-bit stereo ($(($(stat -c %s "$in") / 1024)) KB)"
    measure "22.05 kHz 8-bit mono    discwright (no dither)" "$cli" convert-wav "$in" "$out" --overwrite --rate 22050 --bits 8 --channels 1 --dither off
    measure "22.05 kHz 8-bit mono    sox (no dither)" sox -D "$in" -r 22050 -b 8 -c 1 "$out"
    measure "22.05 kHz 8-bit mono    discwright (TPDF)" "$cli" convert-wav "$in" "$out" --overwrite --rate 22050 --bits 8 --channels 1
    measure "22.05 kHz 8-bit mono    sox (TPDF)" sox "$in" -r 22050 -b 8 -c 1 "$out" dither
    measure "IMA ADPCM               discwright" "$cli" convert-wav "$in" "$out" --overwrite --encoding ima-adpcm
    measure "IMA ADPCM               sox" sox "$in" -e ima-adpcm "$out"
    measure "same-format copy        discwright" "$cli" convert-wav "$in" "$out" --overwrite
    measure "same-format copy        cp" cp "$in" "$out"
    echo
done
