#!/usr/bin/env bash
# Times one gradebook run of a class against a checking run per submission, on the same files,
# and prints the peak resident memory of the gradebook run for 100 and for 1,000 submissions.
#   bench/gradebook_bench.sh [BUILD_DIR]     (default: build)
# The input holds 100 cases of table sizes 7 to 101 with random keys; each submission is the
# answer file with its own third of the lines spoiled. Both sides write no answer file, so they
# do the same work; the gradebook run must be at least 20 times faster.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
binary=$(cd "${1:-$root/build}" && pwd)/hash_checker
work=$(mktemp -d)
# A job this script signals before it has started its program is still a copy of this shell,
# and would run the trap too, removing the folder under the runs still going: only the script
# itself removes it.
main_shell=$BASHPID
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$work"; fi' EXIT
cd "$work"

awk 'BEGIN { srand(17); print 100; for (c = 0; c < 100; c++) { m = 7 + int(rand() * 95); print m " 0 0";
  n = int(rand() * m); for (i = 0; i < n; i++) printf "%d ", int(rand() * 100000); printf "\n";
  n = int(rand() * m / 4); for (i = 0; i < n; i++) printf "%d ", int(rand() * 100000); printf "\n" } }' >input.txt
"$binary" 1 input.txt none --answer-file=answer.txt </dev/null >/dev/null
mkdir class class_100
# Submission s spoils the lines whose number is s modulo 3: a third of them, a different third
# (and a different spoiling: two keys swapped or one key changed) from one submission to the next.
awk 'BEGIN { srand(23) } { line[NR] = $0 }
  END { for (s = 0; s < 1000; s++) { file = sprintf("class/s%04d.txt", s)
    for (i = 1; i <= NR; i++) { $0 = line[i]
      if (i % 3 == s % 3) { if (rand() < 0.5 && $1 != $NF) { t = $1; $1 = $NF; $NF = t } else { $1 = $1 + 1 } }
      print > file }
    close(file) } }' answer.txt
cp class/s00[0-9][0-9].txt class_100/
sync

now() { date +%s%N; }
milliseconds() { echo $((($2 - $1) / 1000000)); }

start=$(now)
"$binary" --gradebook=grades.csv --no-answer-file input.txt class </dev/null >console.txt
gradebook_ms=$(milliseconds "$start" "$(now)")
[ "$(wc -l <grades.csv)" = 1001 ] || { echo "the gradebook has not 1,000 rows" >&2; exit 1; }
start=$(now)
for submission in class/*; do
  "$binary" 0 input.txt "$submission" --no-answer-file </dev/null >/dev/null
done
separate_ms=$(milliseconds "$start" "$(now)")

peak_kib() {
  /usr/bin/time -f %M -o peak.txt "$binary" --gradebook=peak.csv --no-answer-file input.txt "$1" \
    </dev/null >/dev/null
  cat peak.txt
}
peak_100=$(peak_kib class_100)
peak_1000=$(peak_kib class)

ratio_tenths=$((separate_ms * 10 / (gradebook_ms > 0 ? gradebook_ms : 1)))
echo "cores: $(nproc); 100 cases, table sizes 7 to 101; 1,000 submissions"
printf '%-44s %8s ms\n' "one gradebook run" "$gradebook_ms"
printf '%-44s %8s ms\n' "1,000 checking runs, one per submission" "$separate_ms"
printf '%-44s %6d.%d x\n' "ratio" $((ratio_tenths / 10)) $((ratio_tenths % 10))
printf '%-44s %8s KiB\n' "peak memory, gradebook of 100 submissions" "$peak_100"
printf '%-44s %8s KiB\n' "peak memory, gradebook of 1,000 submissions" "$peak_1000"
sed -n '/^graded/,/^highest/p' console.txt
if [ "$ratio_tenths" -lt 200 ]; then
  echo "the gradebook run is less than 20 times faster" >&2
  exit 1
fi
