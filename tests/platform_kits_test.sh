#!/usr/bin/env bash
# The GitHub Classroom, PrairieLearn and VPL kits in examples/, each run the way its platform runs
# it (a temporary GITHUB_OUTPUT, a temporary GRADE_ROOT, a VPL-shaped folder), and what each
# hands its platform read back the way the platform reads it.
#   tests/platform_kits_test.sh HASH_CHECKER EXAMPLES_DIR PYTHON CHECK_REPORTS SCHEMA
set -euo pipefail
binary=$1
examples=$(cd "$2" && pwd)
python=$3
check_reports=$4
schema=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
export HASH_CHECKER=$binary
# check_reports.py names the Debian package it needs when it is missing; then skip.
if ! missing=$("$python" "$check_reports" --schema "$schema"); then
  echo "$missing"
  exit 77
fi
for script in github-classroom/.github/classroom/grade.sh prairielearn/serverFilesCourse/hash_checker/run.sh \
  vpl/vpl_evaluate.sh vpl/build_static.sh; do
  bash -n "$examples/$script" || fail "$script does not parse"
done
for kit in github-classroom prairielearn/tests prairielearn/clientFilesQuestion vpl; do
  cmp -s "$examples/class/hash_input.txt" "$examples/$kit/hash_input.txt" ||
    fail "$kit/hash_input.txt is not the class example's input"
done
# bob.txt scores 9 of 12 lines against that input, and its Wrong lines' expected layouts are the
# lines of alice.txt it lacks: none may show at the kits' reveal level, diagnosis.
hidden=$(grep -vxFf "$examples/class/bob.txt" "$examples/class/alice.txt")
[ -n "$hidden" ] || fail "bob.txt has no Wrong line to hide"
no_layout_in() {
  while IFS= read -r layout; do
    ! grep -qF -- "$layout" "$1" || fail "$2 shows the expected layout $layout"
  done <<<"$hidden"
}

# GitHub Classroom: the workflow's job, permissions and reporter step, then the step's script in
# a checkout of the student's repository; the reporter reads <ID>_RESULTS for each runner id.
workflow=$examples/github-classroom/.github/workflows/classroom.yml
for line in '  run-autograding-tests:' '  checks: write' \
  '        uses: classroom-resources/autograding-grading-reporter@v1' \
  '          HASH_TABLES_RESULTS: "${{ steps.hash_tables.outputs.result }}"' \
  '          runners: hash_tables' '        id: hash_tables' '        run: bash .github/classroom/grade.sh'; do
  grep -qxF -- "$line" "$workflow" || fail "classroom.yml lacks: $line"
done
repo=$work/repo
cp -R "$examples/github-classroom" "$repo"
cp "$examples/class/bob.txt" "$repo/hash_output.txt"
: >"$work/github_output"
(cd "$repo" && GITHUB_OUTPUT=$work/github_output REVEAL=diagnosis bash .github/classroom/grade.sh) ||
  fail "grade.sh failed"
HASH_TABLES_RESULTS=$(sed -n 's/^result=//p' "$work/github_output")
[ -n "$HASH_TABLES_RESULTS" ] || fail "grade.sh set no result: $(cat "$work/github_output")"
export HASH_TABLES_RESULTS
"$python" - hash_tables "$work/classroom.json" <<'PY' || fail "the reporter can't read the result"
import base64, json, os, sys
runners, saved = sys.argv[1:]
score = most = 0
for runner in runners.split(","):
    raw = base64.b64decode(os.environ[runner.strip().upper() + "_RESULTS"], validate=True)
    result = json.loads(raw)
    score += sum(test["score"] for test in result["tests"])
    most += result["max_score"]
    open(saved, "wb").write(raw)
assert (score, most) == (9, 12), (score, most)
PY
"$python" "$check_reports" --schema "$schema" --github-classroom "$work/classroom.json" >/dev/null ||
  fail "$("$python" "$check_reports" --schema "$schema" --github-classroom "$work/classroom.json")"
