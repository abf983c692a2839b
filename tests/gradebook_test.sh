#!/usr/bin/env bash
# A class graded in one run gives every submission what a checking run of that file alone gives:
# the same Success/All and score, the same failure line and the same JSON report, byte for byte.
# Three runs of the same class write the same bytes, however the two workers share the work.
#   tests/gradebook_test.sh HASH_CHECKER EXAMPLES_DIR
set -euo pipefail
binary=$1
examples=$(cd "$2" && pwd)
work=$(mktemp -d)
# A job this script signals before it has started its program is still a copy of this shell,
# and would run the trap too, removing the folder under the runs still going: only the script
# itself removes it.
main_shell=$BASHPID
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$work"; fi' EXIT
cd "$work"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# check_rows INPUT CSV REPORTS PAGES: each row of CSV against a checking run of its file alone, the
# row's report in REPORTS against that run's --json and its page in PAGES against that run's --html
# (which lacks only the link to the class page, on a line of its own; submissions here have
# distinct base names).
check_rows() {
  local input=$1 csv=$2 reports=$3 pages=$4 path right all score state rest status
  tail -n +2 "$csv" | while IFS=, read -r path right all score state rest; do
    status=0
    "$binary" 0 "$input" "$path" --no-answer-file --json=single.json --html=single.html \
      </dev/null >single.txt || status=$?
    if [ "$state" = graded ] || [ "$state" = empty ] || [ "$state" = unreadable ] ||
      [ "$state" = transcript ]; then
      grep -qxF "Success/All: $right/$all:" single.txt ||
        fail "$path: the checking run (status $status) is not $right/$all: $(tail -c 300 single.txt)"
      grep -qxF "Score: $score:" single.txt || fail "$path: the checking run does not score $score"
    else
      [ "$status" = 255 ] || fail "$path: the checking run ended with $status"
      grep -qxF "Output File $path $state" single.txt || fail "$path: the checking run did not say $state"
    fi
    cmp -s single.json "$reports/$(basename "$path").json" || fail "$path: its report differs"
    local page="$pages/$(basename "$path").html"
    grep -qxF '<nav class="class-link"><a href="index.html">'$'\xe2\x86\x90'' Class report</a></nav>' "$page" ||
      fail "$path: its page has no link to the class page"
    grep -vF '<nav class="class-link">' "$page" | cmp -s single.html - || fail "$path: its page differs"
  done
}

echo "== The shipped class"
cp -r "$examples/class" class
status=0
"$binary" --gradebook=grades.csv --no-answer-file --report-dir=class_reports --html-dir=class_pages \
  class/hash_input.txt class/alice.txt class/bob.txt class/carol.txt class/dave.txt class/late \
  >/dev/null || status=$?
[ "$status" = 1 ] || fail "the shipped class ended with $status, not 1"
[ "$(wc -l <grades.csv)" = 7 ] || fail "the shipped class has not six rows"
check_rows class/hash_input.txt grades.csv class_reports class_pages
[ "$(grep -c '<a href=' class_pages/index.html)" = 5 ] || fail "the class page has not five links"

echo "== A generated class, three times"
awk 'BEGIN { srand(5); print 30; for (c = 0; c < 30; c++) { m = 7 + c; print m " 0 0";
  n = int(rand() * m); for (i = 0; i < n; i++) printf "%d ", int(rand() * 1000); printf "\n";
  n = int(rand() * 3); for (i = 0; i < n; i++) printf "%d ", int(rand() * 1000); printf "\n" } }' >input.txt
"$binary" 1 input.txt none --answer-file=answer.txt </dev/null >/dev/null
mkdir subs
# Each submission spoils the answer its own way: swapped keys, a missing or an extra line, a bad
# token, lenient tokens, CR LF line ends, or an early end.
for i in $(seq 1 40); do
  awk -v seed="$i" 'BEGIN { srand(seed); stop = seed % 7 == 0 ? 40 + seed : 1000 }
    NR > stop { exit }
    { r = rand() }
    r < 0.1 && NF > 1 { t = $1; $1 = $2; $2 = t }
    r >= 0.1 && r < 0.13 { next }
    r >= 0.13 && r < 0.16 { print }
    r >= 0.16 && r < 0.19 { $1 = "x" $1 }
    r >= 0.19 && r < 0.22 { $1 = "+0" $1 }
    seed % 5 == 0 { printf "%s\r\n", $0; next }
    { print }' answer.txt >"subs/s$(printf %02d "$i").txt"
done
for run in 1 2 3; do
  status=0
  "$binary" --gradebook=grades.csv --report-dir=reports --html-dir=pages --no-answer-file --explain \
    input.txt subs \
    missing.txt /proc/self/mem </dev/null >"console$run.txt" || status=$?
  [ "$status" = 1 ] || fail "run $run ended with $status, not 1"
  mv grades.csv "grades$run.csv"
  mv reports "reports$run"
  mv pages "pages$run"
done
for run in 2 3; do
  cmp -s console1.txt "console$run.txt" || fail "run $run printed other bytes"
  cmp -s grades1.csv "grades$run.csv" || fail "run $run wrote another gradebook"
  diff -r reports1 "reports$run" >/dev/null || fail "run $run wrote other reports"
  diff -r pages1 "pages$run" >/dev/null || fail "run $run wrote other pages"
done
[ "$(wc -l <grades1.csv)" = 43 ] || fail "the generated class has not 42 rows"
check_rows input.txt grades1.csv reports1 pages1
echo "== A class of 300 copies, its folders synced ahead while it is graded"
mkdir copies
for i in $(seq -w 1 300); do cp "$examples/hash_output.txt" "copies/c$i.txt"; done
status=0
"$binary" --gradebook=copies.csv --no-answer-file --report-dir=copy_reports --html-dir=copy_pages \
  "$examples/hash_input.txt" copies </dev/null >copies.txt || status=$?
"$binary" 0 "$examples/hash_input.txt" "$examples/hash_output.txt" --no-answer-file \
  </dev/null >/dev/null || single=$?
[ "$status" = "${single:-0}" ] || fail "the copies ended with $status, not ${single:-0}"
for folder in copy_reports copy_pages; do
  [ "$(find "$folder" -type f | wc -l)" = 301 ] || fail "$folder has not 300 files and its index"
  [ -z "$(find "$folder" -name '.hash_checker-*')" ] || fail "$folder keeps a temporary file"
done
# Every report is the first one but for its name.
for report in copy_reports/c[0-9]*.json copy_pages/c[0-9]*.html; do
  name=$(basename "$report")
  sed "s/${name%%.*}\\.txt/c001.txt/g" "$report" | cmp -s - "$(dirname "$report")/c001.${name#*.}" ||
    fail "$report is not its copy's"
done

echo "== All rows match"
