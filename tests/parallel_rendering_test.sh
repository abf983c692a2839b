#!/usr/bin/env bash
# A large case's answer file is written on a second thread while the console prints the same
# layouts: both must hold exactly the same layouts, in both modes, whatever the timing. And its
# submitted lines are read ahead on a thread while it is built, from a regular file only: the
# same lines through a FIFO, read in turn, must give the same transcript, answer and status.
#   parallel_rendering_test.sh BINARY
set -u
binary=$1
work=$(mktemp -d)
# A job this script signals before it has started its program is still a copy of this shell,
# and would run the trap too, removing the folder under the runs still going: only the script
# itself removes it.
main_shell=$BASHPID
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$work"; fi' EXIT
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
# Output files whose lines are Right, Wrong, cut short, holding a bad token, or belonging to a
# refused case (the second input below has a negative key in its second case).
awk 'BEGIN { srand(5); print 2; for (c = 0; c < 2; c++) { print "70001 0 0";
  for (i = 0; i < 60000; i++) printf "%d ", int(rand() * 2147483647); print "";
  print (c == 1 ? "4 -5" : "6") } }' >refused_in.txt
"$binary" 1 in.txt x --answer-file=right.txt </dev/null >/dev/null
awk 'NR == 2 { $5 = $5 + 1 } { print }' right.txt >one_wrong.txt
head -n 2 right.txt >cut_short.txt
awk 'NR == 3 { $100 = "12ab" } NR == 4 { $7 = "zero" } { print }' right.txt >bad_tokens.txt
for input in in.txt refused_in.txt; do
  for output in right.txt one_wrong.txt cut_short.txt bad_tokens.txt; do
    "$binary" 0 "$input" "$output" --answer-file=ahead_answer.txt </dev/null >ahead.txt
    ahead_status=$?
    rm -f fifo && mkfifo fifo
    cat "$output" >fifo &
    writer=$!
    "$binary" 0 "$input" fifo --answer-file=turn_answer.txt </dev/null >turn.txt
    turn_status=$?
    kill "$writer" 2>/dev/null  # a writer still waiting for a reader must not hang the test
    wait "$writer" 2>/dev/null
    sed -i "s/fifo/$output/g; s/turn_answer/ahead_answer/" turn.txt
    if [ "$ahead_status" -ne "$turn_status" ] || ! cmp -s ahead.txt turn.txt ||
      ! cmp -s ahead_answer.txt turn_answer.txt; then
      echo "FAIL: $input with $output: read ahead and read in turn differ" \
        "(status $ahead_status against $turn_status)"
      diff ahead.txt turn.txt | head -5
      failures=$((failures + 1))
    fi
  done
done
echo "parallel rendering tests: $failures failed"
[ "$failures" -eq 0 ]
