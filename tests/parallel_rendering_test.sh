#!/usr/bin/env bash
# A large case's answer file is written on a second thread while the console prints the same
# layouts: both must hold exactly the same layouts, in both modes, whatever the timing.
#   parallel_rendering_test.sh BINARY
set -u
binary=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
awk 'BEGIN { srand(3); print 2; for (c = 0; c < 2; c++) { print "70001 0 0";
  for (i = 0; i < 60000; i++) printf "%d ", int(rand() * 2147483647); print ""; print "1 2 3" } }' >in.txt
failures=0
for mode in 1 0; do
  "$binary" 1 in.txt x </dev/null >/dev/null && mv hash_answer.txt submitted.txt
  "$binary" "$mode" in.txt submitted.txt </dev/null >console.txt
  status=$?
  # The console prints each ground-truth line with a space after every key; the answer file has
  # none after the last.
  grep -A3 -F '>>>>>>>>>>>>>>>>GROUND TRUTH:' console.txt | grep -v -e '^>' -e '^--$' |
    sed 's/ $//' >from_console.txt
  if [ "$status" -ne 0 ] || ! cmp -s from_console.txt hash_answer.txt ||
    ! cmp -s hash_answer.txt submitted.txt; then
    echo "FAIL: mode $mode: status $status, or the answer file differs from the console"
    failures=$((failures + 1))
  fi
  [ "$mode" = 1 ] || grep -q '^Success/All: 6/6:$' console.txt ||
    { echo "FAIL: checking mode did not grade every line Right"; failures=$((failures + 1)); }
done
echo "parallel rendering tests: $failures failed"
[ "$failures" -eq 0 ]