no_layout_in "$work/classroom.json" "GitHub Classroom's result"

# PrairieLearn: /grade as the external grader mounts it, the question's tests/ included.
pl_try() {
  local root=$work/$1
  mkdir -p "$root/student" "$root/serverFilesCourse"
  cp -R "$examples/prairielearn/tests" "$root/tests"
  cp -R "$examples/prairielearn/serverFilesCourse/hash_checker" "$root/serverFilesCourse/"
  [ -z "$2" ] || cp "$2" "$root/student/output.txt"
  GRADE_ROOT=$root "$root/serverFilesCourse/hash_checker/run.sh" || fail "run.sh failed"
  "$python" "$check_reports" --schema "$schema" --prairielearn "$root/results/results.json" \
    >/dev/null || fail "$1: $(cat "$root/results/results.json")"
}
"$python" -c 'import json, sys
info = json.load(open(sys.argv[1]))
grading = info["externalGradingOptions"]
assert info["gradingMethod"] == "External" and grading["enabled"], info
assert grading["entrypoint"] == "/grade/serverFilesCourse/hash_checker/run.sh", grading
assert "hash_checker/" in grading["serverFilesCourse"] and grading["image"] and grading["timeout"]
' "$examples/prairielearn/info.json" || fail "info.json does not run the grader"
grep -q '<pl-file-upload file-names="output.txt">' "$examples/prairielearn/question.html" &&
  grep -q '<pl-external-grader-results>' "$examples/prairielearn/question.html" ||
  fail "question.html lacks the upload of output.txt or the grader's results"
pl_try graded "$examples/class/bob.txt"
"$python" -c 'import json, sys
results = json.load(open(sys.argv[1]))
assert results["gradable"] and results["score"] == 0.75 and len(results["tests"]) == 4, results
' "$work/graded/results/results.json" || fail "$(cat "$work/graded/results/results.json")"
no_layout_in "$work/graded/results/results.json" "PrairieLearn's results"
pl_try nothing ""
grep -q '"gradable":false' "$work/nothing/results/results.json" ||
  fail "no output.txt is gradable: $(cat "$work/nothing/results/results.json")"

# VPL: the evaluation folder holds the student's file, the execution files and VPL's own scripts.
vpl=$work/vpl
mkdir -p "$vpl"
cp "$examples/vpl/vpl_evaluate.sh" "$examples/vpl/hash_input.txt" "$vpl/"
cp "$examples/class/bob.txt" "$vpl/hash_output.txt"
printf '#!/bin/bash\nexport VPL_SUBFILES="hash_output.txt"\nexport VPL_GRADEMAX=20.00000\n' \
  >"$vpl/vpl_environment.sh"
printf '#!/bin/bash\n. vpl_environment.sh\n' >"$vpl/common_script.sh"
(cd "$vpl" && bash vpl_evaluate.sh) || fail "vpl_evaluate.sh failed"
[ -x "$vpl/vpl_execution" ] || fail "vpl_evaluate.sh wrote no executable vpl_execution"
(cd "$vpl" && ./vpl_execution >"$vpl/shown") || fail "vpl_execution failed"
# VPL takes the last Grade line; every other line is a comment (or plain output).
grade=$(sed -n 's/^Grade :=>>//p' "$vpl/shown" | tail -1 | tr -d ' ')
[ "$grade" = 15 ] || fail "VPL's grade is '$grade', not 15 (75 of 20): $(cat "$vpl/shown")"
[ "$(grep -c '^Comment :=>>Case .*: Wrong' "$vpl/shown")" = 3 ] ||
  fail "not a comment per Wrong line: $(cat "$vpl/shown")"
no_layout_in "$vpl/shown" "VPL's comments"
echo "the GitHub Classroom, PrairieLearn and VPL kits passed"
