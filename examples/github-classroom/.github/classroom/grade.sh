#!/usr/bin/env bash
# The one grading step of the GitHub Classroom workflow: grades the student's hash_output.txt
# against hash_input.txt (both at the repository's root) and sets the step's output `result` to
# the base64 of the checker's --github-classroom report, which the grading reporter reads.
#
# REVEAL (set in the workflow; diagnosis here when unset): what students see of the answer key.
# The checker is $HASH_CHECKER when set, else hash_checker on PATH, else the one the workflow
# built in .hash_checker/build. The transcript is not printed: the Actions log is the student's
# to read, and it holds every expected layout.
set -uo pipefail
reveal=${REVEAL:-diagnosis}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
checker=${HASH_CHECKER:-$(command -v hash_checker || echo "$root/.hash_checker/build/hash_checker")}
report=$(mktemp)
trap 'rm -f "$report"' EXIT

# Status 1, 3 or 255 is a verdict on the submission, written into the report like any other;
# only a report that was not written is the step's own failure.
"$checker" 0 "$root/hash_input.txt" "$root/hash_output.txt" --no-answer-file \
  --reveal="$reveal" --github-classroom="$report" </dev/null >/dev/null 2>&1
if [ ! -s "$report" ]; then
  echo "grade.sh: the checker ($checker) wrote no report" >&2
  exit 1
fi
echo "result=$(base64 -w 0 <"$report")" >>"${GITHUB_OUTPUT:?GITHUB_OUTPUT names the step output file}"
