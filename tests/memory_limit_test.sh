#!/usr/bin/env bash
# One answer-only case of 2*10^7 slots (80 MB a table) and 10^6 keys under address-space limits,
# from room for two tables down to less than its three results: each run completes
# with the answer of a run without a limit, or leaves the case not built with status 1; never
# "Out of memory", never status 255. A limit that holds the results and one table must complete
# (the strategies whose threads got no table are filled afterwards on one table); one that
# can't hold the results must leave the case not built. Last, the same case checked.
#   memory_limit_test.sh BINARY [--sanitized]
set -u
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
if [ "${2:-}" = --sanitized ]; then
  echo "skipped: sanitizers reserve more address space than these limits allow"
  exit 0
fi
work=$(mktemp -d)
# A job this script signals before it has started its program is still a copy of this shell,
# and would run the trap too, removing the folder under the runs still going: only the script
# itself removes it.
main_shell=$BASHPID
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$work"; fi' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

{ echo 1; echo "20000000 0 0"
  awk 'BEGIN { srand(3); for (i = 1; i <= 1000000; i++) { printf "%d ", int(rand() * 2147483647)
    if (i == 500000) printf "\n" } printf "\n" }'; } >in.txt
"$binary" 1 in.txt x --answer-file=unlimited.txt </dev/null >/dev/null ||
  fail "without a limit: status $?"

# limit in KiB, then what it must give: done, not_built, or either
for run in 450000:done 350000:done 250000:either 200000:not_built; do
  limit=${run%%:*} want=${run#*:}
  rm -f hash_answer.txt
  # The layouts fill most of the transcript; only its end is kept.
  (ulimit -v "$limit" && exec "$binary" 1 in.txt x </dev/null) | tail -c 4096 >console
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] && cmp -s hash_answer.txt unlimited.txt; then
    got=done
  elif [ "$status" -eq 1 ] && grep -q '; case not built$' console &&
    [ "$(od -An -c hash_answer.txt | tr -d ' ')" = '\n\n\n' ]; then
    got=not_built
  else
    fail "ulimit -v $limit: status $status: $(head -c 300 console)"
    continue
  fi
  [ "$want" = either ] || [ "$want" = "$got" ] || fail "ulimit -v $limit: $got, not $want"
done
# Checking mode holds the submitted lines too: with no room to read them while the case is built,
# they are read in turn afterwards, and every line is graded as without a limit.
(ulimit -v 600000 && exec "$binary" 0 in.txt unlimited.txt --no-answer-file </dev/null) |
  tail -c 4096 >console
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] && grep -q '^Success/All: 3/3:$' console ||
  fail "checking mode under ulimit -v 600000: status $status: $(head -c 300 console)"
echo "memory limit tests: $failures failed"
[ "$failures" -eq 0 ]
