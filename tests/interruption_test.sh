#!/usr/bin/env bash
# Runs the checker the ways a run gets cut short or crowded — a signal while it waits on its input,
# a pipe that closes, two runs in one folder, huge lines under a memory limit — and checks that
# an earlier answer file survives whole, no temporary file is left, and the status says so.
#   interruption_test.sh BINARY [--sanitized]
set -u
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
sanitized=${2:-}
work=$(mktemp -d)
# A job this script signals before it has started its program is still a copy of this shell,
# and would run the trap too, removing the folder under the runs still going: only the script
# itself removes it.
main_shell=$BASHPID
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$work"; fi' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

expect_earlier_answer_kept() {
  [ "$(cat "$1/hash_answer.txt")" = "earlier answer" ] || fail "$2: the earlier answer changed"
  local left
  left=$(find "$1" -name '.hash_checker-*' | head -n 1)
  [ -z "$left" ] || fail "$2: a temporary file was left: $left"
}

# A run blocked reading a FIFO input, after its answer file was created, then signalled.
signal_while_reading() {
  local signal=$1 number=$2 dir="$work/signal_$1"
  mkdir -p "$dir" && cd "$dir" || return
  echo "earlier answer" >hash_answer.txt
  mkfifo input
  "$binary" 1 input none </dev/null >console 2>&1 &
  local pid=$!
  exec 3>input
  printf '2\n3 0 0\n3\n\n' >&3
  for _ in $(seq 100); do
    [ -n "$(find . -name '.hash_checker-*')" ] && break
    sleep 0.05
  done
  kill "-$signal" "$pid"
  wait "$pid"
  local status=$?
  exec 3>&-
  [ "$status" -eq $((128 + number)) ] || fail "SIG$signal: status $status, not $((128 + number))"
  expect_earlier_answer_kept "$dir" "SIG$signal"
}

# Many cases piped into a reader that stops after 100 bytes.
broken_pipe() {
  local dir="$work/pipe"
  mkdir -p "$dir" && cd "$dir" || return
  awk 'BEGIN { print 100000; for (c = 0; c < 100000; c++) print "11 0 0\n1 2 3 4 5\n6 7" }' >in.txt
  echo "earlier answer" >hash_answer.txt
  "$binary" 1 in.txt x </dev/null 2>stderr | head -c 100 >/dev/null
  local status=${PIPESTATUS[0]}
  [ "$status" -eq 255 ] || fail "broken pipe: status $status, not 255"
  grep -q 'standard output write failed' stderr || fail "broken pipe: no line on standard error"
  expect_earlier_answer_kept "$dir" "broken pipe"
}

# Two runs at once in one folder: each leaves a whole answer, never a mixture.
two_runs_at_once() {
  local dir="$work/two"
  mkdir -p "$dir" && cd "$dir" || return
  awk 'BEGIN { print 50000; for (c = 0; c < 50000; c++) print "101 0 0\n" c " " 2*c " " 3*c "\n7" }' >in.txt
  "$binary" 1 in.txt x </dev/null >/dev/null && mv hash_answer.txt expected.txt
  "$binary" 1 in.txt x </dev/null >/dev/null &
  local first=$!
  "$binary" 1 in.txt x </dev/null >/dev/null
  local second=$?
  wait "$first"
  local first_status=$?
  [ "$first_status" -eq 0 ] && [ "$second" -eq 0 ] || fail "two runs: statuses $first_status, $second"
  cmp -s hash_answer.txt expected.txt || fail "two runs: the answer file is not one run's whole answer"
  [ -z "$(find . -name '.hash_checker-*')" ] || fail "two runs: a temporary file was left"
}

