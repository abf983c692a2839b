#!/usr/bin/env bash
# What each report costs on top of the check it reports: every row times a run with the report
# beside the same run without it, interleaved, and prints both medians and their ratio.
#   bench/report_cost.sh [BUILD_DIR] [BEFORE_BINARY] [RUNS]     (default: build, none, 5)
# With BEFORE_BINARY (an earlier build of hash_checker), each row is also run with it, in the same
# rounds, so before and after are measured side by side under the same load.
# Wall seconds are medians; "cpu" is the ratio of the medians of user plus system CPU seconds,
# steadier when other work shares the cores (but blind to work moved to the second core).
# Inputs: the 10^7-slot random case; its answer file as a submission that is all Right, and that
# file with every line rotated by one slot as one that is all Wrong. A class of 1,000 copies of the
# shipped example, with --report-dir and --html-dir against neither, and beside it the file
# system's share: the same reports' folders copied, against the same class. The plain check is
# `--no-answer-file 0 IN OUT`, console to /dev/null.
# Run it after a few quiet minutes: on ext4 without a journal, a new file passes over every inode
# of its group freed in the last minutes, so that right after thousands of files were deleted (a
# test suite, this script's own end) a class run's reports cost several times what they do.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
checker=$(cd "${1:-$root/build}" && pwd)/hash_checker
before=${2:+$(cd "$(dirname "$2")" && pwd)/$(basename "$2")}
runs=${3:-5}
work=$(mktemp -d)
# A job this script signals before it has started its program is still a copy of this shell,
# and would run the trap too, removing the folder under the runs still going: only the script
# itself removes it.
main_shell=$BASHPID
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$work"; fi' EXIT
cd "$work"
source "$root/bench/inputs.sh"

random_keys >input.txt
"$checker" 1 input.txt none --answer-file=right.txt </dev/null >/dev/null
# Each line's last slot moves to its front: every slot of every line differs.
awk '{ last = $NF; $NF = ""; print last " " $0 }' right.txt | sed 's/ *$//' >wrong.txt
mkdir class old
for i in $(seq -w 1 1000); do cp "$root/examples/hash_output.txt" "class/s$i.txt"; done
cp "$root/examples/hash_input.txt" class_input.txt
sync

# retire_reports: the last run's reports moved out of the way. A class's thousands of reports
# are kept until the script ends rather than deleted: ext4 without a journal passes over inodes
# freed in the last few seconds each time it creates a file, so creating 2,000 reports just
# after deleting 2,000 cost several times the run itself, a cost of this script, not of the
# program. Single large reports are deleted (one inode each, and too big to keep).
retire_reports() {
  [ -d out ] || return 0
  rm -f out/*.json out/*.html
  mv out "$(mktemp -d old/XXXXXX)/"
}

# seconds COMMAND...: the wall seconds of one run and its user plus system CPU seconds (steadier
# on a busy machine), its reports written under out/ afresh.
seconds() {
  retire_reports && mkdir out
  # What the runs before left to write (their files, the retired reports' deletion) goes to disk
  # first, so that it is not timed as this run's.
  sync
  /usr/bin/time -f '%e %U %S' -o time.txt "$@" </dev/null >/dev/null 2>/dev/null || true
  tail -n 1 time.txt | awk '{ printf "%s %.2f\n", $1, $2 + $3 }'
}

# median [FIELD]: the median of a column of numbers (field 1, wall time, by default).
median() { awk -v f="${1:-1}" '{ print $f }' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# row NAME BASELINE-ARGS -- REPORT-ARGS: the binaries run on both argument lists, in turn.
row() {
  local name=$1 base=() with=() binaries=("$checker") b i
  shift
  while [ "$1" != -- ]; do base+=("$1"); shift; done
  shift
  with=("$@")
  [ -z "$before" ] || binaries+=("$before")
  rm -f ./*.times
  for ((i = 0; i < runs; i++)); do
    for b in "${!binaries[@]}"; do
      seconds "${binaries[$b]}" "${base[@]}" >>"base$b.times"
      seconds "${binaries[$b]}" "${with[@]}" >>"with$b.times"
    done
  done
  local cells=""
  for b in "${!binaries[@]}"; do
    local x y cx cy
    x=$(median <"base$b.times")
    y=$(median <"with$b.times")
    cx=$(median 2 <"base$b.times")
    cy=$(median 2 <"with$b.times")
    cells+=$(printf ' %6s | %6s | %6.2fx | %5.2fx |' "$x" "$y" "$(awk "BEGIN { print $y / $x }")" \
      "$(awk "BEGIN { print ($cx > 0 ? $cy / $cx : 0) }")")
  done
  printf '| %-44s |%s\n' "$name" "$cells"
}

plain=(--no-answer-file 0 input.txt)
echo "Machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); medians of $runs, interleaved"
[ -z "$before" ] || echo "Each row: this build's plain, report and ratio, then the same of $before."
printf '| %-44s | plain  | report | ratio   | cpu    |' run
[ -z "$before" ] || printf ' plain  | report | ratio   | cpu    |'
echo
row "--json=FILE, all Right" "${plain[@]}" right.txt -- "${plain[@]}" right.txt --json=out/r.json
row "--html=FILE, all Right" "${plain[@]}" right.txt -- "${plain[@]}" right.txt --html=out/r.html
row "--explain, all Right" "${plain[@]}" right.txt -- "${plain[@]}" right.txt --explain
row "--explain, all Wrong" "${plain[@]}" wrong.txt -- "${plain[@]}" wrong.txt --explain
row "class of 1,000: --report-dir --html-dir" \
  --no-answer-file --gradebook=out/g.csv class_input.txt class -- \
  --no-answer-file --gradebook=out/g.csv --report-dir=out/r --html-dir=out/h class_input.txt class
# What the file system alone asks for the class's reports: the last run's two folders copied
# afresh (as many files and bytes, no checking at all) against the class without reports. The
# report row's ratio can't go below this one's plus one.
floor_copy() {
  local last
  retire_reports && mkdir out
  last=$(dirname "$(ls -td old/*/out/r | head -n 1)")
  /usr/bin/time -f '%e %U %S' -o time.txt cp -r "$last/r" "$last/h" out/ </dev/null || true
  tail -n 1 time.txt | awk '{ printf "%s %.2f\n", $1, $2 + $3 }'
}
rm -f ./*.times
for ((i = 0; i < runs; i++)); do
  seconds "$checker" --no-answer-file --gradebook=out/g.csv class_input.txt class >>base.times
  seconds "$checker" --no-answer-file --gradebook=out/g.csv --report-dir=out/r --html-dir=out/h \
    class_input.txt class >/dev/null
  floor_copy >>with.times
done
printf '| %-44s | %6s | %6s | %6.2fx |\n' "class of 1,000: its reports copied (floor)" \
  "$(median <base.times)" "$(median <with.times)" \
  "$(awk "BEGIN { print $(median <with.times) / $(median <base.times) }")"
# The plain check itself, this build against the one before.
if [ -n "$before" ]; then
  rm -f ./*.times
  for ((i = 0; i < runs; i++)); do
    seconds "$before" "${plain[@]}" right.txt >>b.times
    seconds "$checker" "${plain[@]}" right.txt >>a.times
  done
  a=$(median <a.times)
  b=$(median <b.times)
  printf '| %-44s | before %s s, after %s s: %.2fx\n' "plain check, all Right" "$b" "$a" \
    "$(awk "BEGIN { print $a / $b }")"
fi
