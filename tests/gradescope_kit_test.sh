#!/usr/bin/env bash
# The Gradescope kit in examples/gradescope: run_autograder in a temporary root laid out like
# /autograder grades the submission against the teacher's input and writes a results.json that
# reads back at the reveal level its one variable sets; a submission of no file still gets one.
#   tests/gradescope_kit_test.sh HASH_CHECKER EXAMPLES_DIR PYTHON
set -euo pipefail
binary=$1
examples=$(cd "$2" && pwd)
python=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
bash -n "$examples/gradescope/setup.sh" || fail "setup.sh does not parse"

# A root as Gradescope lays it out: the zip in source/ (the checker as setup.sh builds it), the
# script copied beside it, the student's files in submission/.
make_root() {
  local root=$work/$1 reveal=$2
  mkdir -p "$root/source/hash_checker/build" "$root/submission"
  cp "$examples/gradescope/run_autograder" "$examples/gradescope/setup.sh" "$root/source/"
  cp "$examples/class/hash_input.txt" "$root/source/"
  cp "$binary" "$root/source/hash_checker/build/hash_checker"
  sed "s/^REVEAL=.*/REVEAL=$reveal/" "$examples/gradescope/run_autograder" >"$root/run_autograder"
  chmod +x "$root/run_autograder"
}

# root, expected score, max score, tests, whether the expected layout of a Wrong line shows
check() {
  local root=$work/$1 submitted
  (cd "$root" && AUTOGRADER_ROOT=$root ./run_autograder >"$root/stdout" 2>&1) ||
    fail "$1: run_autograder failed: $(cat "$root/stdout")"
  submitted=$(find "$root/submission" -type f | head -1)
  "$python" - "$root/results/results.json" "$2" "$3" "$4" "$5" "$examples/class/alice.txt" \
    "${submitted:-/dev/null}" <<'PY' ||
import json, sys
path, score, max_score, tests, shows, answer, submitted = sys.argv[1:]
results = json.load(open(path))
assert results["score"] == float(score), results["score"]
assert results["max_score"] == float(max_score), results["max_score"]
assert len(results.get("tests", [])) == int(tests), len(results.get("tests", []))
text = open(path).read()
# alice.txt is right everywhere: each of its lines is an expected layout. Those the submission
# got wrong are the answer key a student must not see below "all".
expected = [line.split() for line in open(answer)]
handed_in = [line.split() for line in open(submitted)] + [[]] * len(expected)
wrong = [" ".join(e) for e, s in zip(expected, handed_in) if e != s and len(e) > 3]
found = [layout for layout in wrong if layout in text]
assert bool(found) == (shows == "yes"), found
PY
    fail "$1: $(cat "$root/results/results.json")"
}

make_root all all
cp "$examples/class/bob.txt" "$work/all/submission/hash_output.txt"
check all 9 12 4 yes

make_root diagnosis diagnosis
cp "$examples/class/bob.txt" "$work/diagnosis/submission/my answer.txt"
check diagnosis 9 12 4 no

make_root score score
cp "$examples/class/carol.txt" "$work/score/submission/hash_output.txt"
check score 10 12 0 no

make_root nothing diagnosis
check nothing 0 0 0 no
grep -q 'hash_output.txt open failed' "$work/nothing/results/results.json" ||
  fail "an empty submission's results do not say the file is missing"
echo "the Gradescope kit passed"