# Memory follows the keys a line holds, not its bytes: a 2 GiB case count line and a 200 MB line
# of spaces each run within 64 MiB of address space.
long_lines_in_little_memory() {
  local dir="$work/memory"
  mkdir -p "$dir" && cd "$dir" || return
  { head -c $((2 * 1024 * 1024 * 1024 - 1)) /dev/zero | tr '\0' '0'; printf '1\n7 0 0\n10 17 4\n24 3\n'; } >count.txt
  (ulimit -v 65536 && "$binary" 1 count.txt x </dev/null >console) ||
    fail "a 2 GiB count line: status $?: $(head -c 200 console)"
  rm -f count.txt
  { printf '1\n7 0 0\n10 17'; head -c 200000000 /dev/zero | tr '\0' ' '; printf '4\n24 3\n'; } >spaces.txt
  (ulimit -v 65536 && "$binary" 1 spaces.txt x </dev/null >console) ||
    fail "a 200 MB line of spaces: status $?: $(head -c 200 console)"
  [ "$(head -n 1 hash_answer.txt)" = "3 0 0 10 17 4 24" ] || fail "spaces: wrong layout"
}

# A 500 MB line of valid keys against a 7-slot table, fed through a FIFO so that it never
# touches the disk, in a class run with every report and in a single run, under 100 MB of
# address space: the line keeps a bounded number of keys, and its reports say how many it dropped.
huge_line_in_little_memory() {
  local dir="$work/huge_line"
  mkdir -p "$dir" && cd "$dir" || return
  printf '1\n7 0 0\n10 17 4\n24 3\n' >in.txt
  printf '3 0 0 10 17 4 24\n3 0 0 10 4 17 24\n3 24 0 10 4 0 17\n' >right.txt
  mkdir -p r h
  local run
  for run in class single; do
    rm -f huge && mkfifo huge
    { yes 1234567 | tr '\n' ' ' | head -c 500000000; printf '\n3 0 0 10 4 17 24\n3 24 0 10 4 0 17\n'; } >huge &
    local writer=$! status
    if [ "$run" = class ]; then
      (ulimit -v 100000 && "$binary" --gradebook=g.csv --report-dir=r --html-dir=h --explain \
        -- in.txt huge right.txt </dev/null >console 2>&1)
      status=$?
    else
      (ulimit -v 100000 && "$binary" --json=r/single.json --html=h/single.html 0 in.txt huge \
        </dev/null >console 2>&1)
      status=$?
    fi
    # A run that never opened the FIFO leaves its writer waiting to open it.
    kill "$writer" 2>/dev/null
    wait "$writer" 2>/dev/null
    local json=r/huge.json page=h/huge.html
    [ "$run" = single ] && json=r/single.json page=h/single.html
    [ "$status" -eq 0 ] || fail "$run run of a 500 MB line: status $status: $(head -c 300 console)"
    [ "$(wc -c <"$json")" -lt 65536 ] || fail "$run run of a 500 MB line: the report is $(wc -c <"$json") bytes"
    [ "$(wc -c <"$page")" -lt 262144 ] || fail "$run run of a 500 MB line: the page is $(wc -c <"$page") bytes"
    grep -q '"truncated_keys":62498976' "$json" || fail "$run run of a 500 MB line: no truncated_keys in the report"
    grep -q '62,498,976 more were read and dropped' "$page" || fail "$run run of a 500 MB line: the page does not say so"
  done
  grep -q '^huge,2,3,66,graded' g.csv || fail "a 500 MB line in a class: its row: $(cat g.csv)"
}

