#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang in build-fuzz/ and fuzzes each for SECONDS seconds, or
# with 0 or --replay runs every seed and regression file once. Exits non-zero when a target crashed.
#
#   fuzz/fuzz.sh SECONDS | fuzz/fuzz.sh 0 | fuzz/fuzz.sh --replay
#
# The seeds and regressions are only read; new inputs go to a scratch corpus in
# build-fuzz/corpus/<target>/ and crash reproducers to build-fuzz/artifacts/<target>/. A run target
# input is a mode byte (even: checking, odd: answer-only), the input file, "====\n", the output file;
# a roster target input is a byte of what the header is asked (bit 0: a column, 1: --assignment,
# 2: --new-column) and the roster.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
seconds=${1:-}
if [ "$seconds" = --replay ]; then seconds=0; fi
if ! [[ $seconds =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS | $0 0 | $0 --replay" >&2
  exit 2
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DHASH_CHECKER_FUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
cmake --build "$build" -j 2 --target key_line_fuzzer run_fuzzer roster_fuzzer >/dev/null

# A crashing target can't remove its private folder, so keep those folders where the build lives.
export TMPDIR=$build/tmp
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"

max_len() { if [ "$1" = key_line ]; then echo 4096; else echo 16384; fi; }

# The seed and regression files of a target, one a line; dot files only keep a folder.
inputs_of() {
  find "$root/fuzz/corpus/$1" "$root/fuzz/regressions/$1" -type f ! -name '.*' | sort
}

# Runs libFuzzer with its log in $log; true when it found no crash.
run_target() {
  local target=$1 log=$2 work=$build/corpus/$1 artifacts=$build/artifacts/$1/
  mkdir -p "$artifacts"
  if [ "$seconds" -eq 0 ]; then
    local files
    mapfile -t files < <(inputs_of "$target")
    "$build/fuzz/${target}_fuzzer" -artifact_prefix="$artifacts" "${files[@]}" >"$log" 2>&1
    return
  fi
  rm -rf "$work"
  mkdir -p "$work"
  cp "$root/fuzz/corpus/$target"/* "$work"/
  "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 \
    -max_len="$(max_len "$target")" -print_final_stats=1 -artifact_prefix="$artifacts" \
    "$work" "$root/fuzz/corpus/$target" "$root/fuzz/regressions/$target" >"$log" 2>&1
}

report() {
  local target=$1 log=$2 crashed=$3 executions
  if [ "$seconds" -eq 0 ]; then
    executions=$(grep -c '^Executed ' "$log" || true)
  else
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  fi
  printf '%-9s executions: %-10s crash: %s\n' "$target" "${executions:-?}" "$crashed"
  if [ "$crashed" = yes ]; then
    grep -E 'ERROR: |property broken|SUMMARY|Test unit written' "$log" | sed 's/^/    /' || true
    echo "    full log: $log"
  fi
}

# The targets run side by side, one process each, so that a timed run takes SECONDS on the
# machine's cores rather than SECONDS a target; each reports once all have ended, in order.
targets=(key_line run roster)
pids=()
for target in "${targets[@]}"; do
  run_target "$target" "$build/$target.log" &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  if wait "${pids[$i]}"; then
    report "$target" "$build/$target.log" no
  else
    report "$target" "$build/$target.log" yes
    failed=1
  fi
done
exit "$failed"
