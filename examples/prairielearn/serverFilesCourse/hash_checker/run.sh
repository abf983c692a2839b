#!/usr/bin/env bash
# PrairieLearn's external grader runs this for every submission (externalGradingOptions in the
# question's info.json): it grades the student's output.txt against the question's
# tests/hash_input.txt and writes results.json, one test per case.

# What students see of the answer key: all (every expected layout), diagnosis (their own lines,
# verdicts, where a Wrong line first differs and the named mistake, but no expected layout),
# verdict (Right or Wrong per line) or score (the totals alone).
REVEAL=diagnosis

set -uo pipefail
# PrairieLearn mounts everything under /grade; GRADE_ROOT stands in for it in a local try.
root=${GRADE_ROOT:-/grade}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
results=$root/results/results.json
mkdir -p "$root/results"

# A results.json PrairieLearn shows when there is nothing to grade with: not counted against
# the student.
give_up() {
  printf '{"gradable": false, "score": 0, "message": "%s", "output": "", "tests": []}\n' "$1" \
    >"$results"
  exit 0
}

# The checker: $HASH_CHECKER, else hash_checker on PATH, else one built beside this script
# (hash_checker), else one built now from the source copied beside it (source/).
find_checker() {
  if [ -n "${HASH_CHECKER:-}" ]; then echo "$HASH_CHECKER"; return; fi
  if command -v hash_checker >/dev/null 2>&1; then command -v hash_checker; return; fi
  if [ -x "$here/hash_checker" ]; then echo "$here/hash_checker"; return; fi
  [ -d "$here/source" ] || return
  local built=/tmp/hash_checker_build/hash_checker
  mkdir -p "${built%/*}"
  g++ -std=c++20 -O2 -DNDEBUG -I"$here/source" -pthread \
    "$here"/source/{hashing,checker,render,app}/*.cpp -o "$built" >&2 && echo "$built"
}
checker=$(find_checker)
[ -n "$checker" ] || give_up "The grader has no hash_checker: see the kit's README."

# Status 1, 3 or 255 is a verdict on the submission, written into results.json like any other.
"$checker" 0 "$root/tests/hash_input.txt" "$root/student/output.txt" --no-answer-file \
  --reveal="$REVEAL" --prairielearn="$results" </dev/null >/dev/null 2>&1
[ -s "$results" ] || give_up "The checker wrote no results."
