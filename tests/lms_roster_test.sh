#!/usr/bin/env bash
# Each system's roster in examples/lms against its class of downloads: the import file written
# byte for byte as tests/lms holds it, every student without a grade and every download astray
# under the summary (and nowhere else), status 1 for a download that went to nobody; a broken
# roster, a grade column or points the export contradicts and an output over a download or a
# variant stop the run before anything is written, and an import file that can't be written keeps
# the whole run's files from appearing.
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

# system, --assignment (none when empty), the lines it must print under the summary
check() {
  local system=$1 status=0
  local options=()
  [ -z "$2" ] || options+=("--assignment=$2")
  shift 2
  "$binary" --gradebook="$work/$system-grades.csv" --roster="$system.csv" \
    --lms-csv="$work/$system.csv" --no-answer-file "${options[@]}" ../class/hash_input.txt \
    "$system/" >"$work/console" 2>"$work/errors" || status=$?
  [ "$status" = 1 ] || fail "$system: status $status: $(cat "$work/console" "$work/errors")"
  cmp "$work/$system.csv" "$expected/$system.csv" || fail "$system: the import file differs"
  sed -n '/^roster   /,$p' "$work/console" | tail -n +2 >"$work/notes"
  printf '  %s\n' "$@" | cmp - "$work/notes" || fail "$system: the roster lines differ: $(cat "$work/notes")"
  [ ! -s "$work/errors" ] || fail "$system: standard error holds $(cat "$work/errors")"
}

check canvas "Hash Tables" \
  "Dodgson, Dave (ID 104): no submission" \
  "canvas/hash_output (1).txt: not matched: not a Canvas download name (namepart_ID_number_file)"
check moodle "" \
  "Dave Dodgson (Participant 10): not graded: 2 files, none picked (use --pick=GLOB)" \
  "moodle/hash_output.txt: not matched: not a Moodle download name (Full Name_N_assignsubmission_...)"
grep -qxF "  not graded: 2 files, none picked (use --pick=GLOB)" "$work/console" ||
  fail "no note under the folder's row"
check blackboard 4401 \
  "Carol Carroll (username ccarroll): no submission" \
  "blackboard/Hash Tables_zoe_attempt_2026-12-07-22-00-00_hash_output.txt: not matched: no student has the username zoe"

# --pick names the file of a folder of several; the roster comes from standard input.
"$binary" --gradebook="$work/picked.csv" --roster=- --lms-csv="$work/picked-import.csv" \
  --pick='hash_output.txt' --no-answer-file ../class/hash_input.txt moodle/ <moodle.csv \
  >"$work/console" 2>&1 || true
grep -q '^Participant 10,Dave Dodgson,.*,6.67,20.00,' "$work/picked-import.csv" ||
  fail "--pick: Dave has no grade of 6.67 (4 of 12 lines on 20 points): $(cat "$work/picked-import.csv")"

# Refusals before anything is written: status, the line, no gradebook.
refused() {
  local status_wanted=$1 line=$2 status=0
  shift 2
  "$binary" --gradebook="$work/none.csv" --no-answer-file "$@" >"$work/console" 2>&1 || status=$?
  [ "$status" = "$status_wanted" ] || fail "$*: status $status: $(cat "$work/console")"
  grep -qF -- "$line" "$work/console" || fail "$*: said $(cat "$work/console")"
  [ ! -e "$work/none.csv" ] || fail "$*: the gradebook was written"
}
printf 'Student,ID,SIS User ID,SIS Login ID,Section\n"Lee, Amy",1,2\n' >"$work/ragged.csv"
refused 255 "Roster $work/ragged.csv line 2: 3 fields where the header has 5, beginning \"Lee, Amy\"" \
  --roster="$work/ragged.csv" ../class/hash_input.txt canvas/
refused 255 "Roster canvas: read failed at line 1" --roster=canvas ../class/hash_input.txt canvas/
refused 255 "Roster $work/absent.csv open failed" --roster="$work/absent.csv" ../class/hash_input.txt canvas/
printf 'Student,ID\n"a' >"$work/open.csv"
refused 255 'Roster standard input line 2: a quoted field that is never closed "a"' --roster=- \
  ../class/hash_input.txt canvas/ <"$work/open.csv"
refused 2 "standard input can be read once: '-' may be INPUT or the roster, not both" --roster=- - canvas/
refused 2 'no grade column is called "Hash Table" (its grade columns: "Hash Tables (5501)", "Quiz 1 (5502)"' \
  --roster=canvas.csv --lms-csv="$work/x.csv" --assignment="Hash Table" ../class/hash_input.txt canvas/
refused 2 "--points=100 disagrees with Canvas canvas.csv, whose Points Possible 20 is the maximum" \
  --roster=canvas.csv --lms-csv="$work/x.csv" --assignment="Hash Tables" --points=100 \
  ../class/hash_input.txt canvas/
refused 2 'gives no maximum for "Lab 2"; give it with --points=N' \
  --roster=canvas.csv --lms-csv="$work/x.csv" --new-column="Lab 2" ../class/hash_input.txt canvas/
refused 2 "option '--new-column' holds the control byte \\x1b" \
  --roster=canvas.csv --lms-csv="$work/x.csv" --new-column=$'Lab\e[2J' ../class/hash_input.txt canvas/
cp -r canvas "$work/downloads"
victim="$work/downloads/liddellalice_101_9001_hash_output.txt"
refused 255 "LMS CSV $victim is the output file $victim; nothing was written" \
  --roster=canvas.csv --lms-csv="$victim" --assignment=5501 ../class/hash_input.txt "$work/downloads/"
cmp "$victim" canvas/liddellalice_101_9001_hash_output.txt || fail "the download was overwritten"
# With one input per student, a variant read is guarded like a download.
"$binary" --make-variants="$work/variants" --roster=canvas.csv --cases=1 >/dev/null
variant=$(find "$work/variants" -name '*.txt' | sort | head -n 1)
cp "$variant" "$work/variant.kept"
refused 255 "LMS CSV $variant is the Variant $variant; nothing was written" \
  --roster=canvas.csv --variant-dir="$work/variants" --lms-csv="$variant" --assignment=5501 canvas/
cmp "$variant" "$work/variant.kept" || fail "the variant was overwritten"

# An import file that can't be written: status 255, and neither it nor the gradebook appears.
status=0
"$binary" --gradebook="$work/kept.csv" --roster=canvas.csv --lms-csv="$work/missing/x.csv" \
  --assignment=5501 --no-answer-file ../class/hash_input.txt canvas/ >"$work/console" 2>&1 ||
  status=$?
[ "$status" = 255 ] || fail "an unwritable import file ended with $status"
grep -qxF "LMS CSV $work/missing/x.csv open failed" "$work/console" || fail "no open failed line"
[ ! -e "$work/kept.csv" ] || fail "the gradebook appeared without the import file"
echo "every roster round trip passed"