# A class run's files appear as a set: a run cut short by a signal at any moment leaves every
# file of the previous run as it was, or (once it is renaming them) every file of the new run,
# and never a temporary file. Every third try starts without the report folders, which the run
# then writes as staging folders renamed into place whole: they appear with the rest or not at
# all, and no staging folder is left.
class_run_signalled() {
  local dir="$work/class_signal"
  mkdir -p "$dir/subs" && cd "$dir" || return
  printf '1\n7 0 0\n10 17 4\n24 3\n' >in.txt
  local i
  for i in $(seq 30); do printf '3 0 0 10 17 4 24\n3 0 0 10 4 17 24\n3 24 0 10 4 0 17\n' >"subs/s$i"; done
  local run=("$binary" --gradebook=out/g.csv --answer-file=out/answer.txt --report-dir=out/r
    --html-dir=out/h -- in.txt subs)
  "${run[@]}" </dev/null >/dev/null && mv out old
  for i in $(seq 30); do printf '3 0 0 10 17 4 24\n3 0 0\n3 24\n' >"subs/s$i"; done
  "${run[@]}" </dev/null >/dev/null && mv out new
  [ -d old ] && [ -d new ] || { fail "class run: the two whole runs failed"; return; }
  cp -a old bare && rm -rf bare/r bare/h
  local try mixed=0 left=0 first_mixed="" start
  for try in $(seq 50); do
    start=$([ $((try % 3)) -eq 0 ] && echo bare || echo old)
    rm -rf out && cp -a "$start" out
    "${run[@]}" </dev/null >/dev/null 2>&1 &
    local pid=$!
    sleep "0.0$((RANDOM % 4))$((RANDOM % 10))"
    kill "-$([ $((try % 2)) -eq 0 ] && echo INT || echo TERM)" "$pid" 2>/dev/null
    wait "$pid"
    [ -z "$(find out -name '.hash_checker-*')" ] || left=$((left + 1))
    if ! diff -rq "$start" out >/dev/null && ! diff -rq new out >/dev/null; then
      mixed=$((mixed + 1))
      # What differs, and from where, so that a failure seen once can be followed up.
      [ -n "$first_mixed" ] || first_mixed="try $try in $(pwd): $(diff -rq new out 2>&1 | head -n 3)"
    fi
  done
  [ "$left" -eq 0 ] || fail "class run signalled: temporary files left in $left of 50 tries"
  [ "$mixed" -eq 0 ] || fail "class run signalled: old and new files mixed in $mixed of 50 tries; $first_mixed"
}

# Workers grade only a few submissions ahead of the last row printed: while the first submission
# is a FIFO nobody writes to, the other 60 wait instead of piling up their reports (and their
# --explain lines) in memory.
stalled_first_submission() {
  local dir="$work/stalled"
  mkdir -p "$dir/subs" && cd "$dir" || return
  printf '1\n7 0 0\n10 17 4\n24 3\n' >in.txt
  mkfifo first
  local i
  for i in $(seq 60); do printf '3 0 0\n3\n1\n' >"subs/s$i"; done
  "$binary" --gradebook=g.csv --report-dir=r --explain -- in.txt first subs </dev/null >console 2>&1 &
  local pid=$!
  sleep 0.5
  local ahead
  # r is a staging folder beside it until the run ends.
  ahead=$(find . -type f \( -path './r/*' -o -path './.hash_checker-*/*' \) | wc -l)
  [ "$ahead" -le 6 ] || fail "stalled first submission: $ahead reports begun while it waited"
  printf '3 0 0 10 17 4 24\n3 0 0 10 4 17 24\n3 24 0 10 4 0 17\n' >first
  wait "$pid"
  local status=$?
  [ "$status" -eq 0 ] || fail "stalled first submission: status $status"
  [ "$(find r -name '*.json' | wc -l)" -eq 62 ] || fail "stalled first submission: reports missing"
}

# A class whose table fits in memory while grading a submission against it with --explain does
# not: each submission gets its own "not graded: out of memory" row, and the class still ends
# with its gradebook instead of "Out of memory" for the whole run.
submissions_beyond_memory() {
  local dir="$work/beyond"
  mkdir -p "$dir" && cd "$dir" || return
  { printf '1\n1000003 0 0\n'; seq 1 1000000 | tr '\n' ' '; printf '\n\n'; } >in.txt
  printf '1 2 3\n\n\n' >a.txt
  cp a.txt b.txt
  (ulimit -v 100000 && "$binary" --gradebook=g.csv --no-answer-file --explain -- in.txt a.txt b.txt \
    </dev/null >console 2>&1)
  local status=$?
  [ "$status" -eq 1 ] || fail "submissions beyond memory: status $status: $(tail -n 2 console)"
  [ "$(grep -c 'not graded: out of memory' g.csv 2>/dev/null)" = 2 ] ||
    fail "submissions beyond memory: no row says so: $(cat g.csv 2>/dev/null)"
}

signal_while_reading INT 2
signal_while_reading TERM 15
signal_while_reading HUP 1
broken_pipe
two_runs_at_once
class_run_signalled
stalled_first_submission
if [ "$sanitized" = --sanitized ]; then
  echo "skipped: the memory limit test (sanitizers reserve more address space than it allows)"
else
  long_lines_in_little_memory
  huge_line_in_little_memory
  submissions_beyond_memory
fi
echo "interruption tests: $failures failed"
[ "$failures" -eq 0 ]
