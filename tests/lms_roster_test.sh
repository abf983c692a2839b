#!/usr/bin/env bash
# Each system's roster in examples/lms against its class of downloads: the import file written
# byte for byte as tests/lms holds it, the submission nobody owns and the student without one
# listed on standard error and in the summary; a broken roster stops the run before anything is
# written, and an import file that can't be written keeps the whole run's files from appearing.
#   tests/lms_roster_test.sh HASH_CHECKER EXAMPLES_DIR EXPECTED_DIR
set -euo pipefail
binary=$1
examples=$(cd "$2" && pwd)
expected=$(cd "$3" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
cd "$examples/lms"

# system, --assignment (none when empty), the lines it must print on standard error
check() {
  local system=$1 status=0
  local options=(--points=20)
  [ -z "$2" ] || options+=("--assignment=$2")
  shift 2
  "$binary" --gradebook="$work/$system-grades.csv" --roster="$system.csv" \
    --lms-csv="$work/$system.csv" --no-answer-file "${options[@]}" ../class/hash_input.txt \
    "$system/" >"$work/console" 2>"$work/errors" || status=$?
  [ "$status" = 0 ] || fail "$system: status $status: $(cat "$work/console" "$work/errors")"
  cmp "$work/$system.csv" "$expected/$system.csv" || fail "$system: the import file differs"
  for line in "$@"; do
    grep -qxF "hash_checker: $line" "$work/errors" || fail "$system: no '$line' on standard error"
    grep -qxF "  $line" "$work/console" || fail "$system: no '$line' under the summary"
  done
  [ "$(wc -l <"$work/errors")" = $# ] || fail "$system: more on standard error: $(cat "$work/errors")"
}

check canvas "Hash Tables" \
  "no student in the roster for canvas/hash_output (1).txt" \
  "no submission from Dodgson, Dave (ID 104)"
check moodle "" \
  "no student in the roster for moodle/hash_output.txt" \
  "no submission from Carol Carroll (Participant 9)"
check blackboard 4401 \
  "no student in the roster for blackboard/Hash Tables_zoe_attempt_2026-12-07-22-00-00_hash_output.txt" \
  "no submission from Carol Carroll (Username ccarroll)"

# A roster that is not one: one line naming the file, line and token, status 255, nothing written.
printf 'Student,ID,SIS User ID,SIS Login ID,Section\n"Lee, Amy",1,2\n' >"$work/ragged.csv"
status=0
"$binary" --gradebook="$work/none.csv" --roster="$work/ragged.csv" ../class/hash_input.txt \
  canvas/ >"$work/console" 2>&1 || status=$?
[ "$status" = 255 ] || fail "a ragged roster ended with $status"
[ "$(cat "$work/console")" = "Roster $work/ragged.csv line 2: 3 fields where the header has 5, beginning \"Lee, Amy\"" ] ||
  fail "a ragged roster said: $(cat "$work/console")"
[ ! -e "$work/none.csv" ] || fail "a ragged roster let the gradebook be written"

# An import file that can't be written: status 255, and neither it nor the gradebook appears.
status=0
"$binary" --gradebook="$work/kept.csv" --roster=canvas.csv --lms-csv="$work/missing/x.csv" \
  --assignment=5501 --no-answer-file ../class/hash_input.txt canvas/ >"$work/console" 2>&1 ||
  status=$?
[ "$status" = 255 ] || fail "an unwritable import file ended with $status"
grep -qxF "LMS CSV $work/missing/x.csv open failed" "$work/console" || fail "no open failed line"
[ ! -e "$work/kept.csv" ] || fail "the gradebook appeared without the import file"
echo "every roster round trip passed"
