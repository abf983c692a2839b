#!/usr/bin/env bash
# One input per student at the size of a large course: making 1,000 variants (their audits
# included) against the 5 s they may take, and grading 1,000 submissions each against its own
# variant against a class run of 1,000 against one input (the same roster matching, the same
# spoiling: a third of each file's lines changed), which it may take at most 3 times as long as.
#   bench/variants_bench.sh [BUILD_DIR]     (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
binary=$(cd "${1:-$root/build}" && pwd)/hash_checker
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
now() { date +%s%N; }
milliseconds() { echo $((($2 - $1) / 1000000)); }
ratio() { local tenths=$(($1 * 100 / ($2 > 0 ? $2 : 1))); printf '%d.%02d' $((tenths / 100)) $((tenths % 100)); }

{ echo "id,name"; for i in $(seq 1 1000); do echo "s$i,Student $i"; done; } >roster.csv
start=$(now)
# CPU time beside the wall clock: on a shared machine the wall clock also counts the others' work.
/usr/bin/time -f '%U %S' -o cpu.txt \
  "$binary" --make-variants=inputs --roster=roster.csv --answer-dir=answers >/dev/null
make_ms=$(milliseconds "$start" "$(now)")
make_cpu=$(awk '{ printf "%.2f", $1 + $2 }' cpu.txt)

# The one input the baseline shares, made as a variant is: a generated input of the default sizes.
"$binary" --generate=input.txt >/dev/null
"$binary" 1 input.txt none --answer-file=answer.txt </dev/null >/dev/null
spoil() {  # spoil ANSWER TARGET SEED: a third of the lines get their first key changed
  awk -v s="$3" '{ if (NR % 3 == s % 3) $1 = $1 + 1; print }' "$1" >"$2"
}
mkdir own shared
for i in $(seq 1 1000); do
  spoil "answers/s$i.txt" "own/s$i.txt" "$i"
  spoil answer.txt "shared/s$i.txt" "$i"
done
sync
start=$(now)
"$binary" --gradebook=shared.csv --no-answer-file --roster=roster.csv input.txt shared >/dev/null
shared_ms=$(milliseconds "$start" "$(now)")
start=$(now)
"$binary" --gradebook=own.csv --roster=roster.csv --variant-dir=inputs own >/dev/null
own_ms=$(milliseconds "$start" "$(now)")
[ "$(grep -c ',graded,' own.csv)" = 1000 ] || { echo "not every submission was graded" >&2; exit 1; }

echo "cores: $(nproc); 1,000 students, default sizes (tables of at most 13 slots)"
printf '%-52s %8s ms  (%s of the 5,000 ms allowed; %s s CPU)\n' \
  "making 1,000 variants, audits included" "$make_ms" "$(ratio "$make_ms" 5000)" "$make_cpu"
printf '%-52s %8s ms\n' "class run of 1,000 against one input" "$shared_ms"
printf '%-52s %8s ms\n' "class run of 1,000 against their own variants" "$own_ms"
printf '%-52s %8s x  (at most 3)\n' "ratio" "$(ratio "$own_ms" "$shared_ms")"
