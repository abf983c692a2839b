#!/usr/bin/env bash
# One input per student, end to end: variants that stay byte for byte the same when the roster
# gains, loses or reorders students, that share no layout line and that --audit passes; an
# existing folder refused and one student made again without touching another file; a broken
# variants list or a folder that can't be written leaving nothing behind; and a class graded
# against each student's own variant, a copied answer named in the class summary alone.
#   tests/one_input_per_student_test.sh HASH_CHECKER EXAMPLES_DIR
set -euo pipefail
binary=$1
examples=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
roster() {  # roster FILE ID... : a plain roster of those ids
  local file=$1
  shift
  { echo "name,id"; for id in "$@"; do echo "Student $id,$id"; done; } >"$file"
}

echo "== Stable under roster changes"
roster thirty.csv $(seq -f 's%g' 1 30)
roster changed.csv s31 $(seq -f 's%g' 30 -1 3) s32 s33   # s1, s2 gone; reordered; three new
"$binary" --make-variants=v1 --roster=thirty.csv --answer-dir=a1 --cases=2 >/dev/null
"$binary" --make-variants=v2 --roster=changed.csv --cases=2 >/dev/null
for n in $(seq 3 30); do
  cmp -s "v1/s$n.txt" "v2/s$n.txt" || fail "s$n's variant changed with the roster"
done
[ -e v2/s1.txt ] && fail "a student no longer on the roster got a variant"
[ "$(wc -l <v2/variants.csv)" = 32 ] || fail "variants.csv has not a row per student"
grep -qx 's31,Student s31,s31.txt,[0-9]*,clean' <(tr -d '\r' <v2/variants.csv) ||
  fail "no clean row for s31: $(head -3 v2/variants.csv)"

echo "== Every variant audits clean; no two share a layout line"
for f in v1/s*.txt; do
  "$binary" --audit "$f" >/dev/null || fail "$f does not audit clean"
done
shared=$(for f in a1/*.txt; do sort -u "$f"; done | sort | uniq -d)
[ -z "$shared" ] || fail "two variants share the layout line $shared"

echo "== An existing folder is refused; --only makes one again and nothing else"
find v1 -type f -exec md5sum {} + | sort >before
status=0
"$binary" --make-variants=v1 --roster=thirty.csv 2>err >/dev/null || status=$?
[ "$status" = 2 ] || fail "an existing folder gave status $status"
grep -q 'exists; --overwrite' err || fail "the refusal does not say why: $(cat err)"
rm v1/s7.txt
"$binary" --make-variants=v1 --roster=thirty.csv --cases=2 --only=s7 >/dev/null
find v1 -type f -exec md5sum {} + | sort | cmp -s - before ||
  fail "--only changed another file or made s7 differently"
roster more.csv $(seq -f 's%g' 1 31)
"$binary" --make-variants=v1 --roster=more.csv --cases=2 --only=s31 >/dev/null
[ "$(tail -n 1 v1/variants.csv | cut -d, -f1)" = s31 ] || fail "s31's row was not added"
status=0
"$binary" --make-variants=v1 --roster=more.csv --only=s99 2>err >/dev/null || status=$?
[ "$status" = 2 ] || fail "an --only no student has gave status $status"

echo "== A broken list or a folder that can't be written leaves nothing behind"
cp v1/variants.csv list.keep
printf 'id,name,file,seed,audit\r\nx,y,../../evil.txt,1,clean\r\n' >v1/variants.csv
find v1 -type f -exec md5sum {} + | sort >before
status=0
"$binary" --make-variants=v1 --roster=more.csv --only=s5 >out || status=$?
[ "$status" = 255 ] || fail "a broken variants list gave status $status"
grep -q 'variants.csv line 2: not a row of a variants list' out || fail "$(cat out)"
find v1 -type f -exec md5sum {} + | sort | cmp -s - before || fail "a file changed after all"
cp list.keep v1/variants.csv
touch not_a_folder
status=0
"$binary" --make-variants=v3 --roster=thirty.csv --answer-dir=not_a_folder/answers >out 2>&1 || status=$?
[ "$status" = 255 ] || fail "an answer folder under a file gave status $status"
[ ! -e v3 ] || fail "the variants folder was left behind: $(ls v3 | head -3)"

echo "== A class graded against its own variants"
mkdir subs
cp a1/s1.txt subs/s1.txt                  # right
cp a1/s3.txt subs/s2.txt                  # s3's answer, handed in by s2
head -n 2 a1/s4.txt >subs/s4.txt          # a line short
printf '1 2 3\n' >subs/s5.out.txt         # wrong
cp a1/s1.txt subs/nobody.txt              # no such student
cp a1/s6.txt subs/s6.txt && rm v1/s6.txt  # no variant
status=0
"$binary" --gradebook=grades.csv --roster=more.csv --variant-dir=v1 --report-dir=reports \
  --html-dir=pages --lms-csv=import.csv --new-column=Hashing --points=10 -- subs/ >console ||
  status=$?
[ "$status" = 1 ] || fail "the class gave status $status"
tr -d '\r' <grades.csv >grades
head -n 1 grades | grep -q ',student,input$' || fail "no input column: $(head -n 1 grades)"
grep -Eq '^subs/s1.txt,([0-9]+),\1,100,graded,.*,v1/s1.txt$' grades || fail "s1: $(grep s1 grades)"
grep -q '^subs/s2.txt,0,[0-9]*,0,graded,.*,v1/s2.txt$' grades || fail "s2: $(grep s2 grades)"
grep -q '^subs/s5.out.txt,0,[0-9]*,0,' grades || fail "s5: $(grep s5 grades)"
grep -q '^subs/s6.txt,,,,not graded: no variant for this student,' grades || fail "s6"
grep -q '^subs/nobody.txt,,,,not graded: matched to no student,' grades || fail "nobody"
grep -qx '  subs/s2.txt: matches the answer of student s3' console ||
  fail "the copy is not named: $(cat console)"
[ "$(grep -c 'matches the answer' console)" = 1 ] || fail "a submission was wrongly named a copy"
grep -q '^Student s1,s1,10$' <(tr -d '\r' <import.csv) || fail "the import lacks s1's grade"
grep -q '^Student s6,s6,$' <(tr -d '\r' <import.csv) || fail "s6 got a grade without a variant"
grep -q '"input":"v1"' reports/class.json || fail "class.json does not name the variants as its input"
grep -q '"input":"v1/s1.txt"' reports/s1.txt.json || fail "s1's report does not name its own input"
if grep -rl 'matches the answer' reports pages; then
  fail "a report shows who a copied answer belongs to"
fi
for level in diagnosis score; do
  rm -rf reports pages
  "$binary" --gradebook=grades.csv --roster=more.csv --variant-dir=v1 --report-dir=reports \
    --html-dir=pages --reveal=$level -- subs/ >/dev/null || true
  if grep -rl 'matches the answer\|s3\.txt' reports/s2.txt.json pages/s2.txt.html; then
    fail "at --reveal=$level s2's report names the answer it copied"
  fi
done

echo "== A broken variant stops the run"
printf '2\n7 0 0\n1 2\n' >v1/s1.txt
status=0
"$binary" --gradebook=grades.csv --roster=more.csv --variant-dir=v1 -- subs/s1.txt >out ||
  status=$?
[ "$status" = 255 ] || fail "a broken variant gave status $status: $(cat out)"
grep -q 'v1/s1.txt' out || fail "the broken variant is not named: $(cat out)"
echo PASS
