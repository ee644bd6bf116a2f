# Sourced by the *_compare.sh scripts that set our program against a peer on
# a shared, busy machine: the two commands run in turns (ours, peer, ours,
# peer, ...) so that a burst of load hits both alike, and each side reports
# the median of its runs, for wall time and for CPU time (user + system,
# children included), which load disturbs less.
#
#   compare LABEL TARGET PREPARE OURS PEER
# runs PREPARE (a shell command: clear the output folder, ...) before every
# run, OURS and PEER (shell commands) RUNS times each, and prints one table
# row. CHECK, when set, is a shell command run after each of our runs that
# must succeed (the output exists, decodes, ...). Needs $WORK and $RUNS.

# The median of numbers given one per line on stdin.
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs a shell command under /usr/bin/time; appends "wall cpu" to FILE.
timed() {
  local file=$1 cmd=$2
  if ! /usr/bin/time -f '%e %U %S' -o "$WORK/time" sh -c "$cmd" >>"$WORK/log" 2>&1; then
    echo "failed: $cmd (see below)" >&2
    tail -n 20 "$WORK/log" >&2
    exit 1
  fi
  awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$WORK/time" >>"$file"
}

table_header() {
  printf '%-40s %9s %9s %7s %9s %9s %7s  %s\n' case "ours s" "peer s" ratio "ours cpu" "peer cpu" ratio target
}

compare() {
  local label=$1 target=$2 prepare=$3 ours=$4 peer=$5 i
  : >"$WORK/ours.t"; : >"$WORK/peer.t"
  for i in $(seq "$RUNS"); do
    sh -c "$prepare"
    timed "$WORK/ours.t" "$ours"
    if [ -n "${CHECK:-}" ]; then
      sh -c "$CHECK" >>"$WORK/log" 2>&1 || { echo "check failed after: $ours" >&2; tail -n 20 "$WORK/log" >&2; exit 1; }
    fi
    sh -c "$prepare"
    timed "$WORK/peer.t" "$peer"
  done
  local ow oc pw pc
  ow=$(cut -d' ' -f1 "$WORK/ours.t" | median); oc=$(cut -d' ' -f2 "$WORK/ours.t" | median)
  pw=$(cut -d' ' -f1 "$WORK/peer.t" | median); pc=$(cut -d' ' -f2 "$WORK/peer.t" | median)
  printf '%-40s %9.2f %9.2f %7.3f %9.2f %9.2f %7.3f  %s\n' "$label" "$ow" "$pw" \
    "$(awk "BEGIN { print $ow / $pw }")" "$oc" "$pc" "$(awk "BEGIN { print $oc / $pc }")" "$target"
  echo "  runs ($label), wall and cpu: ours $(tr '\n' ' ' <"$WORK/ours.t")| peer $(tr '\n' ' ' <"$WORK/peer.t")" >>"$WORK/runs"
}
